// The value an expression field shows: the result text of an expression
// turned into an integer, a real or a text. Interface: convertResult.
#pragma once

#include "host/AcValue.h"

#include <string>

namespace exprresult {
// A number-test text becomes the integer of its leading digits when the
// real value lies within 0.00001 of it, else the real; any other text stays text.
void convertResult(const std::u16string& text, AcValue& value);
}
