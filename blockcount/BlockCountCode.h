// The "AcBlockCount" field code taken apart: block names first, then options
// each introduced by a backslash, e.g.
//   "Door;Window" \layer "A-DOOR;0" \tag "TYPE" \op ">=" \value "3" \nested
// Parsing never fails: what cannot be read is left empty or absent.
#pragma once

#include "host/AcString.h"
#include "host/geometry.h"
#include "util/CStringArrayEx.h"

#include <optional>

// Sets value to the option's value; leaves it unchanged when the option is
// not in the text. Option names ignore ASCII case.
void getOptionValue(std::u16string_view text, std::u16string_view optionName, AcString& value);
// Appends the pieces of the option's value, split at ";", to the list.
void getOptionList(std::u16string_view text, std::u16string_view optionName, CStringArrayEx& list);

struct BlockCountRequest {
    bool empty = true;  // nothing but blanks and quotes: the count is 0
    CStringArrayEx blockNames;
    CStringArrayEx layerNames;  // empty: no layer filter
    AcString tag;               // empty: no attribute or property filter
    AcString op;                // empty: equality
    AcString value;
    // Present together or not at all.
    std::optional<AcDbExtents> window;
    std::optional<AcString> space;
    bool nested = false;
};

BlockCountRequest parseBlockCountCode(std::u16string_view code);

// Reads a window corner "(x,y,z)": surrounding parentheses and blanks are
// dropped, each coordinate is its leading number. False when fewer than three.
bool parseWindowPoint(std::u16string_view text, AcGePoint3d& point);
