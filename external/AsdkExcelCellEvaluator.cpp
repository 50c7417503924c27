// AsdkExcelCellEvaluator: see the header.
#include "external/AsdkExcelCellEvaluator.h"

#include "app/EvaluatorFrame.h"

namespace {

int compute(AcDbField* field, AcFdFieldValue&)
{
    AcString text;
    int status = frame::readData(field, AsdkExcelCellEvaluator::kDataKey, text);
    if (status != frame::kSuccess)
        return status;
    // Not computed by this build yet.
    return frame::kOtherError;
}

}

Acad::ErrorStatus AsdkExcelCellEvaluator::compile(AcDbField* field, AcDbDatabase*, AcFdFieldResult* result)
{
    return frame::compile(field, kDataKey, result);
}

Acad::ErrorStatus AsdkExcelCellEvaluator::evaluate(AcDbField* field, int, AcDbDatabase* database, AcFdFieldResult* result)
{
    return frame::evaluate(field, database, result,
                           [](AcDbField* f, AcDbDatabase*, AcFdFieldValue& value) { return compute(f, value); });
}
