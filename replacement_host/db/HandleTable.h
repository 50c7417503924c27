// A drawing's table from handle to the object's place in its list. Drawings
// number their objects mostly in one dense run, so handles index pages of
// 1024 places directly (4 bytes a handle, no probing); handles too sparse for
// pages, or beyond them, go to a hash map. Its interface is the class below,
// used by AcDbDatabase.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace hostdb {

class HandleTable {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    // The place of a handle, or kNone.
    std::uint32_t find(std::uint64_t handle) const
    {
        std::uint64_t page = handle >> kPageBits;
        if (page < m_pages.size() && m_pages[page]) {
            std::uint32_t held = m_pages[page][handle & (kPageSize - 1)];
            if (held != 0 || m_rest.empty())
                return held - 1;  // 0 (none) wraps to kNone
        }
        return findRest(handle);
    }
    // Holds a handle (not 0, not held yet) at a place.
    void insert(std::uint64_t handle, std::uint32_t place);
    void erase(std::uint64_t handle);

private:
    static constexpr unsigned kPageBits = 10;
    static constexpr std::uint64_t kPageSize = std::uint64_t{1} << kPageBits;
    std::uint32_t findRest(std::uint64_t handle) const;
    bool pageFor(std::uint64_t page);

    // Place + 1 of each handle of a page; 0 where none.
    std::vector<std::unique_ptr<std::uint32_t[]>> m_pages;
    std::size_t m_pagesMade = 0;
    std::size_t m_count = 0;  // handles held, pages and map
    std::unordered_map<std::uint64_t, std::uint32_t> m_rest;
};

}
