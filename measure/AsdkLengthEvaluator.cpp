// AsdkLengthEvaluator: see the header.
#include "measure/AsdkLengthEvaluator.h"

#include "app/EvaluatorFrame.h"
#include "host/acutads.h"
#include "host/dbarc.h"
#include "host/dbcircle.h"
#include "host/dbline.h"
#include "host/dbpl.h"
#include "measure/HandleList.h"

#include <cmath>

namespace {

constexpr double kFullTurn = 2.0 * 3.14159265358979323846;

int compute(AcDbField* field, AcFdFieldValue& value)
{
    return handlelist::sum(
        field, AsdkLengthEvaluator::kDataKey,
        [](double sum, AcDbObjectId id) {
            sum += AsdkLengthEvaluator::lineLength(id);
            sum += AsdkLengthEvaluator::circleLength(id);
            sum += AsdkLengthEvaluator::arcLength(id);
            return sum + AsdkLengthEvaluator::polylineLength(id);
        },
        value);
}

}

Acad::ErrorStatus AsdkLengthEvaluator::compile(AcDbField* field, AcDbDatabase*, AcFdFieldResult* result)
{
    return frame::compile(field, kDataKey, result);
}

Acad::ErrorStatus AsdkLengthEvaluator::evaluate(AcDbField* field, int, AcDbDatabase* database, AcFdFieldResult* result)
{
    return frame::evaluate(field, database, result,
                           [](AcDbField* f, AcDbDatabase*, AcFdFieldValue& value) { return compute(f, value); });
}

double AsdkLengthEvaluator::lineLength(AcDbObjectId id)
{
    AcDbObjectPointer<AcDbLine> line(id, AcDb::kForRead);
    if (!line)
        return 0.0;
    return acutDistance(line->startPoint(), line->endPoint());
}

double AsdkLengthEvaluator::circleLength(AcDbObjectId id)
{
    AcDbObjectPointer<AcDbCircle> circle(id, AcDb::kForRead);
    if (!circle)
        return 0.0;
    return circle->radius() * kTwoPi;
}

double AsdkLengthEvaluator::arcLength(AcDbObjectId id)
{
    AcDbObjectPointer<AcDbArc> arc(id, AcDb::kForRead);
    if (!arc)
        return 0.0;
    // The arc runs counter-clockwise from start to end, so its sweep is the
    // difference brought into one turn; an arc across the zero direction
    // (350° to 10°) sweeps 20°, not 340°.
    double sweep = std::fmod(arc->endAngle() - arc->startAngle(), kFullTurn);
    if (sweep < 0)
        sweep += kFullTurn;
    if (sweep >= kFullTurn)
        sweep = 0.0;
    return arc->radius() * sweep;
}

double AsdkLengthEvaluator::polylineLength(AcDbObjectId id)
{
    AcDbObjectPointer<AcDbPolyline> pline(id, AcDb::kForRead);
    if (!pline)
        return 0.0;
    double length = 0.0;
    // Every vertex index, so a closed polyline's closing segment counts;
    // the end of an open one is neither a line nor an arc.
    for (unsigned int i = 0; i < pline->numVerts(); ++i) {
        switch (pline->segType(i)) {
        case AcDbPolyline::kLine: {
            AcGeLineSeg2d seg;
            pline->getLineSegAt(i, seg);
            length += seg.length();
            break;
        }
        case AcDbPolyline::kArc: {
            AcGeCircArc2d arc;
            pline->getArcSegAt(i, arc);
            length += arc.radius() * (arc.endAng() - arc.startAng());
            break;
        }
        default: break;
        }
    }
    return length;
}
