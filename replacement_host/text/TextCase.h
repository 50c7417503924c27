// Letter case for the host's own names (property names, evaluator ids): only
// ASCII letters fold, so a comparison never depends on the locale.
#pragma once

#include <string_view>

namespace hosttext {

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
    return a.size() == b.size() && startsWithIgnoreCase(a, b);
}

}
