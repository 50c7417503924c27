// AcDbLine: a straight line between two points of space.
#pragma once

#include "host/dbmain.h"
#include "host/geometry.h"

class AcDbLine : public AcDbCurve {
    ACRX_DECLARE_MEMBERS(AcDbLine)
public:
    AcDbLine() = default;
    AcDbLine(const AcGePoint3d& start, const AcGePoint3d& end) : m_start(start), m_end(end) {}

    AcGePoint3d startPoint() const { return m_start; }
    AcGePoint3d endPoint() const { return m_end; }
    Acad::ErrorStatus setStartPoint(const AcGePoint3d& p)
    {
        m_start = p;
        return Acad::eOk;
    }
    Acad::ErrorStatus setEndPoint(const AcGePoint3d& p)
    {
        m_end = p;
        return Acad::eOk;
    }

    // The box of its two points; a line encloses nothing, so its area stays 0.
    Acad::ErrorStatus getGeomExtents(AcDbExtents& extents) const override;

    Acad::ErrorStatus getLength(double& length) const override;

private:
    AcGePoint3d m_start, m_end;
};
