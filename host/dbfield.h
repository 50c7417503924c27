// AcDbField: a live piece of text in a drawing. It holds a field code
// ("%<\Id parameters>%"), data stored by its evaluator, a value and the
// status of the last evaluation. Fields are owned by the text, attribute or
// cell that shows them; a field nested in another field's code is owned by it.
#pragma once

#include "host/AcValue.h"
#include "host/dbmain.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class AcDbField : public AcDbObject {
    ACRX_DECLARE_MEMBERS(AcDbField)
public:
    // Flags of getFieldCode and setFieldCode.
    enum FieldCodeFlag : int {
        kTextField = 0x01,          // the whole code, "%<\Id ...>%", not only the parameters
        kPreserveFields = 0x02,     // (accepted, no effect here)
        kStripOptions = 0x04,       // leave out the standard format option \f "..."
        kEvaluatedChildren = 0x40,  // nested fields as their displayed value
    };
    // Evaluation statuses, numbered as the host numbers them.
    enum EvalStatus : int {
        kNotYetEvaluated = 1,    // never evaluated
        kSuccess = 2,            // evaluated, the value is current
        kEvaluatorNotFound = 4,  // no loaded evaluator answers the id
        kSyntaxError = 8,        // the code could not be read
        kInvalidCode = 16,       // the evaluator refused the code
        kInvalidContext = 32,    // (not used here)
        kOtherError = 64,        // any other failure
    };
    // Evaluation contexts of AcDbField::evaluate.
    enum EvalContext : int {
        kOpen = 1,
        kSave = 2,
        kPlot = 4,
        kEtransmit = 8,
        kRegen = 16,
        kDemand = 32,
        kPreview = 64,
    };

    AcDbField();
    explicit AcDbField(const ACHAR* code, bool textField = false);
    ~AcDbField() override;

    // Sets the code and rebuilds the nested fields; the field must be compiled again.
    Acad::ErrorStatus setFieldCode(const ACHAR* code, int flags = 0, std::vector<AcDbField*>* childFields = nullptr);
    AcString getFieldCode(int flags, std::vector<AcDbField*>* childFields = nullptr,
                          AcDb::OpenMode mode = AcDb::kForRead) const;
    // The evaluator id written in the code; null when the code names none.
    const ACHAR* evaluatorId() const;
    // The standard format text (inside \f "..."), empty when none.
    const AcString& format() const
    {
        static const AcString none;
        return m_format ? *m_format : none;
    }

    Acad::ErrorStatus setData(const ACHAR* key, const AcValue* value);
    Acad::ErrorStatus getData(const ACHAR* key, AcValue* value) const;

    Acad::ErrorStatus getValue(AcValue& value) const;
    // The value as displayed: formatted by type, "####" unless the status is 2.
    AcString getValue() const;
    int evaluationStatus(int* errorCode = nullptr, AcString* errorMessage = nullptr) const;

    // Compiles when needed and evaluates the nested fields, then this one.
    Acad::ErrorStatus evaluate(int context, AcDbDatabase* database, int* numFound = nullptr,
                               int* numEvaluated = nullptr);

    const std::vector<AcDbField*>& children() const
    {
        static const std::vector<AcDbField*> none;
        return m_nested ? m_nested->children : none;
    }
    const AcString& parameters() const { return m_parameters; }
    bool isTextField() const { return m_isTextField; }
    void subAddedToDatabase() override;

private:
    // Host bookkeeping, reached through the replacement host's HostAccess only.
    friend struct HostAccess;
    // What the last pass did; the flags after the numbers, so it packs small.
    struct PassRecord {
        int compileReturned = 0;
        int evaluateReturned = 0;
        bool compiled = false;
        bool compileRan = false;
        bool evaluateRan = false;
        bool evaluatorFound = false;
    };
    const std::map<AcString, AcValue>& allData() const
    {
        static const std::map<AcString, AcValue> none;
        return m_data ? *m_data : none;
    }
    // The value as displayed, as a view of the value's own text where the
    // display is that text, else of storage: a long text is not copied to be shown.
    std::u16string_view hostDisplayView(AcString& storage) const;
    std::string hostDisplayUtf8() const;
    void hostSetResult(const AcValue* value, int status);
    void hostRestoreState(const AcValue& value, int status);
    // The text a drawing file showed for the field. It stands for the value
    // until an evaluator sets one, so a field whose evaluator is missing
    // keeps showing what it showed.
    void hostSetFileDisplay(const AcString& text) { m_fileDisplay = std::make_unique<AcString>(text); }
    bool hostHasFileDisplay() const { return m_fileDisplay != nullptr; }
    // A field read from a drawing whose evaluator is not loaded here keeps
    // the value stored with it; the drawing reader says so.
    void hostSetKeepsStoredValue(bool keeps) { m_keepsStoredValue = keeps; }
    bool hostKeepsStoredValue() const { return m_keepsStoredValue; }

    // setFieldCode's work, on a code that need not end in a zero. A caller
    // that found the code as a field in a host text says so with found: it
    // is then one whole code, no object reference and holds no zero, so
    // none of that is looked for again.
    void hostSetCode(std::u16string_view code, bool found = false);
    void clearChildren();
    // The nested fields, in order of appearance, owned when not in a
    // database, and where each one's code stands in m_parameters.
    struct Nested {
        std::vector<AcDbField*> children;
        std::vector<std::pair<size_t, size_t>> spans;
    };
    Nested& nested()
    {
        if (!m_nested)
            m_nested = std::make_unique<Nested>();
        return *m_nested;
    }
    void evaluateSelf(int context, AcDbDatabase* database);

    // Shared by every field of the id: a drawing holds many fields of few ids.
    const AcString* m_evaluatorId = nullptr;
    AcString m_parameters;  // with nested codes in place
    // What most fields lack is held apart, so a drawing of many fields stays small.
    std::unique_ptr<AcString> m_format;  // none when the code has no format
    bool m_isTextField = false;
    bool m_keepsStoredValue = false;
    int m_depth = 0;
    std::unique_ptr<Nested> m_nested;
    std::unique_ptr<std::map<AcString, AcValue>> m_data;
    AcValue m_value;
    int m_status = kNotYetEvaluated;
    PassRecord m_pass;
    std::unique_ptr<AcString> m_fileDisplay;  // only fields read from some files have one
};

// Whether a text holds at least one field code.
bool acdbHasFields(const ACHAR* text);
// Finds the first field code at or after start: first and last are the
// positions of its "%" characters, both included.
bool acdbFindField(const ACHAR* text, int start, int& first, int& last);
