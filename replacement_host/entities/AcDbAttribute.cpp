// Attributes: a tag and a text, owned by a block reference, which lists them
// in the order they were added.
#include "host/dbattr.h"
#include "host/dbblkref.h"
#include "replacement_host/HostAccess.h"

ACRX_DEFINE_MEMBERS(AcDbAttribute, AcDbText)
ACRX_DEFINE_MEMBERS(AcDbAttributeDefinition, AcDbText)

Acad::ErrorStatus AcDbAttribute::setTag(const ACHAR* tag)
{
    if (!tag || !*tag)
        return Acad::eInvalidInput;
    m_tag = tag;
    return Acad::eOk;
}

void AcDbAttribute::subAddedToDatabase()
{
    if (auto* ref = AcDbBlockReference::cast(HostAccess::objectAt(*database(), ownerId())))
        HostAccess::hostAddAttribute(*ref, objectId());
    AcDbText::subAddedToDatabase();
}

Acad::ErrorStatus AcDbAttributeDefinition::setTag(const ACHAR* tag)
{
    if (!tag || !*tag)
        return Acad::eInvalidInput;
    m_tag = tag;
    return Acad::eOk;
}
