// Unicode simple case folding (one code point to one), the comparison the
// spreadsheet application uses for worksheet and defined names: "übersicht"
// matches "Übersicht", "ΣΟΦΙΑ" matches "σοφια". Locale independent.
#pragma once

#include <string_view>

namespace casefold {

char32_t fold(char32_t c);
// Compares code point by code point after folding; surrogate pairs are read
// as one code point.
bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b);

}
