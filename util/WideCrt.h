// WideCrt: the few C runtime conversions the module relies on, written out so
// that results do not depend on the C library or the locale in use. Texts are
// UTF-16. The one interface is the crt namespace below.
#pragma once

#include <string>
#include <string_view>

namespace crt {

// Leading white space, an optional sign and decimal digits, as _wtoi reads
// them; the value is clamped at the ends of the 32-bit range.
int wtoi(std::u16string_view text);

// Leading white space, an optional sign, digits with at most one '.', and an
// optional exponent; "-" and "." read as 0, as wcstod does. When end is
// given it receives the number of characters read (0 when nothing was read).
double wcstod(std::u16string_view text, size_t* end = nullptr);

// printf "%G": six significant digits, trailing zeros removed, exponent
// form "1E+06" for large or small magnitudes; "INF", "-INF", "NAN", "-NAN".
std::u16string formatG(double value);
// printf "%d".
std::u16string formatD(int value);

// Case-insensitive comparison: ASCII letters are folded to lower case, then
// the texts are compared code unit by code unit. <0, 0 or >0.
int wcsicmp(std::u16string_view a, std::u16string_view b);

// Case mapping of ASCII and Latin-1 letters (including y-diaeresis to
// U+0178); other characters are left alone. Enough for names and cell texts.
char16_t towupper(char16_t c);
char16_t towlower(char16_t c);
std::u16string toUpper(std::u16string_view text);
std::u16string toLower(std::u16string_view text);

// Space, tab, line feed, vertical tab, form feed or carriage return.
bool iswspace(char16_t c);

// ASCII to UTF-16, and back with other characters written as <hex>, for
// messages and traces.
std::u16string widen(std::string_view ascii);
std::string narrow(std::u16string_view text);

}
