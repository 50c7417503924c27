// Lightweight polylines: segment queries, enclosed area and extents.
#include "host/dbpl.h"

#include "replacement_host/entities/ArcGeometry.h"

#include <cmath>

ACRX_DEFINE_MEMBERS(AcDbPolyline, AcDbCurve)

namespace {
// Bulges this small describe arcs indistinguishable from their chord, and
// their radius would overflow.
constexpr double kStraightBulge = 1e-10;
}

Acad::ErrorStatus AcDbPolyline::addVertexAt(unsigned int index, const AcGePoint2d& pt, double bulge)
{
    if (index > numVerts() || !std::isfinite(pt.x) || !std::isfinite(pt.y) || !std::isfinite(bulge))
        return Acad::eInvalidInput;
    m_vertices.insert(m_vertices.begin() + index, Vertex{pt, bulge});
    return Acad::eOk;
}

Acad::ErrorStatus AcDbPolyline::setBulgeAt(unsigned int index, double bulge)
{
    if (index >= numVerts() || !std::isfinite(bulge))
        return Acad::eInvalidInput;
    m_vertices[index].bulge = bulge;
    return Acad::eOk;
}

Acad::ErrorStatus AcDbPolyline::getPointAt(unsigned int index, AcGePoint2d& pt) const
{
    if (index >= numVerts())
        return Acad::eInvalidInput;
    pt = m_vertices[index].point;
    return Acad::eOk;
}

Acad::ErrorStatus AcDbPolyline::getBulgeAt(unsigned int index, double& bulge) const
{
    if (index >= numVerts())
        return Acad::eInvalidInput;
    bulge = m_vertices[index].bulge;
    return Acad::eOk;
}

AcDbPolyline::SegType AcDbPolyline::segType(unsigned int index) const
{
    if (index >= numVerts())
        return kEmpty;
    if (numVerts() == 1)
        return kPoint;
    if (!m_closed && index + 1 == numVerts())
        return kEmpty;
    const Vertex& v = m_vertices[index];
    if (v.point.distanceTo(m_vertices[nextIndex(index)].point) <= AcGeContext::gTol.equalPoint())
        return kCoincident;
    return std::fabs(v.bulge) < kStraightBulge ? kLine : kArc;
}

Acad::ErrorStatus AcDbPolyline::getLineSegAt(unsigned int index, AcGeLineSeg2d& seg) const
{
    if (segType(index) != kLine)
        return Acad::eWrongObjectType;
    seg.set(m_vertices[index].point, m_vertices[nextIndex(index)].point);
    return Acad::eOk;
}

Acad::ErrorStatus AcDbPolyline::getArcSegAt(unsigned int index, AcGeCircArc2d& arc) const
{
    if (segType(index) != kArc)
        return Acad::eWrongObjectType;
    const Vertex& v = m_vertices[index];
    arc = arcgeometry::arcFromBulge(v.point, m_vertices[nextIndex(index)].point, v.bulge);
    return Acad::eOk;
}

Acad::ErrorStatus AcDbPolyline::getArea(double& area) const
{
    // Signed: the polygon of the vertices by the shoelace formula, plus the
    // circular segment of each arc, outward for a counter-clockwise bulge.
    // Coordinates are taken from the first vertex: far from the origin (survey
    // coordinates) the products of absolute ones lose the digits of the area.
    double twice = 0.0, arcs = 0.0;
    unsigned int n = numVerts();
    if (n == 0) {
        area = 0.0;
        return Acad::eOk;
    }
    const AcGePoint2d origin = m_vertices[0].point;
    auto local = [&](unsigned int i) {
        return AcGePoint2d(m_vertices[i].point.x - origin.x, m_vertices[i].point.y - origin.y);
    };
    for (unsigned int i = 0; i < n; ++i) {
        const AcGePoint2d p = local(i), q = local(nextIndex(i));
        twice += p.x * q.y - q.x * p.y;
        // An open polyline's closing segment is straight whatever its last bulge.
        if (segType(i) == kArc) {
            AcGeCircArc2d arc = arcgeometry::arcFromBulge(p, q, m_vertices[i].bulge);
            double s = arc.endAng() - arc.startAng();
            double segment = arc.radius() * arc.radius() / 2 * (s - std::sin(s));
            arcs += arc.isClockWise() ? -segment : segment;
        }
    }
    area = std::fabs(twice / 2 + arcs);
    return Acad::eOk;
}

Acad::ErrorStatus AcDbPolyline::getGeomExtents(AcDbExtents& extents) const
{
    extents = AcDbExtents();
    if (m_vertices.empty())
        return Acad::eInvalidExtents;
    for (unsigned int i = 0; i < numVerts(); ++i) {
        const AcGePoint2d& p = m_vertices[i].point;
        extents.addPoint({p.x, p.y, m_elevation});
        AcGeCircArc2d arc;
        if (getArcSegAt(i, arc) != Acad::eOk)
            continue;
        double sweep = arc.endAng() - arc.startAng();
        // A clockwise arc is the counter-clockwise one from its end point.
        double start = arc.isClockWise() ? arcgeometry::normalized(-arc.endAng()) : arc.startAng();
        arcgeometry::addArcExtents(extents, arc.center(), arc.radius(), start, sweep, m_elevation);
    }
    return Acad::eOk;
}

Acad::ErrorStatus AcDbPolyline::getLength(double& length) const
{
    length = 0.0;
    for (unsigned int i = 0; i < numVerts(); ++i) {
        if (segType(i) == kLine) {
            AcGeLineSeg2d seg;
            getLineSegAt(i, seg);
            length += seg.length();
        } else if (segType(i) == kArc) {
            AcGeCircArc2d arc;
            getArcSegAt(i, arc);
            length += arc.radius() * (arc.endAng() - arc.startAng());
        }
    }
    return Acad::eOk;
}
