// The drawing database: owns its objects, gives out handles, and starts with
// the tables and records every drawing has (block table with model space and
// one paper-space layout, layer table with layer "0").
#include "host/dbblkref.h"
#include "host/dbfield.h"
#include "host/dbsymtb.h"
#include "host/dbtext.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/db/HandleTable.h"
#include "replacement_host/db/ObjectRegistry.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>

AcDbDatabase::AcDbDatabase(bool buildDefaultDrawing) : m_handles(std::make_unique<hostdb::HandleTable>())
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
    // All are unregistered before any is deleted: a destructor that looks
    // another object up finds none half torn down.
    std::vector<AcDbObject*> objects;
    objects.reserve(m_order.size());
    for (AcDbObjectId id : m_order) {
        objects.push_back(hostdb::lookupObject(id));
        hostdb::unregisterObject(id);
    }
    for (AcDbObject* obj : objects)
        delete obj;
}

void AcDbDatabase::hostReserveObjects(size_t count)
{
    // Room unused is never touched; a list grown by doubling touches twice what it keeps.
    m_order.reserve(count);
    m_fieldsAndTexts.reserve(count);
}

bool AcDbDatabase::findHandle(Adesk::UInt64 handle, std::uint32_t& index) const
{
    if (handle == 0)
        return false;
    index = m_handles->find(handle);
    return index != hostdb::HandleTable::kNone;
}

bool AcDbDatabase::handleTaken(Adesk::UInt64 handle) const
{
    std::uint32_t index;
    return findHandle(handle, index);
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
    auto* table = AcDbSymbolTable::cast(HostAccess::objectAt(db, tableId));
    AcDbObjectId id;
    if (table)
        table->getAt(name, id);
    return id;
}
}

AcDbObjectId AcDbDatabase::modelSpaceId() const
{
    return recordNamed(*this, m_blockTableId, AcDbBlockTableRecord::kModelSpace);
}
AcDbObjectId AcDbDatabase::paperSpaceId() const
{
    return recordNamed(*this, m_blockTableId, AcDbBlockTableRecord::kPaperSpace);
}

Acad::ErrorStatus AcDbDatabase::getAcDbObjectId(AcDbObjectId& id, bool createIfNotFound, const AcDbHandle& handle,
                                                Adesk::UInt32 xRefId) const
{
    id = AcDbObjectId();
    if (createIfNotFound || xRefId != 0)
        return Acad::eNotImplementedYet;
    std::uint32_t index;
    if (!findHandle(handle.value(), index))
        return Acad::eKeyNotFound;
    id = m_order[index];
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
        while (next == 0 || handleTaken(next))
            ++next;
        handle = AcDbHandle(next);
    }
    if (handleTaken(handle.value()))
        return Acad::eDuplicateKey;
    if (handle.value() >= m_nextHandle)
        m_nextHandle = handle.value() + 1;
    id = hostdb::newObjectId();
    HostAccess::hostSetIdentity(*object, this, id, handle);
    object->setOwnerId(owner);
    m_handles->insert(handle.value(), static_cast<std::uint32_t>(m_order.size()));
    m_order.push_back(id);
    hostdb::registerObject(id, object);
    const AcRxClass* kind = object->isA();
    if (kind->isDerivedFrom(AcDbField::desc()) || kind->isDerivedFrom(AcDbText::desc()))
        m_fieldsAndTexts.push_back(id);

    // Keep the owner's list of what it holds.
    if (AcDbObject* ownerObj = objectAt(owner)) {
        const AcRxClass* ownerKind = ownerObj->isA();
        if (ownerKind->isDerivedFrom(AcDbSymbolTable::desc()))
            HostAccess::hostAddRecord(*static_cast<AcDbSymbolTable*>(ownerObj), id);
        else if (ownerKind->isDerivedFrom(AcDbBlockTableRecord::desc()) && kind->isDerivedFrom(AcDbEntity::desc()))
            HostAccess::hostAddEntity(*static_cast<AcDbBlockTableRecord*>(ownerObj), id);
    }
    if (kind->isDerivedFrom(AcDbBlockReference::desc()))
        HostAccess::hostAddedToDatabase(*static_cast<AcDbBlockReference*>(object));
    object->subAddedToDatabase();
    return Acad::eOk;
}

Acad::ErrorStatus AcDbDatabase::hostRenumber(const std::vector<std::pair<AcDbObjectId, AcDbHandle>>& moves)
{
    std::unordered_set<Adesk::UInt64> leaving, arriving;
    std::vector<std::uint32_t> places;  // of each moving object in m_order
    for (auto& [id, handle] : moves) {
        AcDbObject* obj = objectAt(id);
        std::uint32_t place = 0;
        if (!obj || !findHandle(obj->objectHandle().value(), place))
            return Acad::eInvalidInput;
        leaving.insert(obj->objectHandle().value());
        places.push_back(place);
    }
    for (auto& [id, handle] : moves) {
        bool keptByOther = handleTaken(handle.value()) && !leaving.count(handle.value());
        if (handle.isNull() || keptByOther || !arriving.insert(handle.value()).second)
            return Acad::eDuplicateKey;
    }
    for (Adesk::UInt64 old : leaving)
        m_handles->erase(old);
    for (size_t k = 0; k < moves.size(); ++k) {
        auto& [id, handle] = moves[k];
        HostAccess::hostSetIdentity(*objectAt(id), this, id, handle);
        m_handles->insert(handle.value(), places[k]);
        if (handle.value() >= m_nextHandle)
            m_nextHandle = handle.value() + 1;
    }
    return Acad::eOk;
}

AcDbObject* AcDbDatabase::objectAt(AcDbObjectId id) const
{
    AcDbObject* obj = hostdb::lookupObject(id);
    return obj && obj->database() == this ? obj : nullptr;
}

int AcDbDatabase::openObjectCount() const
{
    int n = 0;
    for (AcDbObjectId id : m_order)
        n += HostAccess::hostOpenCount(*hostdb::lookupObject(id)) > 0;
    return n;
}
