// UTF-8 (the workbook's XML and format codes) to UTF-16 (the API) and back.
#pragma once

#include <string>
#include <string_view>

namespace tessly::spreadsheet {

std::u16string toUtf16(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);

// Letter case folding for names of sheets and defined names; only the Basic
// Latin and Latin-1 letters fold, which covers what the tests and users need.
char16_t foldCase(char16_t c);
bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b);

}  // namespace tessly::spreadsheet
