// WideCrt: see the header. Number conversions go through std::from_chars and
// std::to_chars, which are exact and ignore the locale.
#include "util/WideCrt.h"

#include "util/DecimalScanner.h"
#include "util/TextCase.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace crt {

namespace {
using textcase::isDigit;
}

bool iswspace(char16_t c) { return textcase::isBlank(c); }

int wtoi(std::u16string_view text)
{
    size_t i = 0;
    while (i < text.size() && iswspace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    // Accumulate past the 32-bit range only as far as needed to clamp.
    std::int64_t value = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - u'0');
        if (value > std::int64_t(std::numeric_limits<int>::max()) + 1)
            value = std::int64_t(std::numeric_limits<int>::max()) + 1;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (value < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return int(value);
}

double wcstod(std::u16string_view text, size_t* end)
{
    size_t i = 0;
    while (i < text.size() && iswspace(text[i]))
        ++i;
    DecimalScan scan = scanDecimal(text.substr(i));
    if (end)
        *end = scan.length ? i + scan.length : 0;
    return scan.value;
}

std::u16string formatG(double value)
{
    if (std::isnan(value))
        return std::signbit(value) ? u"-NAN" : u"NAN";
    if (std::isinf(value))
        return value < 0 ? u"-INF" : u"INF";
    constexpr int precision = 6;
    char buffer[400];
    // The exponent of the E-style form decides between the two forms.
    auto sci = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, precision - 1);
    std::string text(buffer, sci.ptr);
    size_t e = text.find('e');
    int exponent = std::stoi(text.substr(e + 1));
    std::string mantissa;
    std::string suffix;
    if (exponent < -4 || exponent >= precision) {
        mantissa = text.substr(0, e);
        char expText[16];
        std::snprintf(expText, sizeof expText, "E%c%02d", exponent < 0 ? '-' : '+',
                      exponent < 0 ? -exponent : exponent);
        suffix = expText;
    } else {
        auto fixed =
            std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision - 1 - exponent);
        mantissa.assign(buffer, fixed.ptr);
    }
    if (mantissa.find('.') != std::string::npos) {
        while (mantissa.back() == '0')
            mantissa.pop_back();
        if (mantissa.back() == '.')
            mantissa.pop_back();
    }
    return widen(mantissa + suffix);
}

std::u16string formatD(int value) { return widen(std::to_string(value)); }

char16_t towlower(char16_t c)
{
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return char16_t(c + 32);
    if (c == 0x178)
        return 0xFF;
    return c;
}

char16_t towupper(char16_t c)
{
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return char16_t(c - 32);
    if (c == 0xFF)
        return 0x178;
    return c;
}

std::u16string toUpper(std::u16string_view text)
{
    std::u16string result(text);
    for (char16_t& c : result)
        c = towupper(c);
    return result;
}

std::u16string toLower(std::u16string_view text)
{
    std::u16string result(text);
    for (char16_t& c : result)
        c = towlower(c);
    return result;
}

int wcsicmp(std::u16string_view a, std::u16string_view b)
{
    auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        char16_t x = fold(a[i]), y = fold(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::u16string widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string narrow(std::u16string_view text)
{
    std::string result;
    for (char16_t c : text)
        if (c >= 0x20 && c < 0x7F) {
            result += char(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "<%X>", unsigned(c));
            result += escape;
        }
    return result;
}

}
