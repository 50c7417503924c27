// Dynamic blocks as seen from a reference. A dynamic block definition keeps
// its name; a reference whose properties were changed points at an anonymous
// copy of it, which points back at the dynamic definition.
#pragma once

#include "host/dbeval.h"
#include "host/dbid.h"

#include <vector>

class AcDbDynBlockReferenceProperty {
public:
    AcDbDynBlockReferenceProperty(AcString name, AcDbEvalVariant value)
        : m_name(std::move(name)), m_value(std::move(value))
    {
    }
    AcString propertyName() const { return m_name; }
    AcDbEvalVariant value() const { return m_value; }

private:
    AcString m_name;
    AcDbEvalVariant m_value;
};

using AcDbDynBlockReferencePropertyArray = std::vector<AcDbDynBlockReferenceProperty>;

class AcDbDynBlockReference {
public:
    // A view of the block reference with this id; not a reference gives a view of nothing.
    explicit AcDbDynBlockReference(AcDbObjectId blockReferenceId) : m_ref(blockReferenceId) {}

    // The reference's block is a dynamic definition or an anonymous copy of one.
    bool isDynamicBlock() const { return !dynamicBlockTableRecord().isNull(); }
    // The dynamic definition; null when the reference is not dynamic.
    AcDbObjectId dynamicBlockTableRecord() const;
    // The anonymous copy the reference shows; null when it shows the definition itself.
    AcDbObjectId anonymousBlockTableRecord() const;
    // The reference's property values; none when it is not dynamic.
    void getBlockProperties(AcDbDynBlockReferencePropertyArray& properties) const;

private:
    AcDbObjectId m_ref;
};
