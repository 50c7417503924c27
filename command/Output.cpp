// The command's output writer; see the header.
#include "command/Output.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <unistd.h>

namespace output {

namespace {
constexpr size_t kChunk = 1 << 16;

struct Writer {
    std::string buffer;
    bool live = ::isatty(STDOUT_FILENO) != 0;
    bool broken = false;

    Writer()
    {
        std::atexit([] { output::flush(); });
    }

    void drain()
    {
        put(buffer);
        buffer.clear();
    }

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
};

// Never destroyed: the flush at exit runs after static destructors may have.
Writer& writer()
{
    static Writer* w = new Writer;
    return *w;
}
}

void write(std::string_view text)
{
    Writer& w = writer();
    if (text.size() >= kChunk) {
        // A large piece goes out as it is, after what waits before it.
        w.drain();
        w.put(text);
        return;
    }
    w.buffer.append(text);
    if (w.buffer.size() >= kChunk)
        w.drain();
}

void itemDone()
{
    if (writer().live)
        writer().drain();
}

void flush() { writer().drain(); }

void setLive(bool live) { writer().live = live || ::isatty(STDOUT_FILENO) != 0; }

namespace {
// Escaped bytes gather here and go to write() a piece at a time.
class Pieces {
public:
    ~Pieces() { drain(); }
    // Room for one more character, escaped, at the most.
    void room()
    {
        if (m_size > sizeof m_bytes - 16)
            drain();
    }
    void put(char c) { m_bytes[m_size++] = c; }
    void put(std::string_view s)
    {
        for (char c : s)
            m_bytes[m_size++] = c;
    }
    // ASCII characters, as bytes, draining whenever the buffer fills.
    void putNarrow(std::u16string_view s)
    {
        while (!s.empty()) {
            if (m_size == sizeof m_bytes)
                drain();
            size_t n = std::min(s.size(), sizeof m_bytes - m_size);
            for (size_t k = 0; k < n; ++k)
                m_bytes[m_size + k] = static_cast<char>(s[k]);
            m_size += n;
            s.remove_prefix(n);
        }
    }
    void drain()
    {
        write(std::string_view(m_bytes, m_size));
        m_size = 0;
    }

private:
    char m_bytes[8192];
    size_t m_size = 0;
};

// One ASCII character, escaped.
void putAscii(Pieces& out, char c, Escape escape)
{
    switch (escape) {
    case Escape::kNone: break;
    case Escape::kTable:
        if (c == '\n')
            return out.put("\\n");
        if (c == '\r')
            return out.put("\\r");
        if (c == '\t')
            return out.put("\\t");
        break;
    case Escape::kCsv:
        if (c == '"')
            return out.put("\"\"");
        break;
    case Escape::kJson:
        switch (c) {
        case '"': return out.put("\\\"");
        case '\\': return out.put("\\\\");
        case '\b': return out.put("\\b");
        case '\f': return out.put("\\f");
        case '\n': return out.put("\\n");
        case '\r': return out.put("\\r");
        case '\t': return out.put("\\t");
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                static const char hex[] = "0123456789abcdef";
                out.put("\\u00");
                out.put(hex[(c >> 4) & 0xF]);
                return out.put(hex[c & 0xF]);
            }
        }
        break;
    }
    out.put(c);
}

void putCodePoint(Pieces& out, char32_t cp)
{
    if (cp < 0x800) {
        out.put(static_cast<char>(0xC0 | (cp >> 6)));
    } else if (cp < 0x10000) {
        out.put(static_cast<char>(0xE0 | (cp >> 12)));
        out.put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    } else {
        out.put(static_cast<char>(0xF0 | (cp >> 18)));
        out.put(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    }
    out.put(static_cast<char>(0x80 | (cp & 0x3F)));
}

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

// The escape is a template argument so the test for a plain character is a
// few compares the compiler can fold into the copy loop.
template <Escape kEscape> void putWideAs(Pieces& out, std::u16string_view s)
{
    for (size_t i = 0; i < s.size(); ++i) {
        // Most text is plain ASCII: copy a run of it in one go.
        if (plain(s[i], kEscape)) {
            size_t end = i + 1;
            while (end < s.size() && plain(s[end], kEscape))
                ++end;
            out.putNarrow(s.substr(i, end - i));
            i = end - 1;
            continue;
        }
        out.room();
        char32_t cp = s[i];
        if (cp < 0x80) {
            putAscii(out, static_cast<char>(cp), kEscape);
            continue;
        }
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;  // a lone surrogate
        }
        putCodePoint(out, cp);
    }
}

void putWide(Pieces& out, std::u16string_view s, Escape escape)
{
    switch (escape) {
    case Escape::kNone: return putWideAs<Escape::kNone>(out, s);
    case Escape::kTable: return putWideAs<Escape::kTable>(out, s);
    case Escape::kCsv: return putWideAs<Escape::kCsv>(out, s);
    case Escape::kJson: return putWideAs<Escape::kJson>(out, s);
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

void text(std::u16string_view s, Escape escape)
{
    Pieces out;
    putWide(out, s, escape);
}

void text(std::string_view s, Escape escape)
{
    if (escape == Escape::kNone)
        return write(s);
    Pieces out;
    for (char c : s) {
        out.room();
        putAscii(out, c, escape);
    }
}

void jsonString(std::u16string_view s)
{
    Pieces out;
    out.put('"');
    putWide(out, s, Escape::kJson);
    out.room();
    out.put('"');
}

void jsonString(std::string_view s)
{
    // Handles, type names and most paths need no escape and no check.
    if (std::all_of(s.begin(), s.end(), [](char c) { return plain(static_cast<unsigned char>(c), Escape::kJson); })) {
        Writer& w = writer();
        if (w.buffer.size() + s.size() + 2 < kChunk) {
            w.buffer += '"';
            w.buffer.append(s);
            w.buffer += '"';
            return;
        }
    }
    if (!validUtf8(s)) {
        // Rare (a path given on the command line): the library's own replacement.
        write(nlohmann::json(std::string(s)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
        return;
    }
    write("\"");
    text(s, Escape::kJson);
    write("\"");
}

void jsonNumber(double value)
{
    if (!std::isfinite(value))
        return write("null");
    char buf[64];
    char* end = nlohmann::detail::to_chars(buf, buf + sizeof buf, value);
    write(std::string_view(buf, static_cast<size_t>(end - buf)));
}

void jsonNumber(long long value)
{
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    write(std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
}

}
