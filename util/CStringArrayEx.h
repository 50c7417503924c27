// CStringArrayEx: a growable list of texts with one lookup, find, which gives
// the index of an element equal to a text (exactly, or ignoring ASCII case),
// or -1. Used for the name lists of field codes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class CStringArrayEx : public std::vector<std::u16string> {
public:
    using std::vector<std::u16string>::vector;

    // Compares the first and the last unvisited element in turn, moving
    // inward, so either end of a long list is found early. Callers should
    // only test the sign of the result.
    int find(std::u16string_view text, bool ignoreCase = false) const;
};
