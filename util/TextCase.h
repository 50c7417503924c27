// Letter case and character classes for ids, option names, keywords and
// numbers: only ASCII letters fold and only ASCII characters are classed, so
// the result never depends on the locale.
#pragma once

#include <string_view>

namespace textcase {

constexpr bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
constexpr bool isUpperLetter(char16_t c) { return c >= u'A' && c <= u'Z'; }
constexpr bool isLetter(char16_t c) { return isUpperLetter(c) || (c >= u'a' && c <= u'z'); }
// Blank as the C library's isspace in the "C" locale: space, \t \n \v \f \r.
constexpr bool isBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

constexpr char16_t asciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

constexpr bool startsWithIgnoreCase(std::u16string_view text, std::u16string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (asciiLower(text[i]) != asciiLower(prefix[i]))
            return false;
    return true;
}

constexpr bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b)
{
    // Texts compared are mostly spelled alike: comparing them as they are settles those.
    return a.size() == b.size() && (a == b || startsWithIgnoreCase(a, b));
}

// The same test on a zero-ended text, which is not measured first: the
// compare stops where the two part.
constexpr bool equalsIgnoreCase(const char16_t* a, std::u16string_view b)
{
    for (size_t i = 0; i < b.size(); ++i)
        if (!a[i] || (a[i] != b[i] && asciiLower(a[i]) != asciiLower(b[i])))
            return false;
    return a[b.size()] == 0;
}

}
