// Single-line and paragraph texts, and the fields of their contents.
#include "host/acutads.h"
#include "host/dbfield.h"
#include "host/dbtext.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/fields/FieldText.h"
#include "replacement_host/text/TextCase.h"

ACRX_DEFINE_MEMBERS(AcDbText, AcDbEntity)
ACRX_DEFINE_MEMBERS(AcDbMText, AcDbText)

ACHAR* AcDbText::textString() const
{
    std::u16string shown = fieldtext::displayed(m_contents, m_fields);
    auto* copy = new ACHAR[shown.size() + 1];
    std::copy(shown.begin(), shown.end(), copy);
    copy[shown.size()] = 0;
    return copy;
}

Acad::ErrorStatus AcDbText::setTextString(const ACHAR* text)
{
    if (!text)
        return Acad::eInvalidInput;
    m_contents = text;
    if (database() && m_makesOwnFields) {
        for (AcDbObjectId id : m_fields)
            if (AcDbObject* old = HostAccess::objectAt(*database(), id))
                old->erase();
        m_fields.clear();
        makeFields();
    }
    return Acad::eOk;
}

void AcDbText::subAddedToDatabase()
{
    if (m_makesOwnFields && m_fields.empty())
        makeFields();
}

void AcDbText::makeFields()
{
    for (const fieldcode::Span& s : fieldtext::fieldSpans(m_contents)) {
        auto* field = new AcDbField(m_contents.substr(s.begin, s.end - s.begin).c_str());
        AcDbObjectId id;
        if (database()->addObject(field, objectId(), id) == Acad::eOk)
            m_fields.push_back(id);
        else
            delete field;
    }
}

bool AcDbText::hostGetProperty(std::u16string_view name, AcValue& value) const
{
    if (hosttext::equalsIgnoreCase(name, u"TextString")) {
        ACHAR* shown = textString();
        value.set(shown);
        acutDelBuffer(shown);
        return true;
    }
    return AcDbEntity::hostGetProperty(name, value);
}
