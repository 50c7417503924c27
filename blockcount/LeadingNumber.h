// The decimal number at the start of a text, as field codes write numbers:
// white space, an optional sign, digits with an optional decimal point, and
// an optional exponent. Nothing else is a number ("inf", "nan" and
// hexadecimal are not); a text without one reads as 0.
#pragma once

#include <string_view>

double leadingNumber(std::u16string_view text);
