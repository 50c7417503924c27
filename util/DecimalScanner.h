// The one reader of decimal numbers as field codes and expressions write
// them: an optional sign, digits with an optional decimal point, and an
// optional exponent that counts only when digits follow its "e". Nothing else
// is a number ("inf", "nan" and hexadecimal are not). Blanks before the
// number are the caller's to skip.
#pragma once

#include <cstddef>
#include <string_view>

struct DecimalScan {
    double value = 0.0;  // ±HUGE_VAL past the range of a double, ±0 below it
    size_t length = 0;   // characters read; 0 when no digit was found
};

DecimalScan scanDecimal(std::u16string_view text);
