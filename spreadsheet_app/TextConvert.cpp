#include "spreadsheet_app/TextConvert.h"

#include "replacement_host/text/Utf.h"

namespace tessly::spreadsheet {

// The same rules as the host's own conversions: a spreadsheet text and a
// drawing text with the same bytes are the same text.
std::u16string toUtf16(std::string_view s) { return utf::toUtf16(s); }

std::string toUtf8(std::u16string_view s) { return utf::toUtf8(s); }

char16_t foldCase(char16_t c) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<char16_t>(c + 32);
    return c;
}

bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (foldCase(a[i]) != foldCase(b[i])) return false;
    return true;
}

}  // namespace tessly::spreadsheet
