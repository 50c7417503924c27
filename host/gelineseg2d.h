// AcGeLineSeg2d: a bounded straight segment in the plane, as the geometry
// library gives a polyline's straight segments.
#pragma once

#include "host/geometry.h"

class AcGeLineSeg2d {
public:
    AcGeLineSeg2d() = default;
    AcGeLineSeg2d(const AcGePoint2d& start, const AcGePoint2d& end) : m_start(start), m_end(end) {}

    void set(const AcGePoint2d& start, const AcGePoint2d& end)
    {
        m_start = start;
        m_end = end;
    }
    const AcGePoint2d& startPoint() const { return m_start; }
    const AcGePoint2d& endPoint() const { return m_end; }
    double length() const { return m_start.distanceTo(m_end); }

private:
    AcGePoint2d m_start, m_end;
};
