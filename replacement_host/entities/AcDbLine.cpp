// Lines.
#include "host/dbline.h"

ACRX_DEFINE_MEMBERS(AcDbLine, AcDbCurve)

Acad::ErrorStatus AcDbLine::getGeomExtents(AcDbExtents& extents) const
{
    extents = AcDbExtents();
    extents.addPoint(m_start);
    extents.addPoint(m_end);
    return Acad::eOk;
}

Acad::ErrorStatus AcDbLine::getLength(double& length) const
{
    length = startPoint().distanceTo(endPoint());
    return Acad::eOk;
}
