// Tagged pair reading; see the header.
#include "replacement_host/dxf/GroupReader.h"

#include "replacement_host/fields/FieldProgress.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dxf {

namespace {
constexpr size_t kChunk = 1 << 18;
// Bytes past the data that are never filled: a scan may read 64 at a time
// without running off the buffer, and ignores what it finds there.
constexpr size_t kSlack = 64;

// The line breaks among the 64 bytes at p, one bit each, lowest first.
std::uint64_t lineBreaksIn64(const char* p)
{
#if defined(__SSE2__)
    const __m128i nl = _mm_set1_epi8('\n');
    std::uint64_t bits = 0;
    for (int k = 0; k < 4; ++k) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        bits |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, nl))))
            << (16 * k);
    }
    return bits;
#else
    std::uint64_t bits = 0;
    for (unsigned i = 0; i < 64; ++i)
        bits |= static_cast<std::uint64_t>(p[i] == '\n') << i;
    return bits;
#endif
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}
}

GroupReader::GroupReader(const std::string& path) : m_path(path), m_buffer(kChunk + kSlack)
{
    m_file = std::fopen(path.c_str(), "rb");
    if (!m_file)
        throw DxfError(path + ": cannot open: " + std::strerror(errno));
    // Read in whole chunks of its own buffer: no second buffer inside stdio.
    std::setvbuf(m_file, nullptr, _IONBF, 0);
    if (std::fseek(m_file, 0, SEEK_END) == 0) {
        long size = std::ftell(m_file);
        m_size = size > 0 ? static_cast<size_t>(size) : 0;
        std::rewind(m_file);
    }
}

GroupReader::~GroupReader()
{
    if (m_file)
        std::fclose(m_file);
}

void GroupReader::fail(size_t line, const std::string& what) const
{
    throw DxfError(m_path + ": line " + std::to_string(line) + ": " + what);
}

bool GroupReader::readLine(std::string_view& line)
{
    for (;;) {
        if (const void* nl = std::memchr(m_buffer.data() + m_begin, '\n', m_end - m_begin)) {
            size_t at = static_cast<const char*>(nl) - m_buffer.data();
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
        size_t n = std::fread(m_buffer.data() + m_end, 1, m_buffer.size() - kSlack - m_end, m_file);
        if (n == 0) {
            if (std::ferror(m_file))
                fail(m_line + 1, std::string("cannot read: ") + std::strerror(errno));
            m_eof = true;
        }
        m_end += n;
        m_read += n;
        readprogress::report(m_read, m_size);
    }
}

// The next line break within the data, or kNoBreak; the breaks of one
// 64-byte block are found at once.
inline size_t GroupReader::nextBreak()
{
    while (m_breaks == 0) {
        m_block += 64;
        if (m_block >= m_end)
            return kNoBreak;
        m_breaks = lineBreaksIn64(m_buffer.data() + m_block);
    }
    size_t at = m_block + static_cast<size_t>(std::countr_zero(m_breaks));
    m_breaks &= m_breaks - 1;
    return at < m_end ? at : kNoBreak;
}

bool GroupReader::next(Group& group)
{
    // Most pairs are a short code of digits (maybe right-aligned) and a
    // value, both already in the buffer. Anything else, errors included,
    // takes the general path.
    if (!m_synced) {
        // The breaks of the block from m_begin on.
        m_block = m_begin & ~size_t{63};
        m_breaks = lineBreaksIn64(m_buffer.data() + m_block) & (~std::uint64_t{0} << (m_begin & 63));
        m_synced = true;
    }
    size_t codeBreak = nextBreak();
    if (codeBreak == kNoBreak || codeBreak == m_begin || codeBreak - m_begin > 8)
        return nextSlow(group);
    const char* p = m_buffer.data() + m_begin;
    const char* codeEnd = m_buffer.data() + codeBreak;
    codeEnd -= codeEnd[-1] == '\r';
    while (p < codeEnd && *p == ' ')
        ++p;
    if (p == codeEnd)
        return nextSlow(group);
    int code = 0;
    for (; p < codeEnd; ++p) {
        auto digit = static_cast<unsigned>(*p - '0');
        if (digit > 9)
            return nextSlow(group);
        code = code * 10 + static_cast<int>(digit);
    }
    size_t valueBreak = nextBreak();
    if (valueBreak == kNoBreak)
        return nextSlow(group);
    const char* value = m_buffer.data() + codeBreak + 1;
    const char* stop = m_buffer.data() + valueBreak;
    m_begin = valueBreak + 1;
    group.code = code;
    group.line = ++m_line;
    ++m_line;
    if (stop > value && stop[-1] == '\r')
        --stop;
    group.value = std::string_view(value, static_cast<size_t>(stop - value));
    return true;
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
