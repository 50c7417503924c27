// AsdkExprEvaluator: see the header. Each evaluation builds its own
// CExpression; errors of the expression are the field's value, not a
// failure of the field.
#include "expr/AsdkExprEvaluator.h"

#include "app/EvaluatorFrame.h"
#include "expr/CExpression.h"
#include "expr/ExprResult.h"
#include "host/TesslySibling.h"

namespace {

int compute(AcDbField* field, AcFdFieldValue& value)
{
    AcString text;
    int status = frame::readData(field, AsdkExprEvaluator::kDataKey, text);
    if (status != frame::kSuccess)
        return status;
    std::u16string result;
    AsdkExprEvaluator::run(field, text, result);
    exprresult::convertResult(result, value);
    return frame::kSuccess;
}

}

bool AsdkExprEvaluator::run(AcDbField* field, const AcString& text, std::u16string& result)
{
    CExpression expression(text);
    // Bare cell references address the table holding the field; a field
    // that no object holds uses the sibling library's selection.
    if (field->ownerId().isValid()) {
        expression.FindOwnerTable(field);
    } else if (Adesk::Int64 selected = getCurrentSelectedObjectId()) {
        AcDbObjectId id = AcDbObjectId::fromOldId(selected);
        if (id.isValid())
            expression.SetTableId(id);
    }
    return expression.Evaluate(result) != 0;
}

Acad::ErrorStatus AsdkExprEvaluator::compile(AcDbField* field, AcDbDatabase*, AcFdFieldResult* result)
{
    return frame::compile(field, kDataKey, result);
}

Acad::ErrorStatus AsdkExprEvaluator::evaluate(AcDbField* field, int, AcDbDatabase* database, AcFdFieldResult* result)
{
    return frame::evaluate(field, database, result,
                           [](AcDbField* f, AcDbDatabase*, AcFdFieldValue& v) { return compute(f, v); });
}
