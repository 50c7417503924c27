// Reads an ASCII DXF file as tagged pairs: a group code line, then a value
// line. Streams through a fixed buffer, so memory does not grow with the
// file; a value is a view of that buffer, valid until the next call to next().
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace dxf {

// A malformed file: the message is "file: line N: what is wrong".
struct DxfError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Bytes of the file for a message: control bytes and bytes that are not
// UTF-8 shown as \xNN, so a quoted value never hides what it holds.
std::string visible(std::string_view bytes);

struct Group {
    int code = -1;
    std::string_view value;
    size_t line = 0;  // line of the code
};

class GroupReader {
public:
    // Throws DxfError when the file cannot be opened.
    explicit GroupReader(const std::string& path);
    ~GroupReader();
    GroupReader(const GroupReader&) = delete;
    GroupReader& operator=(const GroupReader&) = delete;

    // False at the end of the file or at a DOS end-of-file byte (0x1A) where a
    // code should be; throws DxfError on a malformed pair.
    bool next(Group& group);
    // Values read from now on stay in the buffer until the next pin (not
    // only until the next call), so a record can hold views of its groups.
    // A refill may move them: moves() counts that, pinned() is where the
    // first of them stands now.
    void pin() { m_pin = m_begin; }
    const char* pinned() const { return m_buffer.data() + m_pin; }
    unsigned moves() const { return m_moves; }
    [[noreturn]] void fail(size_t line, const std::string& what) const;
    const std::string& path() const { return m_path; }
    // The file's size in bytes; 0 when it cannot be had.
    size_t fileSize() const { return m_size; }

private:
    bool readLine(std::string_view& line);
    bool nextSlow(Group& group);
    size_t nextBreak();
    std::string m_path;
    std::FILE* m_file = nullptr;
    std::vector<char> m_buffer;
    static constexpr size_t kUnpinned = static_cast<size_t>(-1);
    size_t m_begin = 0, m_end = 0;
    size_t m_pin = kUnpinned;
    // The line breaks not yet read of the 64-byte block at m_block; the
    // general path and a refill leave them to be found again.
    static constexpr size_t kNoBreak = static_cast<size_t>(-1);
    size_t m_block = 0;
    std::uint64_t m_breaks = 0;
    bool m_synced = false;
    unsigned m_moves = 0;
    size_t m_line = 0;
    bool m_eof = false;
    size_t m_size = 0, m_read = 0;  // for progress
};

}
