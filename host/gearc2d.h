// AcGeCircArc2d: a circular arc in the plane, as the geometry library gives a
// polyline's arc segments. The end angle always exceeds the start angle by
// the sweep; a clockwise arc measures both angles clockwise from the x axis,
// so radius × (endAng − startAng) is the arc's length either way.
#pragma once

#include "host/geometry.h"

class AcGeCircArc2d {
public:
    AcGeCircArc2d() = default;
    AcGeCircArc2d(const AcGePoint2d& center, double radius, double startAng, double endAng, bool clockwise)
        : m_center(center), m_radius(radius), m_startAng(startAng), m_endAng(endAng), m_clockwise(clockwise)
    {
    }

    const AcGePoint2d& center() const { return m_center; }
    double radius() const { return m_radius; }
    double startAng() const { return m_startAng; }
    double endAng() const { return m_endAng; }
    bool isClockWise() const { return m_clockwise; }
    // The point at an angle measured in the arc's own direction.
    AcGePoint2d pointAt(double angle) const
    {
        double s = m_clockwise ? -std::sin(angle) : std::sin(angle);
        return {m_center.x + m_radius * std::cos(angle), m_center.y + m_radius * s};
    }
    AcGePoint2d startPoint() const { return pointAt(m_startAng); }
    AcGePoint2d endPoint() const { return pointAt(m_endAng); }
    double length() const { return m_radius * (m_endAng - m_startAng); }

private:
    AcGePoint2d m_center;
    double m_radius = 0.0;
    double m_startAng = 0.0;
    double m_endAng = 0.0;
    bool m_clockwise = false;
};
