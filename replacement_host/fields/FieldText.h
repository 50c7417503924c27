// Texts that hold field codes: where the codes stand, and the fields made
// for them, owned by the text.
#pragma once

#include "host/dbmain.h"
#include "replacement_host/fields/FieldCode.h"

namespace fieldtext {
// The codes of a text that become fields: the top-level ones, object
// references excepted.
std::vector<fieldcode::Span> fieldSpans(std::u16string_view text);
// The first of them that starts at or after from; false when there is none.
bool nextField(std::u16string_view text, size_t from, fieldcode::Span& span);
// The text with every code shown by its field's displayed value.
std::u16string displayed(std::u16string_view text, const std::vector<AcDbObjectId>& fieldIds);
}
