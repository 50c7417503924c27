// AcDbCircle: a full circle in a plane parallel to XY, given by centre and
// radius.
#pragma once

#include "host/dbmain.h"
#include "host/geometry.h"

class AcDbCircle : public AcDbCurve {
    ACRX_DECLARE_MEMBERS(AcDbCircle)
public:
    AcDbCircle() = default;

    AcGePoint3d center() const { return m_center; }
    Acad::ErrorStatus setCenter(const AcGePoint3d& p)
    {
        m_center = p;
        return Acad::eOk;
    }
    double radius() const { return m_radius; }
    // A radius must be a finite number above 0.
    Acad::ErrorStatus setRadius(double radius);

    // π·r².
    Acad::ErrorStatus getArea(double& area) const override;
    // The exact box of the circle.
    Acad::ErrorStatus getGeomExtents(AcDbExtents& extents) const override;

    Acad::ErrorStatus getLength(double& length) const override;

private:
    AcGePoint3d m_center;
    double m_radius = 1.0;
};
