// Texts that hold field codes; see the header.
#include "replacement_host/fields/FieldText.h"

#include "host/dbfield.h"
#include "host/dbtext.h"
#include "replacement_host/fields/ValueDisplay.h"

namespace fieldtext {

bool nextField(std::u16string_view text, size_t from, fieldcode::Span& span)
{
    while (fieldcode::nextCode(text, from, span)) {
        if (!fieldcode::isObjectReference(text.substr(span.begin, span.end - span.begin)))
            return true;
        from = span.end;
    }
    return false;
}

std::vector<fieldcode::Span> fieldSpans(std::u16string_view text)
{
    std::vector<fieldcode::Span> out = fieldcode::findCodes(text);
    std::erase_if(out, [&](const fieldcode::Span& s) {
        return fieldcode::isObjectReference(text.substr(s.begin, s.end - s.begin));
    });
    return out;
}

std::u16string displayed(std::u16string_view text, const std::vector<AcDbObjectId>& fieldIds)
{
    std::vector<fieldcode::Span> spans = fieldSpans(text);
    std::u16string out;
    size_t at = 0;
    for (size_t i = 0; i < spans.size(); ++i) {
        out.append(text.substr(at, spans[i].begin - at));
        AcDbObjectPointer<AcDbField> field(i < fieldIds.size() ? fieldIds[i] : AcDbObjectId(), AcDb::kForRead);
        out += field ? field->getValue() : AcString(valuedisplay::kFailed);
        at = spans[i].end;
    }
    out.append(text.substr(at));
    return out;
}

}

bool acdbHasFields(const ACHAR* text) { return text && !fieldtext::fieldSpans(text).empty(); }

bool acdbFindField(const ACHAR* text, int start, int& first, int& last)
{
    first = last = -1;
    if (!text || start < 0)
        return false;
    std::u16string_view all(text);
    if (static_cast<size_t>(start) >= all.size())
        return false;
    for (const fieldcode::Span& s : fieldtext::fieldSpans(all.substr(static_cast<size_t>(start)))) {
        first = start + static_cast<int>(s.begin);
        last = start + static_cast<int>(s.end) - 1;
        return true;
    }
    return false;
}
