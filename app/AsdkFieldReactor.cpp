// The field reactor; see the header. The order is fixed: the session is
// closed before a left-over instance is looked for, and the flag changes
// last at the start and first at the end.
#include "app/AsdkFieldReactor.h"

#include "app/EvaluationPass.h"
#include "external/ExcelSession.h"

Acad::ErrorStatus AsdkFieldReactor::beginEvaluateFields(int, AcDbDatabase*)
{
    ExcelSession::close();
    ExcelSession::terminateMarkedInstance();
    evaluationpass::flag() = 1;
    return Acad::eOk;
}

Acad::ErrorStatus AsdkFieldReactor::endEvaluateFields(int, AcDbDatabase*)
{
    evaluationpass::flag() = 0;
    ExcelSession::close();
    return Acad::eOk;
}
