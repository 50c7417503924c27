// The handle-list field code Object(<h1;h2;...>) that the length and area
// fields share: the keyword test, the trimming, the split at ";" and the
// resolution of each handle through the host, summed by a caller's measure.
#pragma once

#include "host/AcFdEval.h"

#include <functional>
#include <string>
#include <vector>

namespace handlelist {

// The items of the code, or false when it does not start with "Object(" in
// any letter case. Trimming is by character sets, so object(<1A leaves
// "object(<1A" as the first item.
bool items(const std::u16string& code, std::vector<std::u16string>& out);

// Resolves an item as the host resolves handles: a name, then an id.
bool resolve(const std::u16string& item, AcDbObjectId& id);

// Adds one object's measures to the running sum and gives the new sum.
using Accumulate = std::function<double(double sum, AcDbObjectId id)>;

// The whole computation of a measure field: reads the data under dataKey,
// walks the items in order, skips those the host cannot resolve, and sets
// the sum as a real. Gives the evaluation status.
int sum(const AcDbField* field, const ACHAR* dataKey, const Accumulate& accumulate, AcFdFieldValue& value);

}
