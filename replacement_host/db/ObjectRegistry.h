// The process-wide table from object id to object: an id stays meaningful
// across drawings, as the host's ids do, and its number never repeats.
// The lookup is inline: every open, cast and ownership test starts with it.
#pragma once

#include "host/dbmain.h"

#include <array>
#include <cstddef>

namespace hostdb {

namespace registry {
// Ids start high so an id is never mistaken for a small count or a handle.
inline constexpr Adesk::IntDbId kFirstId = 0x7FF000000001LL;
// Ids are handed out in sequence, so the table is indexed by id: a lookup is
// two loads, and a large drawing never copies the table, which grows a page
// at a time. A page directory of fixed size leaves room for 2^32 ids.
inline constexpr size_t kPageBits = 16;
inline constexpr size_t kPageSize = size_t{1} << kPageBits;
inline constexpr size_t kPageCount = size_t{1} << 16;
using Page = std::array<AcDbObject*, kPageSize>;
extern Page* g_pages[kPageCount];
}

// Set by the first erase in the process and never cleared: until then no
// object can be erased, nor be owned by an erased one, so that test is free.
extern bool g_anyErased;

AcDbObjectId newObjectId();
void registerObject(AcDbObjectId id, AcDbObject* object);
void unregisterObject(AcDbObjectId id);

inline AcDbObject* lookupObject(AcDbObjectId id)
{
    using namespace registry;
    const auto index = static_cast<Adesk::UInt64>(id.asOldId()) - static_cast<Adesk::UInt64>(kFirstId);
    if (index >= kPageSize * kPageCount)  // also every id below the first
        return nullptr;
    Page* page = g_pages[index >> kPageBits];
    return page ? (*page)[index & (kPageSize - 1)] : nullptr;
}

}
