// Field checks: what will make a field show something the user probably did
// not mean, by the evaluators' own rules and without evaluating the field.
// One interface: checkField.
#pragma once

#include "host/dbfield.h"

#include <string>
#include <vector>

namespace fieldcheck {

// One sentence per finding, in the order of the code; empty when the field
// is sound or no evaluator of this module answers its id.
std::vector<std::u16string> checkField(AcDbField* field);

}
