// Symbol tables and their records, the record iterator, and the search for
// the references of a block.
#include "host/dbblkref.h"
#include "host/dbsymtb.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/db/ObjectRegistry.h"

#include <algorithm>
#include <unordered_set>

ACRX_DEFINE_MEMBERS(AcDbSymbolTableRecord, AcDbObject)
ACRX_DEFINE_MEMBERS(AcDbSymbolTable, AcDbObject)
ACRX_DEFINE_MEMBERS(AcDbBlockTable, AcDbSymbolTable)
ACRX_DEFINE_MEMBERS(AcDbBlockTableRecord, AcDbSymbolTableRecord)
ACRX_DEFINE_MEMBERS(AcDbLayerTable, AcDbSymbolTable)
ACRX_DEFINE_MEMBERS(AcDbLayerTableRecord, AcDbSymbolTableRecord)
ACRX_DEFINE_MEMBERS(AcDbBlockReference, AcDbEntity)

Acad::ErrorStatus AcDbSymbolTableRecord::setName(const ACHAR* name)
{
    if (!name || !*name)
        return Acad::eInvalidInput;
    AcString old = std::move(m_name);
    m_name = name;
    // The table finds its records by name, so it hears of the new one.
    if (AcDbDatabase* db = database())
        if (auto* table = AcDbSymbolTable::cast(HostAccess::objectAt(*db, ownerId())))
            HostAccess::hostRenameRecord(*table, objectId(), old, m_name);
    return Acad::eOk;
}

namespace {
const AcString& recordName(AcDbObjectId id)
{
    static const AcString none;
    auto* rec = AcDbSymbolTableRecord::cast(hostdb::lookupObject(id));
    return rec ? rec->name() : none;
}
}

void AcDbSymbolTable::hostAddRecord(AcDbObjectId id)
{
    m_records.push_back(id);
    m_byName[recordName(id)].push_back(id);
}

void AcDbSymbolTable::hostRenameRecord(AcDbObjectId id, const AcString& oldName, const AcString& newName)
{
    if (auto it = m_byName.find(oldName); it != m_byName.end()) {
        std::erase(it->second, id);
        if (it->second.empty())
            m_byName.erase(it);
    }
    // Kept in the order the records were added, as a walk of the table finds them.
    std::vector<AcDbObjectId>& same = m_byName[newName];
    auto pos = std::find_if(same.begin(), same.end(), [&](AcDbObjectId other) {
        return std::find(m_records.begin(), m_records.end(), other) > std::find(m_records.begin(), m_records.end(), id);
    });
    same.insert(pos, id);
}

Acad::ErrorStatus AcDbSymbolTable::getAt(const ACHAR* name, AcDbObjectId& id, bool getErased) const
{
    id = AcDbObjectId();
    if (!name)
        return Acad::eInvalidInput;
    auto it = m_byName.find(std::u16string_view(name));
    if (it == m_byName.end())
        return Acad::eKeyNotFound;
    for (AcDbObjectId rid : it->second) {
        auto* rec = AcDbSymbolTableRecord::cast(hostdb::lookupObject(rid));
        if (rec && (getErased || !rec->isErased())) {
            id = rid;
            return Acad::eOk;
        }
    }
    return Acad::eKeyNotFound;
}

bool AcDbSymbolTable::has(const ACHAR* name) const
{
    AcDbObjectId id;
    return getAt(name, id) == Acad::eOk;
}

AcDbSymbolTableIterator::AcDbSymbolTableIterator(std::vector<AcDbObjectId> ids, bool skipErased)
    : m_ids(std::move(ids)), m_skipErased(skipErased)
{
    skip();
}

void AcDbSymbolTableIterator::skip()
{
    while (m_skipErased && m_pos < m_ids.size() && m_ids[m_pos].isErased())
        ++m_pos;
}

bool AcDbSymbolTableIterator::done() const { return m_pos >= m_ids.size(); }

void AcDbSymbolTableIterator::step(bool forward, bool skipErased)
{
    // Only forward walks are supported by this host.
    (void)forward;
    m_skipErased = skipErased;
    if (m_pos < m_ids.size())
        ++m_pos;
    skip();
}

AcDbObjectId AcDbSymbolTableIterator::objectId() const { return done() ? AcDbObjectId() : m_ids[m_pos]; }

Acad::ErrorStatus AcDbBlockTableIterator::getRecord(AcDbBlockTableRecord*& record, AcDb::OpenMode mode,
                                                    bool openErased) const
{
    record = nullptr;
    if (done())
        return Acad::eInvalidInput;
    return acdbOpenObject(record, objectId(), mode, openErased);
}

Acad::ErrorStatus AcDbBlockTable::newIterator(AcDbBlockTableIterator*& iterator, bool atBeginning,
                                              bool skipDeleted) const
{
    iterator = nullptr;
    if (!atBeginning)
        return Acad::eNotImplementedYet;
    iterator = new AcDbBlockTableIterator(recordIds(), skipDeleted);
    return Acad::eOk;
}

bool AcDbBlockTableRecord::isAnonymous() const { return !m_isLayout && !name().empty() && name()[0] == u'*'; }

void AcDbBlockTableRecord::hostAddReference(AcDbObjectId id)
{
    // Ids grow with every object added, so id order is the drawing's order.
    if (m_references.empty() || m_references.back() < id) {
        m_references.push_back(id);
        return;
    }
    auto at = std::lower_bound(m_references.begin(), m_references.end(), id);
    if (at == m_references.end() || !(*at == id))
        m_references.insert(at, id);
}

void AcDbBlockTableRecord::hostRemoveReference(AcDbObjectId id)
{
    auto at = std::lower_bound(m_references.begin(), m_references.end(), id);
    if (at != m_references.end() && *at == id)
        m_references.erase(at);
}

Acad::ErrorStatus AcDbBlockTableRecord::getBlockReferenceIds(std::vector<AcDbObjectId>& ids, bool directOnly,
                                                             bool forceValidity) const
{
    (void)forceValidity;
    AcDbDatabase* db = database();
    if (!db)
        return Acad::eNotApplicable;
    // Appended in place: a block count asks this of every block in every evaluation.
    const size_t first = ids.size();
    ids.insert(ids.end(), m_references.begin(), m_references.end());
    if (!directOnly) {
        // Follow every block that holds a reference of this one, at any depth;
        // a block that holds itself is visited once.
        std::unordered_set<AcDbObjectId> seenBlocks{objectId()};
        // References of one holder mostly come together: its owner, once
        // looked at, is passed over until another comes.
        AcDbObjectId lastOwner;
        for (size_t i = first; i < ids.size(); ++i) {
            AcDbObject* ref = HostAccess::objectAt(*db, ids[i]);
            if (!ref || ref->ownerId() == lastOwner)
                continue;
            lastOwner = ref->ownerId();
            auto* holder = AcDbBlockTableRecord::cast(HostAccess::objectAt(*db, lastOwner));
            if (holder && !holder->isLayout() && seenBlocks.insert(holder->objectId()).second)
                ids.insert(ids.end(), holder->m_references.begin(), holder->m_references.end());
        }
    }
    return Acad::eOk;
}
