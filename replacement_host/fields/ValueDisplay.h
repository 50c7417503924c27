// How the host shows a field's value: by type, with the precision of the
// field's format ("%pr3") and an optional prefix and suffix ("%ps[,m]").
#pragma once

#include "host/AcValue.h"

namespace valuedisplay {
// Reals show with 4 decimals unless the format gives a precision.
constexpr int kDefaultPrecision = 4;
// Shown in place of a value that failed to evaluate.
constexpr const char16_t* kFailed = u"####";

AcString format(const AcValue& value, const AcString& format);
}
