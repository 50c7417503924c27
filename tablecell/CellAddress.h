// The absolute cell address of a table cell field ("$B$3", "$AA$10"): the
// one-based row and column it names. Interface: parseCellAddress.
#pragma once

#include <string_view>

// True when the text holds an address from its first "$" on; text after the
// row number is ignored.
bool parseCellAddress(std::u16string_view text, int& row, int& column);
