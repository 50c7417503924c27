// One DXF record: the groups from a 0 group up to the next, with typed
// getters whose errors give the file and line. Groups inside 102 {...}
// brackets (reactors, extension dictionaries) and those of an embedded object
// (after 101) are left out; extended data (codes 1000 and up) is kept.
#pragma once

#include "host/AcString.h"
#include "replacement_host/dxf/GroupReader.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dxf {

struct Record {
    struct Item {
        int code = 0;
        std::string_view value;  // into the reader's data
        size_t line = 0;
    };

    std::string type;
    size_t line = 0;
    std::vector<Item> items;  // reused: only the first `size` hold this record
    size_t size = 0;
    const GroupReader* reader = nullptr;
    bool utf8Text = true;     // R2007 and later; older files use a code page
    std::string xdictionary;  // the 360 of a {ACAD_XDICTIONARY bracket, or empty

    Record() = default;
    // The values are views of the reader's buffer, valid while it is pinned
    // at the record: a copy would outlive them.
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;

    // Starts the next record, whose values stand from base on; its groups
    // follow through add().
    void clear(const char* base = nullptr);
    void add(int code, std::string_view value, size_t atLine)
    {
        if (size == items.size())
            grow();
        items[size] = {code, value, atLine};
        if (code >= 0 && code < kIndexed) {
            // The first of a code is kept, without a branch: a code that
            // comes again (a vertex's) does so in no pattern.
            std::uint64_t& entry = m_first[static_cast<size_t>(code)];
            const std::uint64_t fresh = std::uint64_t{m_current} << 32 | static_cast<std::uint32_t>(size);
            entry = (entry >> 32) == m_current ? entry : fresh;
        }
        ++size;
    }
    // The reader moved the values: they stand from base on now.
    void rebase(const char* base);
    const Item* find(int code) const;
    bool has(int code) const { return find(code) != nullptr; }
    std::string_view text(int code, std::string_view fallback = {}) const;
    double number(int code, double fallback) const;
    long long integer(int code, long long fallback) const;
    // Text of a string group, decoded to UTF-16 (\U+XXXX escapes included).
    AcString wide(int code) const { return decode(text(code)); }
    AcString decode(std::string_view bytes) const;
    double toNumber(const Item& item) const;
    [[noreturn]] void fail(size_t atLine, const std::string& what) const { reader->fail(atLine, what); }

private:
    void grow();
    [[gnu::noinline]] double generalNumber(const Item& item) const;
    const char* m_base = nullptr;  // where the values stand
    static constexpr int kIndexed = 1072;
    // The first group of each code, found without a scan: the record's
    // number (high half) and the group's index, valid when the number is
    // this record's; made with the first group (a decoder-only record has
    // none).
    std::vector<std::uint64_t> m_first;
    std::uint32_t m_current = 1;
};

}
