// Unicode simple case folding (one code point to one), the comparison the
// spreadsheet application uses for worksheet and defined names: "übersicht"
// matches "Übersicht", "ΣΟΦΙΑ" matches "σοφια". Locale independent.
#pragma once

#include <string_view>

namespace casefold {

char32_t fold(char32_t c);
// Compares code point by code point after folding; surrogate pairs are read
// as one code point. Below, equal to or above 0 as a is before, equal to or
// after b.
int compareIgnoringCase(std::u16string_view a, std::u16string_view b);
inline bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b) { return compareIgnoringCase(a, b) == 0; }

}
