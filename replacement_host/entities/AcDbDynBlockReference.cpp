// The dynamic-block view of a block reference: which dynamic definition and
// which anonymous copy it shows, and its property values.
#include "host/dbblkref.h"
#include "host/dbdynblk.h"
#include "host/dbsymtb.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/db/ObjectRegistry.h"

namespace {

const AcDbBlockTableRecord* blockOf(AcDbObjectId refId)
{
    auto* ref = AcDbBlockReference::cast(hostdb::lookupObject(refId));
    return ref ? AcDbBlockTableRecord::cast(hostdb::lookupObject(ref->blockTableRecord())) : nullptr;
}

// The dynamic definition an anonymous copy points back at, if it is one.
const AcDbBlockTableRecord* dynamicSource(const AcDbBlockTableRecord* block)
{
    auto* source = AcDbBlockTableRecord::cast(hostdb::lookupObject(block->dynamicBlockId()));
    return source && source->isDynamicBlock() ? source : nullptr;
}

}

AcDbObjectId AcDbDynBlockReference::dynamicBlockTableRecord() const
{
    const AcDbBlockTableRecord* block = blockOf(m_ref);
    if (!block)
        return AcDbObjectId();
    if (block->isDynamicBlock())
        return block->objectId();
    const AcDbBlockTableRecord* source = dynamicSource(block);
    return source ? source->objectId() : AcDbObjectId();
}

AcDbObjectId AcDbDynBlockReference::anonymousBlockTableRecord() const
{
    const AcDbBlockTableRecord* block = blockOf(m_ref);
    return block && !block->isDynamicBlock() && dynamicSource(block) ? block->objectId() : AcDbObjectId();
}

void AcDbDynBlockReference::getBlockProperties(AcDbDynBlockReferencePropertyArray& properties) const
{
    properties.clear();
    if (!isDynamicBlock())
        return;
    for (const auto& p : HostAccess::hostDynamicProperties(*AcDbBlockReference::cast(hostdb::lookupObject(m_ref))))
        properties.emplace_back(p.name, p.value);
}
