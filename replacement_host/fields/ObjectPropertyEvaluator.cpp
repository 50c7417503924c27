// The host's own object-property field, "AcObjProp":
// %<\AcObjProp Object(%<\_ObjId N>%).Property>% shows a property of the
// object whose id is N. It is answered by the host's own loader, which the
// field engine asks after every loader a plug-in registered.
#include "host/AcFdEval.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/fields/HostEvaluators.h"
#include "replacement_host/text/TextCase.h"

#include <charconv>
#include <string>

namespace {

// "Object(%<\_ObjId N>%).Property" into N and Property.
bool parse(std::u16string_view p, Adesk::IntDbId& id, std::u16string& property)
{
    constexpr std::u16string_view head = u"Object(%<\\_ObjId ";
    if (!hosttext::startsWithIgnoreCase(p, head))
        return false;
    p.remove_prefix(head.size());
    std::string digits;
    while (!p.empty() && p[0] >= u'0' && p[0] <= u'9' && digits.size() < 20) {
        digits += static_cast<char>(p[0]);
        p.remove_prefix(1);
    }
    if (digits.empty() || !p.starts_with(u">%).") ||
        std::from_chars(digits.data(), digits.data() + digits.size(), id).ec != std::errc())
        return false;
    p.remove_prefix(4);
    while (!p.empty() && p.back() == u' ')
        p.remove_suffix(1);
    property.assign(p);
    return !property.empty();
}

class ObjectPropertyEvaluator : public AcFdFieldEvaluator {
public:
    const ACHAR* evaluatorId() const override { return u"AcObjProp"; }
    Acad::ErrorStatus evaluate(AcDbField* field, int, AcDbDatabase*, AcFdFieldResult* result) override
    {
        Adesk::IntDbId id = 0;
        std::u16string property;
        if (!parse(field->getFieldCode(AcDbField::kEvaluatedChildren | AcDbField::kStripOptions), id, property)) {
            result->setEvaluationStatus(AcDbField::kInvalidCode);
            return Acad::eInvalidInput;
        }
        AcDbObject* obj = nullptr;
        if (acdbOpenAcDbObject(obj, AcDbObjectId::fromOldId(id), AcDb::kForRead) != Acad::eOk) {
            result->setEvaluationStatus(AcDbField::kOtherError);
            return Acad::eInvalidInput;
        }
        AcValue value;
        bool found = HostAccess::hostGetProperty(*obj, property, value);
        obj->close();
        if (!found) {
            result->setEvaluationStatus(AcDbField::kInvalidCode);
            return Acad::eInvalidInput;
        }
        result->setFieldValue(&value);
        result->setEvaluationStatus(AcDbField::kSuccess);
        return Acad::eOk;
    }
};

class HostLoader : public AcFdFieldEvaluatorLoader {
public:
    AcFdFieldEvaluator* getEvaluator(const ACHAR* id) override
    {
        return id && hosttext::equalsIgnoreCase(id, u"AcObjProp") ? &m_objProp : nullptr;
    }
    AcFdFieldEvaluator* findEvaluator(AcDbField*, const ACHAR*& id) override { return getEvaluator(id); }

private:
    ObjectPropertyEvaluator m_objProp;
};

}

AcFdFieldEvaluatorLoader* hostEvaluatorLoader()
{
    static HostLoader loader;
    return &loader;
}
