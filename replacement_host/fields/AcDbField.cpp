// Fields: the code and its nested fields, data, value, status, extended data,
// and the evaluation of one field with its nested fields first.
#include "host/AcFdEval.h"
#include "host/dbfield.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/fields/FieldCode.h"
#include "replacement_host/fields/ValueDisplay.h"
#include "replacement_host/text/Utf.h"
#include "host/dbapserv.h"

#include <exception>
#include <mutex>
#include <unordered_map>

ACRX_DEFINE_MEMBERS(AcDbField, AcDbObject)

namespace {
// Nesting depth of the field being built, so nested codes stop at a bound.
thread_local int t_buildDepth = 0;

// The one copy of an evaluator id that fields of that id point to. Never
// torn down: fields may outlive every static destructor.
const AcString* sharedIdLocked(std::u16string_view id)
{
    static std::mutex lock;
    static auto* ids = new std::unordered_map<std::u16string_view, const AcString*>;
    std::lock_guard<std::mutex> hold(lock);
    auto it = ids->find(id);
    if (it == ids->end()) {
        const auto* text = new AcString(id);
        it = ids->emplace(*text, text).first;
    }
    return it->second;
}

const AcString* sharedId(std::u16string_view id)
{
    // The few ids a drawing uses, remembered by this thread without a lock.
    constexpr size_t kRecent = 8;
    thread_local const AcString* recent[kRecent] = {};
    thread_local size_t next = 0;
    for (const AcString* known : recent)
        if (known && *known == id)
            return known;
    const AcString* found = sharedIdLocked(id);
    recent[next] = found;
    next = (next + 1) % kRecent;
    return found;
}

const AcString& idText(const AcString* id)
{
    static const AcString none;
    return id ? *id : none;
}

// The result through which an evaluator reports on one field.
class FieldResult : public AcFdFieldResult {
public:
    explicit FieldResult(AcDbField* field) : m_field(field) {}
    Acad::ErrorStatus setFieldValue(const AcValue* value) override
    {
        if (!value)
            return Acad::eInvalidInput;
        HostAccess::hostSetResult(*m_field, value, -1);
        return Acad::eOk;
    }
    Acad::ErrorStatus setEvaluationStatus(int status, int, const ACHAR*) override
    {
        HostAccess::hostSetResult(*m_field, nullptr, status);
        return Acad::eOk;
    }

private:
    AcDbField* m_field;
};
}

AcDbField::AcDbField() { m_depth = t_buildDepth; }

AcDbField::AcDbField(const ACHAR* code, bool textField)
{
    m_depth = t_buildDepth;
    setFieldCode(code, textField ? kTextField : 0);
}

AcDbField::~AcDbField()
{
    if (!database())
        for (AcDbField* child : children())
            delete child;
}

void AcDbField::clearChildren()
{
    for (AcDbField* child : children()) {
        if (child->database())
            child->erase();
        else
            delete child;
    }
    m_nested.reset();
}

Acad::ErrorStatus AcDbField::setFieldCode(const ACHAR* code, int, std::vector<AcDbField*>*)
{
    if (!code)
        return Acad::eInvalidInput;
    // A copy: the code may be a text of this field (its parameters, its format).
    const AcString copy(code);
    hostSetCode(copy);
    return Acad::eOk;
}

void AcDbField::hostSetCode(std::u16string_view code, bool found)
{
    // A zero ends the code, as it ends the text setFieldCode takes.
    if (!found)
        code = code.substr(0, code.find(u'\0'));
    clearChildren();
    m_fileDisplay.reset();
    m_format.reset();
    m_pass = PassRecord();
    fieldcode::Parsed parsed;
    if (found || (fieldcode::isWholeCode(code) && !fieldcode::isObjectReference(code)))
        parsed = fieldcode::parse(code, m_depth);
    if (parsed.ok) {
        m_isTextField = false;
        m_evaluatorId = sharedId(parsed.id);
        m_parameters.assign(parsed.parameters);
        if (!parsed.format.empty())
            m_format = std::make_unique<AcString>(parsed.format);
    } else {
        // Text around codes, or no code at all: the host shows the text with
        // its nested fields in place.
        m_isTextField = true;
        static const AcString* const text = sharedId(u"_text");
        m_evaluatorId = text;
        m_parameters.assign(code);
        parsed.children = fieldcode::childCodes(m_parameters, m_depth + 1);
    }
    t_buildDepth = m_depth + 1;
    if (!parsed.children.empty()) {
        nested().children.reserve(parsed.children.size());
        nested().spans.reserve(parsed.children.size());
    }
    for (const fieldcode::Span& s : parsed.children) {
        auto* child = new AcDbField;
        child->hostSetCode(std::u16string_view(m_parameters).substr(s.begin, s.end - s.begin), true);
        nested().children.push_back(child);
        nested().spans.emplace_back(s.begin, s.end - s.begin);
    }
    t_buildDepth = m_depth;
    if (database())
        subAddedToDatabase();
}

void AcDbField::subAddedToDatabase()
{
    for (AcDbField* child : children()) {
        if (child->database())
            continue;
        AcDbObjectId id;
        if (database()->addObject(child, objectId(), id) != Acad::eOk) {
            HostAccess::hostWishHandle(*child, AcDbHandle());  // its wished handle is taken
            database()->addObject(child, objectId(), id);
        }
    }
}

AcString AcDbField::getFieldCode(int flags, std::vector<AcDbField*>*, AcDb::OpenMode) const
{
    AcString params;
    if ((flags & kEvaluatedChildren) && !children().empty()) {
        // One pass, text and child values in turn: replacing child by child
        // would move the tail once per child.
        std::vector<AcString> values;
        values.reserve(m_nested->children.size());
        size_t size = m_parameters.size();
        for (size_t i = 0; i < m_nested->children.size(); ++i) {
            values.push_back(m_nested->children[i]->getValue());
            size = size - m_nested->spans[i].second + values.back().size();
        }
        params.reserve(size);
        size_t at = 0;
        for (size_t i = 0; i < m_nested->children.size(); ++i) {
            params.append(m_parameters, at, m_nested->spans[i].first - at);
            params += values[i];
            at = m_nested->spans[i].first + m_nested->spans[i].second;
        }
        params.append(m_parameters, at);
    } else {
        params = m_parameters;
    }
    if (m_isTextField)
        return params;
    if (!(flags & kStripOptions) && m_format)
        params += u" \\f \"" + *m_format + u"\"";
    if (flags & kTextField)
        return u"%<\\" + idText(m_evaluatorId) + (params.empty() ? u"" : u" ") + params + u">%";
    return params;
}

const ACHAR* AcDbField::evaluatorId() const { return m_evaluatorId ? m_evaluatorId->c_str() : nullptr; }

Acad::ErrorStatus AcDbField::setData(const ACHAR* key, const AcValue* value)
{
    if (!key || !*key || !value)
        return Acad::eInvalidInput;
    if (!m_data)
        m_data = std::make_unique<std::map<AcString, AcValue>>();
    (*m_data)[key] = *value;
    return Acad::eOk;
}

Acad::ErrorStatus AcDbField::getData(const ACHAR* key, AcValue* value) const
{
    if (!key || !value)
        return Acad::eInvalidInput;
    if (!m_data)
        return Acad::eKeyNotFound;
    auto it = m_data->find(key);
    if (it == m_data->end())
        return Acad::eKeyNotFound;
    *value = it->second;
    return Acad::eOk;
}

Acad::ErrorStatus AcDbField::getValue(AcValue& value) const
{
    value = m_value;
    return Acad::eOk;
}

AcString AcDbField::getValue() const
{
    if (m_fileDisplay)
        return *m_fileDisplay;
    if (m_status != kSuccess)
        return valuedisplay::kFailed;
    return valuedisplay::format(m_value, format());
}

std::u16string_view AcDbField::hostDisplayView(AcString& storage) const
{
    if (m_fileDisplay)
        return *m_fileDisplay;
    if (m_status != kSuccess)
        return valuedisplay::kFailed;
    return valuedisplay::view(m_value, format(), storage);
}

std::string AcDbField::hostDisplayUtf8() const
{
    AcString storage;
    return utf::toUtf8(hostDisplayView(storage));
}

int AcDbField::evaluationStatus(int* errorCode, AcString* errorMessage) const
{
    if (errorCode)
        *errorCode = 0;
    if (errorMessage)
        errorMessage->clear();
    return m_status;
}

void AcDbField::hostSetResult(const AcValue* value, int status)
{
    m_fileDisplay.reset();
    if (value)
        m_value = *value;
    if (status >= 0)
        m_status = status;
}

void AcDbField::hostRestoreState(const AcValue& value, int status)
{
    m_value = value;
    m_status = status;
}

Acad::ErrorStatus AcDbField::evaluate(int context, AcDbDatabase* database, int* numFound, int* numEvaluated)
{
    if (!database)
        database = this->database() ? this->database() : acdbHostApplicationServices()->workingDatabase();
    int found = 0, evaluated = 0;
    for (AcDbField* child : children()) {
        int f = 0, e = 0;
        child->evaluate(context, database, &f, &e);
        found += f;
        evaluated += e;
    }
    ++found;
    evaluateSelf(context, database);
    evaluated += m_pass.evaluateRan || m_isTextField;
    if (numFound)
        *numFound = found;
    if (numEvaluated)
        *numEvaluated = evaluated;
    return Acad::eOk;
}

void AcDbField::evaluateSelf(int context, AcDbDatabase* database)
{
    m_pass.compileRan = m_pass.evaluateRan = false;
    if (m_isTextField) {
        m_pass.evaluatorFound = true;
        AcValue text(getFieldCode(kEvaluatedChildren).c_str());
        hostSetResult(&text, kSuccess);
        return;
    }
    const ACHAR* id = idText(m_evaluatorId).c_str();
    AcFdFieldEngine* engine = acdbGetFieldEngine();
    AcFdFieldEvaluator* evaluator = engine ? engine->findEvaluator(this, id) : nullptr;
    m_pass.evaluatorFound = evaluator != nullptr;
    if (!evaluator) {
        m_status = kEvaluatorNotFound;
        return;
    }
    FieldResult result(this);
    // An evaluator that throws must not take the host down with it.
    try {
        if (!m_pass.compiled) {
            m_pass.compileRan = true;
            m_pass.compileReturned = evaluator->compile(this, database, &result);
            if (m_pass.compileReturned != Acad::eOk)
                return;
            m_pass.compiled = true;
        }
        m_pass.evaluateRan = true;
        m_pass.evaluateReturned = evaluator->evaluate(this, context, database, &result);
    } catch (...) {
        m_status = kOtherError;
    }
}
