// The evaluator frame; see the header. Nothing thrown inside a computation
// reaches the host: it becomes status 64.
#include "app/EvaluatorFrame.h"

#include <utility>

namespace frame {

Acad::ErrorStatus compile(AcDbField* field, const ACHAR* dataKey, AcFdFieldResult* result)
{
    if (!field)
        return Acad::eInvalidInput;
    try {
        AcString code =
            field->getFieldCode(AcDbField::kEvaluatedChildren | AcDbField::kStripOptions, nullptr, AcDb::kForRead);
        if (code.empty()) {
            if (result)
                result->setEvaluationStatus(kInvalidCode, 0, nullptr);
            return Acad::eInvalidInput;
        }
        // The code is handed over, not copied again.
        AcValue data;
        data.set(std::move(code));
        field->setData(dataKey, &data);
        return Acad::eOk;
    } catch (...) {
        if (result)
            result->setEvaluationStatus(kOtherError, 0, nullptr);
        return Acad::eInvalidInput;
    }
}

Acad::ErrorStatus evaluate(AcDbField* field, AcDbDatabase* database, AcFdFieldResult* result,
                           const Computation& computation)
{
    if (!field)
        return Acad::eInvalidInput;
    if (!database)
        database = field->database();
    AcFdFieldValue value;
    int status;
    try {
        status = computation(field, database, value);
    } catch (...) {
        status = kOtherError;
    }
    Acad::ErrorStatus returned = Acad::eInvalidInput;
    if (status == kSuccess && result)
        returned = result->setFieldValue(&value);
    if (result)
        result->setEvaluationStatus(status, 0, nullptr);
    return returned;
}

int readData(const AcDbField* field, const ACHAR* dataKey, AcString& text)
{
    AcValue data;
    if (field->getData(dataKey, &data) != Acad::eOk)
        return kOtherError;
    if (data.dataType() != AcValue::kString)
        return kInvalidCode;
    data.get(text);
    return kSuccess;
}

}
