// Block references: an insertion of a block definition at a point, with
// scale and rotation, owning its attributes, and carrying the property values
// of a dynamic block. Tables are block references too.
#pragma once

#include "host/dbeval.h"
#include "host/dbmain.h"
#include "host/geometry.h"

#include <vector>

// Walks a list of object ids, such as the attributes of a block reference.
// Erased objects are passed over unless asked for.
class AcDbObjectIterator {
public:
    // A copy of the ids: what the walk visits does not change under it. A
    // reference holds few attributes, so a short list is kept inline.
    AcDbObjectIterator(const AcDbObjectId* ids, size_t count, bool skipErased = true);
    bool done() const { return m_pos >= m_count; }
    AcDbObjectId objectId() const { return done() ? AcDbObjectId() : at(m_pos); }
    void step(bool backwards = false, bool skipErased = true);

private:
    static constexpr size_t kInline = 4;
    AcDbObjectId at(size_t i) const { return m_count <= kInline ? m_inline[i] : m_more[i]; }
    void skip();
    AcDbObjectId m_inline[kInline];
    std::vector<AcDbObjectId> m_more;
    size_t m_count = 0;
    size_t m_pos = 0;
    bool m_skipErased = true;
};

class AcDbBlockReference : public AcDbEntity {
    ACRX_DECLARE_MEMBERS(AcDbBlockReference)
public:
    AcDbObjectId blockTableRecord() const { return m_block; }
    // In a drawing, the block's list of references follows the change.
    Acad::ErrorStatus setBlockTableRecord(AcDbObjectId id);
    const AcGePoint3d& position() const { return m_position; }
    void setPosition(const AcGePoint3d& p) { m_position = p; }
    const AcGePoint3d& scaleFactors() const { return m_scale; }
    void setScaleFactors(const AcGePoint3d& s) { m_scale = s; }
    double rotation() const { return m_rotation; }
    void setRotation(double radians) { m_rotation = radians; }

    // The attributes in the order they were added; the caller deletes the iterator.
    AcDbObjectIterator* attributeIterator() const
    {
        return new AcDbObjectIterator(m_attributes.data(), m_attributes.size());
    }
    const std::vector<AcDbObjectId>& attributeIds() const { return m_attributes; }
    // The definition's geometry placed by this reference; an empty definition
    // gives eInvalidExtents.
    Acad::ErrorStatus getGeomExtents(AcDbExtents& extents) const override;

private:
    // Host bookkeeping, reached through the replacement host's HostAccess only.
    friend struct HostAccess;
    // An attribute added with this reference as owner.
    void hostAddAttribute(AcDbObjectId id) { m_attributes.push_back(id); }
    // Dynamic-block property values, in the block's property order.
    struct DynamicProperty {
        AcString name;
        AcDbEvalVariant value;
    };
    const std::vector<DynamicProperty>& hostDynamicProperties() const { return m_properties; }
    void hostSetDynamicProperties(std::vector<DynamicProperty> properties) { m_properties = std::move(properties); }
    // Called by the database once this reference is in it: enters it in its block's list.
    void hostAddedToDatabase();

    AcDbObjectId m_block;
    AcGePoint3d m_position;
    AcGePoint3d m_scale{1.0, 1.0, 1.0};
    double m_rotation = 0.0;
    std::vector<AcDbObjectId> m_attributes;
    std::vector<DynamicProperty> m_properties;
};
