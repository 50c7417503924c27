// Block references: their place in their block's list of references, their
// attributes, and their extents, which are the definition's extents placed
// by the reference. Also the object iterator that walks the attributes.
#include "host/dbblkref.h"
#include "host/dbsymtb.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/db/ObjectRegistry.h"

#include <algorithm>
#include <cmath>
#include <vector>

AcDbObjectIterator::AcDbObjectIterator(const AcDbObjectId* ids, size_t count, bool skipErased)
    : m_count(count), m_skipErased(skipErased)
{
    if (count <= kInline)
        std::copy_n(ids, count, m_inline);
    else
        m_more.assign(ids, ids + count);
    skip();
}

void AcDbObjectIterator::skip()
{
    while (m_skipErased && m_pos < m_count && at(m_pos).isErased())
        ++m_pos;
}

void AcDbObjectIterator::step(bool backwards, bool skipErased)
{
    // Only forward walks are supported by this host.
    (void)backwards;
    m_skipErased = skipErased;
    if (m_pos < m_count)
        ++m_pos;
    skip();
}

namespace {

AcDbBlockTableRecord* recordIn(AcDbDatabase* db, AcDbObjectId id)
{
    return db ? AcDbBlockTableRecord::cast(HostAccess::objectAt(*db, id)) : nullptr;
}

// Nested definitions deeper than this are taken as a block that holds itself.
constexpr int kMaxNesting = 64;
// Entities looked at for one outermost reference: definitions that each hold
// several references of the next multiply the work level by level, so the
// walk stops there and the extents are invalid rather than taking forever.
constexpr long kMaxVisits = 1000000;
thread_local int t_nesting = 0;
thread_local long t_visitsLeft = 0;
// The definitions being measured, outermost first: meeting one again is a
// block that holds itself, whose extents are invalid.
thread_local std::vector<AcDbObjectId> t_open;

}

Acad::ErrorStatus AcDbBlockReference::setBlockTableRecord(AcDbObjectId id)
{
    if (auto* old = recordIn(database(), m_block))
        HostAccess::hostRemoveReference(*old, objectId());
    m_block = id;
    if (auto* now = recordIn(database(), m_block))
        HostAccess::hostAddReference(*now, objectId());
    return Acad::eOk;
}

void AcDbBlockReference::hostAddedToDatabase()
{
    if (auto* record = recordIn(database(), m_block))
        HostAccess::hostAddReference(*record, objectId());
}

Acad::ErrorStatus AcDbBlockReference::getGeomExtents(AcDbExtents& extents) const
{
    auto* record = AcDbBlockTableRecord::cast(hostdb::lookupObject(m_block));
    if (!record || t_nesting >= kMaxNesting || std::find(t_open.begin(), t_open.end(), m_block) != t_open.end())
        return Acad::eInvalidExtents;
    if (t_nesting == 0)
        t_visitsLeft = kMaxVisits;
    ++t_nesting;
    t_open.push_back(m_block);
    AcDbExtents inner;
    for (AcDbObjectId id : record->entityIds()) {
        if (--t_visitsLeft < 0)
            break;
        auto* entity = AcDbEntity::cast(hostdb::lookupObject(id));
        AcDbExtents e;
        if (entity && !entity->isErased() && entity->getGeomExtents(e) == Acad::eOk)
            inner.addExt(e);
    }
    t_open.pop_back();
    --t_nesting;
    if (inner.isEmpty() || t_visitsLeft < 0)
        return Acad::eInvalidExtents;

    // Place every corner of the definition's box: from the base point, scale,
    // rotate about z, move.
    const double c = std::cos(m_rotation), s = std::sin(m_rotation);
    const AcGePoint3d base = record->origin();
    AcDbExtents placed;
    for (int corner = 0; corner < 8; ++corner) {
        const AcGePoint3d& px = corner & 1 ? inner.maxPoint() : inner.minPoint();
        const AcGePoint3d& py = corner & 2 ? inner.maxPoint() : inner.minPoint();
        const AcGePoint3d& pz = corner & 4 ? inner.maxPoint() : inner.minPoint();
        double x = (px.x - base.x) * m_scale.x, y = (py.y - base.y) * m_scale.y, z = (pz.z - base.z) * m_scale.z;
        placed.addPoint({m_position.x + x * c - y * s, m_position.y + x * s + y * c, m_position.z + z});
    }
    extents = placed;
    return Acad::eOk;
}
