// Tagged pair reading; see the header.
#include "replacement_host/dxf/GroupReader.h"

#include "replacement_host/fields/FieldProgress.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dxf {

namespace {
constexpr size_t kChunk = 1 << 18;
// Bytes past the data that are never filled: a scan may read 64 at a time
// without running off the data, and ignores what it finds there.
constexpr size_t kSlack = 64;

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}
}

GroupReader::GroupReader(const std::string& path) : m_path(path)
{
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        throw DxfError(path + ": cannot open: " + std::strerror(errno));
    // Read, not mapped: a file another program shortens while it is read
    // must end in a message, not in a fault on the mapped pages. A buffer
    // used again and again measured as fast as a mapping.
    struct stat st {};
    if (::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        m_size = static_cast<size_t>(st.st_size);
    m_buffer.resize(kChunk + kSlack);
}

GroupReader::~GroupReader() { ::close(m_fd); }

void GroupReader::fail(size_t line, const std::string& what) const
{
    throw DxfError(m_path + ": line " + std::to_string(line) + ": " + what);
}

std::string_view GroupReader::head(size_t n)
{
    while (m_end < n && !m_eof)
        refill();
    return {m_buffer.data(), std::min(n, m_end)};
}

// More data after m_end: the buffer takes the next chunk behind what it keeps.
void GroupReader::refill()
{
    // Keep the partial line (and what is pinned), grow when they fill
    // the buffer.
    size_t from = m_pin == kUnpinned ? m_begin : m_pin;
    size_t keep = m_end - from;
    const char* before = m_buffer.data();
    std::memmove(m_buffer.data(), m_buffer.data() + from, keep);
    m_begin -= from;
    m_end = keep;
    if (m_pin != kUnpinned)
        m_pin = 0;
    if (m_buffer.size() - kSlack - m_end < kChunk / 2)
        m_buffer.resize(m_buffer.size() * 2);
    if (m_pin != kUnpinned && (from != 0 || m_buffer.data() != before))
        ++m_moves;
    ssize_t n = 0;
    do
        n = ::read(m_fd, m_buffer.data() + m_end, m_buffer.size() - kSlack - m_end);
    while (n < 0 && errno == EINTR);
    if (n < 0)
        fail(m_line + 1, std::string("cannot read: ") + std::strerror(errno));
    if (n == 0)
        m_eof = true;
    m_end += static_cast<size_t>(n);
    m_read += static_cast<size_t>(n);
    readprogress::report(m_read, m_size);
}

bool GroupReader::readLine(std::string_view& line)
{
    for (;;) {
        if (const void* nl = std::memchr(m_buffer.data() + m_begin, '\n', m_end - m_begin)) {
            size_t at = static_cast<size_t>(static_cast<const char*>(nl) - m_buffer.data());
            line = std::string_view(m_buffer.data() + m_begin, at - m_begin);
            m_begin = at + 1;
            ++m_line;
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            return true;
        }
        if (m_eof) {
            if (m_begin == m_end)
                return false;
            // A last line without a line break.
            line = std::string_view(m_buffer.data() + m_begin, m_end - m_begin);
            m_begin = m_end;
            ++m_line;
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            return true;
        }
        refill();
    }
}

// The breaks of the block from m_begin on.
void GroupReader::sync()
{
    m_block = m_begin & ~size_t{63};
    m_breaks = lineBreaksIn64(m_buffer.data() + m_block) & (~std::uint64_t{0} << (m_begin & 63));
    m_synced = true;
}

bool GroupReader::nextSlow(Group& group)
{
    m_synced = false;
    std::string_view codeLine;
    if (!readLine(codeLine))
        return false;
    size_t line = m_line;
    if (trim(codeLine).empty()) {
        // Blank lines may end a file; anywhere else a code is missing.
        std::string_view rest;
        while (readLine(rest) && !rest.starts_with('\x1a'))
            if (!trim(rest).empty())
                fail(line, "a group code was expected, found an empty line");
        return false;
    }
    if (codeLine.starts_with('\x1a'))
        return false;
    std::string_view code = trim(codeLine);
    int value = 0;
    auto [end, ec] = std::from_chars(code.data(), code.data() + code.size(), value);
    if (code.empty() || ec != std::errc() || end != code.data() + code.size() || value < 0)
        fail(line, "a group code (a whole number) was expected, found \"" + visible(code.substr(0, 40)) + "\"");
    std::string_view valueLine;
    if (!readLine(valueLine))
        fail(line, "group code " + std::to_string(value) + " has no value line: the file is cut short");
    group.code = value;
    group.value = valueLine;
    group.line = line;
    return true;
}

std::string visible(std::string_view bytes)
{
    std::string out;
    for (size_t i = 0; i < bytes.size();) {
        auto c = static_cast<unsigned char>(bytes[i]);
        // A whole UTF-8 sequence stays as it is.
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool whole = n > 0 && i + n <= bytes.size();
        for (size_t k = 1; whole && k < n; ++k)
            whole = (static_cast<unsigned char>(bytes[i + k]) & 0xC0) == 0x80;
        if (whole && (c >= 0x20 && c != 0x7f)) {
            out.append(bytes.substr(i, n));
            i += n;
            continue;
        }
        static constexpr char kHex[] = "0123456789abcdef";
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 15];
        ++i;
    }
    return out;
}

}
