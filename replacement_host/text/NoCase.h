// Comparisons of names that ignore ASCII letter case, as the host compares
// evaluator ids and property names.
#pragma once

#include <string_view>

namespace nocase {

inline char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

inline bool startsWith(std::u16string_view text, std::u16string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (lower(text[i]) != lower(prefix[i]))
            return false;
    return true;
}

inline bool equals(std::u16string_view a, std::u16string_view b) { return a.size() == b.size() && startsWith(a, b); }

}
