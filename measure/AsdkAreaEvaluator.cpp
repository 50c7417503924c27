// AsdkAreaEvaluator: see the header.
#include "measure/AsdkAreaEvaluator.h"

#include "app/EvaluatorFrame.h"

namespace {

int compute(AcDbField* field, AcFdFieldValue&)
{
    AcString text;
    int status = frame::readData(field, AsdkAreaEvaluator::kDataKey, text);
    if (status != frame::kSuccess)
        return status;
    // Not computed by this build yet.
    return frame::kOtherError;
}

}

Acad::ErrorStatus AsdkAreaEvaluator::compile(AcDbField* field, AcDbDatabase*, AcFdFieldResult* result)
{
    return frame::compile(field, kDataKey, result);
}

Acad::ErrorStatus AsdkAreaEvaluator::evaluate(AcDbField* field, int, AcDbDatabase* database, AcFdFieldResult* result)
{
    return frame::evaluate(field, database, result,
                           [](AcDbField* f, AcDbDatabase*, AcFdFieldValue& value) { return compute(f, value); });
}
