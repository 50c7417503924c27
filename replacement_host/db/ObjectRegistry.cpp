// The process-wide id table; see the header.
#include "replacement_host/db/ObjectRegistry.h"

#include <iterator>

namespace hostdb::registry {
Page* g_pages[kPageCount];
}

namespace {
using namespace hostdb::registry;
Adesk::IntDbId g_nextId = kFirstId - 1;
}

namespace hostdb {
bool g_anyErased = false;
AcDbObjectId newObjectId() { return AcDbObjectId::fromOldId(++g_nextId); }
void registerObject(AcDbObjectId id, AcDbObject* object)
{
    const auto index = static_cast<Adesk::UInt64>(id.asOldId()) - static_cast<Adesk::UInt64>(kFirstId);
    if (index >= kPageSize * kPageCount)
        return;
    Page*& page = g_pages[index >> kPageBits];
    if (!page)
        page = new Page{};  // value-initialised: all null; kept for the process
    (*page)[index & (kPageSize - 1)] = object;
}
void unregisterObject(AcDbObjectId id)
{
    const auto index = static_cast<Adesk::UInt64>(id.asOldId()) - static_cast<Adesk::UInt64>(kFirstId);
    if (index < kPageSize * kPageCount && g_pages[index >> kPageBits])
        (*g_pages[index >> kPageBits])[index & (kPageSize - 1)] = nullptr;
}
}

const AcDbObjectId AcDbObjectId::kNull;

bool AcDbObjectId::isValid() const { return !isNull() && hostdb::lookupObject(*this) != nullptr; }

bool AcDbObjectId::isErased() const
{
    AcDbObject* obj = hostdb::lookupObject(*this);
    return obj && obj->isErased();
}

bool AcDbObjectId::isEffectivelyErased() const
{
    // An object is gone when it, or anything that owns it, is erased.
    if (!hostdb::g_anyErased)
        return false;
    AcDbObjectId id = *this;
    for (int depth = 0; depth < 1000 && !id.isNull(); ++depth) {
        AcDbObject* obj = hostdb::lookupObject(id);
        if (!obj)
            return false;
        if (obj->isErased())
            return true;
        id = obj->ownerId();
    }
    return false;
}

AcDbHandle AcDbObjectId::handle() const
{
    AcDbObject* obj = hostdb::lookupObject(*this);
    return obj ? obj->objectHandle() : AcDbHandle();
}

AcDbDatabase* AcDbObjectId::database() const
{
    AcDbObject* obj = hostdb::lookupObject(*this);
    return obj ? obj->database() : nullptr;
}

AcDbHandle::AcDbHandle(const ACHAR* hexText)
{
    if (!hexText || !*hexText)
        return;
    Adesk::UInt64 value = 0;
    int digits = 0;
    for (const ACHAR* p = hexText; *p; ++p) {
        int d;
        if (*p >= u'0' && *p <= u'9')
            d = *p - u'0';
        else if (*p >= u'a' && *p <= u'f')
            d = *p - u'a' + 10;
        else if (*p >= u'A' && *p <= u'F')
            d = *p - u'A' + 10;
        else
            return;
        if (value == 0 && d == 0)
            continue;  // leading zeros do not count towards the 16 digits
        if (++digits > 16)
            return;
        value = value * 16 + static_cast<Adesk::UInt64>(d);
    }
    m_value = value;
}

std::u16string AcDbHandle::text() const
{
    if (m_value == 0)
        return u"0";
    // Digits from the last, into a buffer wide enough for 64 bits.
    char16_t digits[16];
    char16_t* first = std::end(digits);
    for (Adesk::UInt64 v = m_value; v; v >>= 4)
        *--first = u"0123456789ABCDEF"[v & 15];
    return std::u16string(first, std::end(digits));
}

void AcDbHandle::getIntoAsciiBuffer(ACHAR* buffer, size_t bufferLength) const
{
    if (!buffer || bufferLength == 0)
        return;
    std::u16string s = text();
    size_t n = std::min(s.size(), bufferLength - 1);
    std::copy_n(s.begin(), n, buffer);
    buffer[n] = 0;
}
