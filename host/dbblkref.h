// Block references: an insertion of a block definition at a point, with
// scale and rotation. Tables are block references too.
#pragma once

#include "host/dbmain.h"
#include "host/geometry.h"

class AcDbBlockReference : public AcDbEntity {
    ACRX_DECLARE_MEMBERS(AcDbBlockReference)
public:
    AcDbObjectId blockTableRecord() const { return m_block; }
    Acad::ErrorStatus setBlockTableRecord(AcDbObjectId id) { m_block = id; return Acad::eOk; }
    const AcGePoint3d& position() const { return m_position; }
    void setPosition(const AcGePoint3d& p) { m_position = p; }
    const AcGePoint3d& scaleFactors() const { return m_scale; }
    void setScaleFactors(const AcGePoint3d& s) { m_scale = s; }
    double rotation() const { return m_rotation; }
    void setRotation(double radians) { m_rotation = radians; }

private:
    AcDbObjectId m_block;
    AcGePoint3d m_position;
    AcGePoint3d m_scale{1.0, 1.0, 1.0};
    double m_rotation = 0.0;
};
