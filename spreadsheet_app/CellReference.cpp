// A1 cell addresses and ranges, as a worksheet's Range takes them;
// interface: parseRangeAddress in CellReference.h.
#include "spreadsheet_app/CellReference.h"

#include <algorithm>
#include <cctype>

namespace tessly::spreadsheet {
namespace {

bool parseCell(std::string_view s, int& row, int& col)
{
    size_t i = 0;
    if (i < s.size() && s[i] == '$')
        ++i;
    long c = 0;
    size_t letters = 0;
    while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i])) && letters < 4) {
        c = c * 26 + (std::toupper(static_cast<unsigned char>(s[i])) - 'A' + 1);
        ++i;
        ++letters;
    }
    if (letters == 0 || c > kMaxColumn)
        return false;
    if (i < s.size() && s[i] == '$')
        ++i;
    if (i >= s.size() || s[i] == '0')
        return false;
    long r = 0;
    size_t digits = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])) && digits < 8) {
        r = r * 10 + (s[i] - '0');
        ++i;
        ++digits;
    }
    if (digits == 0 || i != s.size() || r > kMaxRow)
        return false;
    row = static_cast<int>(r);
    col = static_cast<int>(c);
    return true;
}

}  // namespace

std::optional<CellRect> parseRangeAddress(std::string_view text)
{
    size_t colon = text.find(':');
    CellRect rect{};
    if (colon == std::string_view::npos) {
        if (!parseCell(text, rect.row1, rect.col1))
            return std::nullopt;
        rect.row2 = rect.row1;
        rect.col2 = rect.col1;
        return rect;
    }
    if (!parseCell(text.substr(0, colon), rect.row1, rect.col1) ||
        !parseCell(text.substr(colon + 1), rect.row2, rect.col2))
        return std::nullopt;
    if (rect.row1 > rect.row2)
        std::swap(rect.row1, rect.row2);
    if (rect.col1 > rect.col2)
        std::swap(rect.col1, rect.col2);
    return rect;
}

}  // namespace tessly::spreadsheet
