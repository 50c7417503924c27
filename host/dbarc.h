// AcDbArc: part of a circle, running counter-clockwise from the start angle
// to the end angle (radians from the x axis, kept in [0, 2π)).
#pragma once

#include "host/dbmain.h"
#include "host/geometry.h"

class AcDbArc : public AcDbCurve {
    ACRX_DECLARE_MEMBERS(AcDbArc)
public:
    AcDbArc() = default;

    AcGePoint3d center() const { return m_center; }
    Acad::ErrorStatus setCenter(const AcGePoint3d& p)
    {
        m_center = p;
        return Acad::eOk;
    }
    double radius() const { return m_radius; }
    // A radius must be a finite number above 0.
    Acad::ErrorStatus setRadius(double radius);
    double startAngle() const { return m_startAngle; }
    double endAngle() const { return m_endAngle; }
    // Angles are brought into [0, 2π); a non-finite angle is refused.
    Acad::ErrorStatus setStartAngle(double radians);
    Acad::ErrorStatus setEndAngle(double radians);
    // The angle swept counter-clockwise from start to end, in [0, 2π).
    double sweep() const;

    // The area between the arc and its chord: r²/2·(sweep − sin sweep).
    Acad::ErrorStatus getArea(double& area) const override;
    // The exact box of the arc.
    Acad::ErrorStatus getGeomExtents(AcDbExtents& extents) const override;

    Acad::ErrorStatus getLength(double& length) const override;

private:
    AcGePoint3d m_center;
    double m_radius = 1.0;
    double m_startAngle = 0.0;
    double m_endAngle = 0.0;
};
