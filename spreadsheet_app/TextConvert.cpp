// The application's text conversions: the host's own UTF-8 rules and
// Unicode case folding, so both sides agree on every byte and sheet name.
#include "spreadsheet_app/TextConvert.h"

#include "replacement_host/text/CaseFold.h"
#include "replacement_host/text/Utf.h"

namespace tessly::spreadsheet {

// The same rules as the host's own conversions: a spreadsheet text and a
// drawing text with the same bytes are the same text.
std::u16string toUtf16(std::string_view s) { return utf::toUtf16(s); }

std::string toUtf8(std::u16string_view s) { return utf::toUtf8(s); }

bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b) { return casefold::equalsIgnoreCase(a, b); }

}  // namespace tessly::spreadsheet
