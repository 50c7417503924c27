// The drawing database: owns its objects, gives out handles, and starts with
// the tables and records every drawing has (block table with model space and
// one paper-space layout, layer table with layer "0").
#include "host/dbblkref.h"
#include "host/dbsymtb.h"
#include "replacement_host/db/ObjectRegistry.h"

#include <unordered_set>

AcDbDatabase::AcDbDatabase(bool buildDefaultDrawing)
{
    addObject(new AcDbBlockTable, AcDbObjectId(), m_blockTableId, AcDbHandle(1));
    addObject(new AcDbLayerTable, AcDbObjectId(), m_layerTableId, AcDbHandle(2));
    if (buildDefaultDrawing)
        addMissingDefaults();
}

void AcDbDatabase::addMissingDefaults()
{
    AcDbObjectId id;
    auto* blocks = AcDbSymbolTable::cast(objectAt(m_blockTableId));
    for (const ACHAR* name : {AcDbBlockTableRecord::kModelSpace, AcDbBlockTableRecord::kPaperSpace}) {
        if (blocks->has(name))
            continue;
        auto* record = new AcDbBlockTableRecord;
        record->setName(name);
        record->setIsLayout(true);
        addObject(record, m_blockTableId, id);
    }
    if (!AcDbSymbolTable::cast(objectAt(m_layerTableId))->has(u"0")) {
        auto* layer0 = new AcDbLayerTableRecord;
        layer0->setName(u"0");
        addObject(layer0, m_layerTableId, id);
    }
}

AcDbDatabase::~AcDbDatabase()
{
    for (auto& [id, obj] : m_objects)
        hostdb::unregisterObject(AcDbObjectId::fromOldId(id));
}

Acad::ErrorStatus AcDbDatabase::getFilename(const ACHAR*& fileName) const
{
    fileName = m_filename.c_str();
    return Acad::eOk;
}

Acad::ErrorStatus AcDbDatabase::getSymbolTable(AcDbBlockTable*& table, AcDb::OpenMode mode)
{
    return acdbOpenObject(table, m_blockTableId, mode);
}

Acad::ErrorStatus AcDbDatabase::getSymbolTable(AcDbLayerTable*& table, AcDb::OpenMode mode)
{
    return acdbOpenObject(table, m_layerTableId, mode);
}

namespace {
AcDbObjectId recordNamed(const AcDbDatabase& db, AcDbObjectId tableId, const ACHAR* name)
{
    auto* table = AcDbSymbolTable::cast(db.objectAt(tableId));
    AcDbObjectId id;
    if (table)
        table->getAt(name, id);
    return id;
}
}

AcDbObjectId AcDbDatabase::modelSpaceId() const { return recordNamed(*this, m_blockTableId, AcDbBlockTableRecord::kModelSpace); }
AcDbObjectId AcDbDatabase::paperSpaceId() const { return recordNamed(*this, m_blockTableId, AcDbBlockTableRecord::kPaperSpace); }

Acad::ErrorStatus AcDbDatabase::getAcDbObjectId(AcDbObjectId& id, bool createIfNotFound, const AcDbHandle& handle,
                                                Adesk::UInt32 xRefId) const
{
    id = AcDbObjectId();
    if (createIfNotFound || xRefId != 0)
        return Acad::eNotImplementedYet;
    auto it = m_handles.find(handle.value());
    if (handle.isNull() || it == m_handles.end())
        return Acad::eKeyNotFound;
    id = it->second;
    return Acad::eOk;
}

Acad::ErrorStatus AcDbDatabase::addObject(AcDbObject* object, AcDbObjectId owner, AcDbObjectId& id, AcDbHandle handle)
{
    id = AcDbObjectId();
    if (!object)
        return Acad::eInvalidInput;
    if (object->database())
        return Acad::eAlreadyInDb;
    if (handle.isNull())
        handle = object->objectHandle();
    if (handle.isNull()) {
        // Past the top (a file used the highest handle), the first free one.
        Adesk::UInt64 next = m_nextHandle;
        while (next == 0 || m_handles.count(next))
            ++next;
        handle = AcDbHandle(next);
    }
    if (m_handles.count(handle.value()))
        return Acad::eDuplicateKey;
    if (handle.value() >= m_nextHandle)
        m_nextHandle = handle.value() + 1;
    id = hostdb::newObjectId();
    object->hostSetIdentity(this, id, handle);
    object->setOwnerId(owner);
    m_objects[id.asOldId()].reset(object);
    m_handles[handle.value()] = id;
    m_order.push_back(id);
    hostdb::registerObject(id, object);

    // Keep the owner's list of what it holds.
    if (AcDbObject* ownerObj = objectAt(owner)) {
        if (auto* table = AcDbSymbolTable::cast(ownerObj))
            table->hostAddRecord(id);
        else if (auto* block = AcDbBlockTableRecord::cast(ownerObj); block && AcDbEntity::cast(object))
            block->hostAddEntity(id);
    }
    if (auto* ref = AcDbBlockReference::cast(object))
        ref->hostAddedToDatabase();
    object->subAddedToDatabase();
    return Acad::eOk;
}

Acad::ErrorStatus AcDbDatabase::hostRenumber(const std::vector<std::pair<AcDbObjectId, AcDbHandle>>& moves)
{
    std::unordered_set<Adesk::UInt64> leaving, arriving;
    for (auto& [id, handle] : moves) {
        AcDbObject* obj = objectAt(id);
        if (!obj)
            return Acad::eInvalidInput;
        leaving.insert(obj->objectHandle().value());
    }
    for (auto& [id, handle] : moves) {
        bool keptByOther = m_handles.count(handle.value()) && !leaving.count(handle.value());
        if (handle.isNull() || keptByOther || !arriving.insert(handle.value()).second)
            return Acad::eDuplicateKey;
    }
    for (Adesk::UInt64 old : leaving)
        m_handles.erase(old);
    for (auto& [id, handle] : moves) {
        objectAt(id)->hostSetIdentity(this, id, handle);
        m_handles[handle.value()] = id;
        if (handle.value() >= m_nextHandle)
            m_nextHandle = handle.value() + 1;
    }
    return Acad::eOk;
}

AcDbObject* AcDbDatabase::objectAt(AcDbObjectId id) const
{
    auto it = m_objects.find(id.asOldId());
    return it == m_objects.end() ? nullptr : it->second.get();
}

int AcDbDatabase::openObjectCount() const
{
    int n = 0;
    for (auto& [id, obj] : m_objects)
        n += obj->hostOpenCount() > 0;
    return n;
}
