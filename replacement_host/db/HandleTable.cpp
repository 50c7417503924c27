// The handle table; see the header.
#include "replacement_host/db/HandleTable.h"

namespace hostdb {

std::uint32_t HandleTable::findRest(std::uint64_t handle) const
{
    if (m_rest.empty())
        return kNone;
    auto it = m_rest.find(handle);
    return it == m_rest.end() ? kNone : it->second;
}

// Whether the page exists or may be made: pages stay at least an eighth
// full on average and the page list within 8 bytes a handle, so scattered
// handles cost no more than in the map.
bool HandleTable::pageFor(std::uint64_t page)
{
    if (page < m_pages.size() && m_pages[page])
        return true;
    std::size_t allowed = m_count + 1024;
    if (page >= allowed || (m_pagesMade + 1) * kPageSize > 8 * allowed)
        return false;
    if (page >= m_pages.size())
        m_pages.resize(static_cast<std::size_t>(page) + 1);
    m_pages[page] = std::make_unique<std::uint32_t[]>(kPageSize);
    ++m_pagesMade;
    return true;
}

void HandleTable::insert(std::uint64_t handle, std::uint32_t place)
{
    std::uint64_t page = handle >> kPageBits;
    if (pageFor(page))
        m_pages[page][handle & (kPageSize - 1)] = place + 1;
    else
        m_rest[handle] = place;
    ++m_count;
}

void HandleTable::erase(std::uint64_t handle)
{
    std::uint64_t page = handle >> kPageBits;
    if (page < m_pages.size() && m_pages[page]) {
        std::uint32_t& held = m_pages[page][handle & (kPageSize - 1)];
        if (held != 0) {
            held = 0;
            --m_count;
            return;
        }
    }
    m_count -= m_rest.erase(handle);
}

}
