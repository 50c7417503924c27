// Circles.
#include "host/dbcircle.h"

#include "replacement_host/entities/ArcGeometry.h"

#include <cmath>

ACRX_DEFINE_MEMBERS(AcDbCircle, AcDbCurve)

Acad::ErrorStatus AcDbCircle::setRadius(double radius)
{
    if (!std::isfinite(radius) || radius <= 0)
        return Acad::eInvalidInput;
    m_radius = radius;
    return Acad::eOk;
}

Acad::ErrorStatus AcDbCircle::getArea(double& area) const
{
    area = std::numbers::pi * m_radius * m_radius;
    return Acad::eOk;
}

Acad::ErrorStatus AcDbCircle::getGeomExtents(AcDbExtents& extents) const
{
    extents = AcDbExtents({m_center.x - m_radius, m_center.y - m_radius, m_center.z},
                          {m_center.x + m_radius, m_center.y + m_radius, m_center.z});
    return Acad::eOk;
}

Acad::ErrorStatus AcDbCircle::getLength(double& length) const
{
    length = 2.0 * M_PI * radius();
    return Acad::eOk;
}
