// Arcs.
#include "host/dbarc.h"

#include "replacement_host/entities/ArcGeometry.h"

#include <cmath>

ACRX_DEFINE_MEMBERS(AcDbArc, AcDbCurve)

Acad::ErrorStatus AcDbArc::setRadius(double radius)
{
    if (!std::isfinite(radius) || radius <= 0)
        return Acad::eInvalidInput;
    m_radius = radius;
    return Acad::eOk;
}

Acad::ErrorStatus AcDbArc::setStartAngle(double radians)
{
    if (!std::isfinite(radians))
        return Acad::eInvalidInput;
    m_startAngle = arcgeometry::normalized(radians);
    return Acad::eOk;
}

Acad::ErrorStatus AcDbArc::setEndAngle(double radians)
{
    if (!std::isfinite(radians))
        return Acad::eInvalidInput;
    m_endAngle = arcgeometry::normalized(radians);
    return Acad::eOk;
}

double AcDbArc::sweep() const
{
    double s = m_endAngle - m_startAngle;
    return s < 0 ? s + arcgeometry::kTwoPi : s;
}

Acad::ErrorStatus AcDbArc::getArea(double& area) const
{
    double s = sweep();
    area = m_radius * m_radius / 2 * (s - std::sin(s));
    return Acad::eOk;
}

Acad::ErrorStatus AcDbArc::getGeomExtents(AcDbExtents& extents) const
{
    extents = AcDbExtents();
    arcgeometry::addArcExtents(extents, {m_center.x, m_center.y}, m_radius, m_startAngle, sweep(), m_center.z);
    return Acad::eOk;
}

Acad::ErrorStatus AcDbArc::getLength(double& length) const
{
    length = radius() * sweep();
    return Acad::eOk;
}
