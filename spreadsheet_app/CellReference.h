// Cell addresses in A1 notation.
#pragma once

#include <optional>
#include <string_view>

namespace tessly::spreadsheet {

constexpr int kMaxRow = 1048576;
constexpr int kMaxColumn = 16384;  // XFD

struct CellRect {
    int row1, col1, row2, col2;  // from 1, normalised so row1 <= row2, col1 <= col2
};

// "B7", "$B$7", "b7", "A1:C3", "$A$1:$C$3"; anything else gives nothing.
std::optional<CellRect> parseRangeAddress(std::string_view text);

}  // namespace tessly::spreadsheet
