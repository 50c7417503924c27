// Attributes: tagged texts owned by a block reference.
#pragma once

#include "host/dbtext.h"

class AcDbAttribute : public AcDbText {
    ACRX_DECLARE_MEMBERS(AcDbAttribute)
public:
    const ACHAR* tagConst() const { return m_tag.c_str(); }
    Acad::ErrorStatus setTag(const ACHAR* tag);
    // Enters the attribute in its owning reference's list, then makes its fields.
    void subAddedToDatabase() override;

private:
    AcString m_tag;
};

// Attribute definitions: the tagged texts of a block definition whose copies
// the references of the block carry.
class AcDbAttributeDefinition : public AcDbText {
    ACRX_DECLARE_MEMBERS(AcDbAttributeDefinition)
public:
    const ACHAR* tagConst() const { return m_tag.c_str(); }
    Acad::ErrorStatus setTag(const ACHAR* tag);

private:
    AcString m_tag;
};
