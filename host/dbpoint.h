// Points: a single location, whose extents are that location.
#pragma once

#include "host/dbmain.h"
#include "host/geometry.h"

class AcDbPoint : public AcDbEntity {
    ACRX_DECLARE_MEMBERS(AcDbPoint)
public:
    AcDbPoint() = default;
    explicit AcDbPoint(const AcGePoint3d& position) : m_position(position) {}
    const AcGePoint3d& position() const { return m_position; }
    void setPosition(const AcGePoint3d& p) { m_position = p; }
    Acad::ErrorStatus getGeomExtents(AcDbExtents& extents) const override;

private:
    AcGePoint3d m_position;
};
