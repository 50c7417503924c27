// The command's output writer; see the header.
#include "command/Output.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace output {

namespace {
constexpr size_t kChunk = 1 << 16;

// Plain bytes without a destructor: the flush at exit may run after static
// destructors have.
char bytes[kChunk];
bool live = ::isatty(STDOUT_FILENO) != 0;
bool broken = false;
[[maybe_unused]] const bool flushesAtExit = std::atexit([] { output::flush(); }) == 0;

void put(std::string_view text)
{
    size_t at = 0;
    while (at < text.size() && !broken) {
        ssize_t n = ::write(STDOUT_FILENO, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            broken = true;  // a closed pipe: the rest has no reader
        else
            at += static_cast<size_t>(n);
    }
}

void drain()
{
    put(std::string_view(bytes, static_cast<size_t>(detail::pending.at - bytes)));
    detail::pending.at = bytes;
}

// Room for n bytes (n at most kChunk) at the end of what waits.
char* room(size_t n)
{
    if (n > static_cast<size_t>(detail::pending.end - detail::pending.at))
        drain();
    return detail::pending.at;
}
}

namespace detail {
Pending pending{bytes, bytes + kChunk};

void writeSlow(std::string_view text)
{
    drain();
    if (text.size() >= kChunk)
        put(text);  // a large piece goes out as it is
    else
        write(text);
}
}

void itemDone()
{
    if (live)
        drain();
}

void flush() { drain(); }

void setLive(bool on) { live = on || ::isatty(STDOUT_FILENO) != 0; }

namespace {
// The most bytes one UTF-16 unit becomes under any escape ("\u001f").
constexpr size_t kMostPerUnit = 6;
// Units converted per step: their bytes always fit in the buffer.
constexpr size_t kStep = 4096;
static_assert((kStep + 1) * kMostPerUnit + 2 < kChunk);

// Whether an ASCII character goes out as it is under an escape.
constexpr bool plain(char32_t c, Escape escape)
{
    switch (escape) {
    case Escape::kNone: return c < 0x80;
    case Escape::kTable: return c < 0x80 && c != '\n' && c != '\r' && c != '\t';
    case Escape::kCsv: return c < 0x80 && c != '"';
    case Escape::kJson: return c >= 0x20 && c < 0x80 && c != '"' && c != '\\';
    }
    return false;
}

char* put2(char* p, char a, char b)
{
    p[0] = a;
    p[1] = b;
    return p + 2;
}

// One ASCII character that is not plain, escaped.
template <Escape kEscape> char* putAscii(char* p, char c)
{
    if constexpr (kEscape == Escape::kTable) {
        if (c == '\n')
            return put2(p, '\\', 'n');
        if (c == '\r')
            return put2(p, '\\', 'r');
        if (c == '\t')
            return put2(p, '\\', 't');
    } else if constexpr (kEscape == Escape::kCsv) {
        if (c == '"')
            return put2(p, '"', '"');
    } else if constexpr (kEscape == Escape::kJson) {
        switch (c) {
        case '"': return put2(p, '\\', '"');
        case '\\': return put2(p, '\\', '\\');
        case '\b': return put2(p, '\\', 'b');
        case '\f': return put2(p, '\\', 'f');
        case '\n': return put2(p, '\\', 'n');
        case '\r': return put2(p, '\\', 'r');
        case '\t': return put2(p, '\\', 't');
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                static const char hex[] = "0123456789abcdef";
                p = put2(p, '\\', 'u');
                p = put2(p, '0', '0');
                return put2(p, hex[(c >> 4) & 0xF], hex[c & 0xF]);
            }
        }
    }
    *p = c;
    return p + 1;
}

char* putCodePoint(char* p, char32_t cp)
{
    if (cp < 0x800) {
        *p++ = static_cast<char>(0xC0 | (cp >> 6));
    } else if (cp < 0x10000) {
        *p++ = static_cast<char>(0xE0 | (cp >> 12));
        *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    } else {
        *p++ = static_cast<char>(0xF0 | (cp >> 18));
        *p++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    }
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
    return p;
}

bool highSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool lowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

#if defined(__SSE2__)
// A mask with bits set for the units of v that are not plain.
template <Escape kEscape> int notPlain(__m128i v)
{
    // Signed compares: units from 0x8000 are negative.
    __m128i bad = _mm_or_si128(_mm_cmplt_epi16(v, _mm_setzero_si128()), _mm_cmpgt_epi16(v, _mm_set1_epi16(0x7F)));
    auto is = [&](char c) { bad = _mm_or_si128(bad, _mm_cmpeq_epi16(v, _mm_set1_epi16(c))); };
    if constexpr (kEscape == Escape::kTable) {
        is('\n');
        is('\r');
        is('\t');
    } else if constexpr (kEscape == Escape::kCsv) {
        is('"');
    } else if constexpr (kEscape == Escape::kJson) {
        bad = _mm_or_si128(bad, _mm_cmplt_epi16(v, _mm_set1_epi16(0x20)));
        is('"');
        is('\\');
    }
    return _mm_movemask_epi8(bad);
}
#endif

// Plain units from s[i] on, copied eight at a time while there are eight
// left; gives where the copy stopped. p must have room for eight bytes per
// eight units left.
template <Escape kEscape> size_t copyPlain(char*& p, std::u16string_view s, size_t i)
{
#if defined(__SSE2__)
    while (i + 8 <= s.size()) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
        int bad = notPlain<kEscape>(v);
        // All eight bytes are stored; p moves past the plain ones only.
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(v, v));
        if (bad != 0) {
            size_t plainUnits = static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(bad))) / 2;
            p += plainUnits;
            return i + plainUnits;
        }
        p += 8;
        i += 8;
    }
#else
    (void)p;
    (void)s;
#endif
    return i;
}

// Units of s converted and escaped to p.
template <Escape kEscape> char* convert(char* p, std::u16string_view s)
{
    for (size_t i = 0; i < s.size(); ++i) {
        i = copyPlain<kEscape>(p, s, i);
        if (i == s.size())
            break;
        char32_t cp = s[i];
        if (plain(cp, kEscape)) {
            *p++ = static_cast<char>(cp);
            continue;
        }
        if (cp < 0x80) {
            p = putAscii<kEscape>(p, static_cast<char>(cp));
            continue;
        }
        if (highSurrogate(s[i]) && i + 1 < s.size() && lowSurrogate(s[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;  // a lone surrogate
        }
        p = putCodePoint(p, cp);
    }
    return p;
}

// The text converted in steps straight into the buffer, with `quote`
// before and after when it is not zero.
template <Escape kEscape> void putWideAs(std::u16string_view s, char quote = 0)
{
    char* p = room((std::min(s.size(), kStep) + 1) * kMostPerUnit + 2);
    if (quote)
        *p++ = quote;
    while (s.size() > kStep) {
        // A step may end one unit late, so as not to part a pair.
        size_t n = kStep + (highSurrogate(s[kStep - 1]) && lowSurrogate(s[kStep]) ? 1 : 0);
        p = convert<kEscape>(p, s.substr(0, n));
        s.remove_prefix(n);
        detail::pending.at = p;
        p = room((std::min(s.size(), kStep) + 1) * kMostPerUnit + 2);
    }
    p = convert<kEscape>(p, s);
    if (quote)
        *p++ = quote;
    detail::pending.at = p;
}

void putWide(std::u16string_view s, Escape escape)
{
    switch (escape) {
    case Escape::kNone: return putWideAs<Escape::kNone>(s);
    case Escape::kTable: return putWideAs<Escape::kTable>(s);
    case Escape::kCsv: return putWideAs<Escape::kCsv>(s);
    case Escape::kJson: return putWideAs<Escape::kJson>(s);
    }
}

// Whether a byte of UTF-8 text is escaped: only ASCII ones ever are.
constexpr bool escaped(unsigned char c, Escape escape) { return c < 0x80 && !plain(c, escape); }

// UTF-8 text escaped: runs that need no escape are copied whole.
template <Escape kEscape> void putNarrowAs(std::string_view s)
{
    while (!s.empty()) {
        size_t run = 0;
        while (run < s.size() && !escaped(static_cast<unsigned char>(s[run]), kEscape))
            ++run;
        write(s.substr(0, run));
        if (run == s.size())
            return;
        char* p = room(kMostPerUnit);
        detail::pending.at = putAscii<kEscape>(p, s[run]);
        s.remove_prefix(run + 1);
    }
}

bool validUtf8(std::string_view s)
{
    for (size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        size_t len = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
        if (len == 0 || i + len > s.size())
            return false;
        char32_t cp = b & (0x7F >> len);
        for (size_t k = 1; k < len; ++k) {
            auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        static const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}
}

void text(std::u16string_view s, Escape escape) { putWide(s, escape); }

void text(std::string_view s, Escape escape)
{
    switch (escape) {
    case Escape::kNone: return write(s);
    case Escape::kTable: return putNarrowAs<Escape::kTable>(s);
    case Escape::kCsv: return putNarrowAs<Escape::kCsv>(s);
    case Escape::kJson: return putNarrowAs<Escape::kJson>(s);
    }
}

void jsonString(std::u16string_view s) { putWideAs<Escape::kJson>(s, '"'); }

std::string jsonEscaped(std::u16string_view s)
{
    // Room for the most each unit becomes, and for a last store of eight.
    std::string out(s.size() * kMostPerUnit + 8, '\0');
    out.resize(static_cast<size_t>(convert<Escape::kJson>(out.data(), s) - out.data()));
    return out;
}

void jsonString(std::string_view s)
{
    // Handles, type names and most paths need no escape and no check.
    if (s.size() + 2 < kChunk &&
        std::all_of(s.begin(), s.end(), [](char c) { return plain(static_cast<unsigned char>(c), Escape::kJson); })) {
        char* p = room(s.size() + 2);
        *p++ = '"';
        p = std::copy(s.begin(), s.end(), p);
        *p++ = '"';
        detail::pending.at = p;
        return;
    }
    if (!validUtf8(s)) {
        // Rare (a path given on the command line): the library's own replacement.
        write(nlohmann::json(std::string(s)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
        return;
    }
    write("\"");
    putNarrowAs<Escape::kJson>(s);
    write("\"");
}

void jsonNumber(double value)
{
    if (!std::isfinite(value))
        return write("null");
    char* p = room(64);
    detail::pending.at = nlohmann::detail::to_chars(p, p + 64, value);
}

void jsonNumber(long long value)
{
    char* p = room(24);
    detail::pending.at = std::to_chars(p, p + 24, value).ptr;
}

}
