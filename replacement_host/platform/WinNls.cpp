// The text comparison of host/winnls.h for this platform, over the host's
// case folding.
#include "host/winnls.h"

#include "replacement_host/text/CaseFold.h"

#include <string_view>

int CompareStringOrdinal(const ACHAR* a, int aLength, const ACHAR* b, int bLength, int ignoreCase)
{
    if (!a || !b)
        return 0;
    std::u16string_view x = aLength < 0 ? std::u16string_view(a) : std::u16string_view(a, static_cast<size_t>(aLength));
    std::u16string_view y = bLength < 0 ? std::u16string_view(b) : std::u16string_view(b, static_cast<size_t>(bLength));
    int order = ignoreCase ? casefold::compareIgnoringCase(x, y) : x.compare(y);
    return order < 0 ? CSTR_LESS_THAN : order > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL;
}
