// AsdkAreaEvaluator: see the header.
#include "measure/AsdkAreaEvaluator.h"

#include "app/EvaluatorFrame.h"
#include "host/dbarc.h"
#include "host/dbcircle.h"
#include "host/dbpl.h"
#include "measure/HandleList.h"

namespace {

// The host's own area, whatever status it gives: a failing query adds what
// it left in the output, which starts at 0.
template <class T> double areaOf(AcDbObjectId id)
{
    AcDbObjectPointer<T> curve(id, AcDb::kForRead);
    if (!curve)
        return 0.0;
    double area = 0.0;
    curve->getArea(area);
    return area;
}

int compute(AcDbField* field, AcFdFieldValue& value)
{
    return handlelist::sum(
        field, AsdkAreaEvaluator::kDataKey,
        [](double sum, AcDbObjectId id) {
            sum += AsdkAreaEvaluator::circleArea(id);
            sum += AsdkAreaEvaluator::arcArea(id);
            return sum + AsdkAreaEvaluator::polylineArea(id);
        },
        value);
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

double AsdkAreaEvaluator::circleArea(AcDbObjectId id) { return areaOf<AcDbCircle>(id); }
double AsdkAreaEvaluator::arcArea(AcDbObjectId id) { return areaOf<AcDbArc>(id); }
double AsdkAreaEvaluator::polylineArea(AcDbObjectId id) { return areaOf<AcDbPolyline>(id); }
