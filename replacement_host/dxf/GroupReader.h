// Reads an ASCII DXF file as tagged pairs: a group code line, then a value
// line. A file, a pipe or a special file streams through a buffer that
// holds what is pinned, so memory does not grow with the file; a value is a
// view of the data, valid until the next group is read.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

    // The first n bytes of the file, or all it has, left to be read: asked
    // before the first group.
    std::string_view head(size_t n);
    // False at the end of the file or at a DOS end-of-file byte (0x1A) where a
    // code should be; throws DxfError on a malformed pair.
    bool next(Group& group);
    // Hands every group that follows to take(code, value, line) until it
    // returns false (then true) or the file ends as next() says (then
    // false). Values stay as long as the pin allows; when a refill has moved
    // them, moved(pinned()) is called before the next group is handed on.
    template <class Take, class Moved> bool scan(Take&& take, Moved&& moved);
    // Values read from now on stay in the data until the next pin (not
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
    // The first bytes of a value of at most 8 (the first lowest), zeros for
    // the rest: the data goes on for at least 8 bytes past any value.
    static std::uint64_t firstBytes(std::string_view value)
    {
        if (value.empty())
            return 0;
        std::uint64_t w;
        std::memcpy(&w, value.data(), 8);
        return w & (~std::uint64_t{0} >> (64 - 8 * value.size()));
    }

private:
    // The line breaks among the 64 bytes at p, one bit each, lowest first.
    static std::uint64_t lineBreaksIn64(const char* p);
    // The group code of a line of at most 8 bytes (its break at end): digits,
    // maybe right-aligned with spaces. False for anything else.
    static bool shortCode(const char* p, const char* end, int& code);
    bool readLine(std::string_view& line);
    void refill();
    bool nextSlow(Group& group);
    void sync();

    std::string m_path;
    int m_fd = -1;
    std::vector<char> m_buffer;
    static constexpr size_t kUnpinned = static_cast<size_t>(-1);
    size_t m_begin = 0, m_end = 0;
    size_t m_pin = kUnpinned;
    // The line breaks not yet read of the 64-byte block at m_block; the
    // general path and a refill leave them to be found again.
    size_t m_block = 0;
    std::uint64_t m_breaks = 0;
    bool m_synced = false;
    unsigned m_moves = 0;
    size_t m_line = 0;
    bool m_eof = false;
    size_t m_size = 0, m_read = 0;  // for progress
};

inline std::uint64_t GroupReader::lineBreaksIn64(const char* p)
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

inline bool GroupReader::shortCode(const char* p, const char* end, int& code)
{
    size_t n = static_cast<size_t>(end - p);
    if (n - 1 > 7)
        return false;
    n -= end[-1] == '\r';
    if (n == 0)
        return false;
    const char* stop = p + n;
    while (p < stop && *p == ' ')
        ++p;
    if (p == stop)
        return false;
    int v = 0;
    for (; p < stop; ++p) {
        auto digit = static_cast<unsigned>(*p - '0');
        if (digit > 9)
            return false;
        v = v * 10 + static_cast<int>(digit);
    }
    code = v;
    return true;
}

template <class Take, class Moved> bool GroupReader::scan(Take&& take, Moved&& moved)
{
    for (;;) {
        // Most pairs are a short code and a value, both in the data; the
        // state stays in registers while they last. Anything else, errors
        // and the end of the data included, takes the general path.
        if (!m_synced)
            sync();
        const char* const data = m_buffer.data();
        const size_t end = m_end;
        size_t begin = m_begin, block = m_block, line = m_line;
        std::uint64_t breaks = m_breaks;
        auto nextBreak = [&](size_t& at) {
            while (breaks == 0) {
                block += 64;
                if (block >= end)
                    return false;
                breaks = lineBreaksIn64(data + block);
            }
            at = block + static_cast<size_t>(std::countr_zero(breaks));
            breaks &= breaks - 1;
            return at < end;
        };
        for (;;) {
            size_t codeBreak = 0, valueBreak = 0;
            int code = 0;
            if (!nextBreak(codeBreak) || !shortCode(data + begin, data + codeBreak, code) || !nextBreak(valueBreak))
                break;
            const char* value = data + codeBreak + 1;
            const char* stop = data + valueBreak;
            stop -= stop > value && stop[-1] == '\r';
            begin = valueBreak + 1;
            line += 2;
            if (!take(code, std::string_view(value, static_cast<size_t>(stop - value)), line - 1)) {
                m_begin = begin;
                m_block = block;
                m_breaks = breaks;
                m_line = line;
                return true;
            }
        }
        m_begin = begin;
        m_line = line;
        unsigned moves = m_moves;
        Group g;
        if (!nextSlow(g))
            return false;
        if (m_moves != moves)
            moved(pinned());
        if (!take(g.code, g.value, g.line))
            return true;
    }
}

inline bool GroupReader::next(Group& group)
{
    return scan(
        [&group](int code, std::string_view value, size_t line) {
            group = {code, value, line};
            return false;
        },
        [](const char*) {});
}

}
