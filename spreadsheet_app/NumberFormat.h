// Renders cell values the way the spreadsheet application displays them,
// given the cell's number format code. Pure functions: no workbook state.
#pragma once

#include <string>
#include <string_view>

namespace tessly::spreadsheet {

// Format code of a built-in format id, in its US-English form; ids with no
// built-in code (23-36, 50+) give "General". Id 14 is "m/d/yyyy", as the
// US-English application shows it.
std::string builtinFormatCode(int id);

// Number as shown in a column of default width: General gives at most eleven
// characters (sign excluded) and switches to scientific notation beyond that.
// Column widths are not known otherwise, so formatted numbers are never
// replaced by "####"; dates outside the calendar are.
std::u16string formatNumber(double value, std::string_view formatCode, bool date1904);

// Text cell: the fourth section (or a lone section holding '@') applies,
// otherwise the text shows unchanged.
std::u16string formatText(std::u16string_view text, std::string_view formatCode);

}  // namespace tessly::spreadsheet
