// Points: the extents of a point are the point itself.
#include "host/dbpoint.h"

ACRX_DEFINE_MEMBERS(AcDbPoint, AcDbEntity)

Acad::ErrorStatus AcDbPoint::getGeomExtents(AcDbExtents& extents) const
{
    extents = AcDbExtents(m_position, m_position);
    return Acad::eOk;
}
