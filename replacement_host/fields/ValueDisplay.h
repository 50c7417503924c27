// How the host shows a field's value: by type, with the precision of the
// field's format ("%pr3") and an optional prefix and suffix ("%ps[,m]").
#pragma once

#include "host/AcValue.h"

#include <string_view>

namespace valuedisplay {
// Reals show with 4 decimals unless the format gives a precision.
constexpr int kDefaultPrecision = 4;
// Shown in place of a value that failed to evaluate.
constexpr const char16_t* kFailed = u"####";

AcString format(const AcValue& value, const AcString& format);
// The same as a view: of the value's own text when the format adds nothing
// to a text, else of storage.
std::u16string_view view(const AcValue& value, const AcString& format, AcString& storage);
}
