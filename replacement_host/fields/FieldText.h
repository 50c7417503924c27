// Texts that hold field codes: where the codes stand, and the fields made
// for them, owned by the text.
#pragma once

#include "host/dbmain.h"
#include "replacement_host/fields/FieldCode.h"

namespace fieldtext {
// The codes of a text that become fields: the top-level ones, object
// references excepted.
std::vector<fieldcode::Span> fieldSpans(std::u16string_view text);
// The text with every code shown by its field's displayed value.
std::u16string displayed(std::u16string_view text, const std::vector<AcDbObjectId>& fieldIds);
}
