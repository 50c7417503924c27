// CStringArrayEx: see the header.
#include "util/CStringArrayEx.h"

#include "util/TextCase.h"

int CStringArrayEx::find(std::u16string_view text, bool ignoreCase) const
{
    auto same = [&](const std::u16string& s) { return ignoreCase ? textcase::equalsIgnoreCase(s, text) : s == text; };
    if (empty())
        return -1;
    size_t lo = 0, hi = size() - 1;
    while (lo <= hi) {
        if (same((*this)[lo]))
            return static_cast<int>(lo);
        if (hi != lo && same((*this)[hi]))
            return static_cast<int>(hi);
        ++lo;
        if (hi == 0)
            break;
        --hi;
    }
    return -1;
}
