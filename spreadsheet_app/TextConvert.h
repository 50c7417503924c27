// UTF-8 (the workbook's XML and format codes) to UTF-16 (the API) and back.
#pragma once

#include <string>
#include <string_view>

namespace tessly::spreadsheet {

std::u16string toUtf16(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);

// Names of sheets and defined names compare with Unicode simple case folding.
bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b);

}  // namespace tessly::spreadsheet
