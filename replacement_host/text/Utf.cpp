// UTF-8 and UTF-16 conversions; see the header. The host, its drawing files
// and the stand-in spreadsheet application all convert through here, so a
// text reads the same wherever it comes from.
#include "replacement_host/text/Utf.h"

#include <cstdint>
#include <cstring>

namespace utf {

// A byte that does not start a well-formed sequence (overlong forms,
// surrogates and values past U+10FFFF included) gives one U+FFFD and decoding
// goes on at the next byte.
std::u16string toUtf16(std::string_view bytes)
{
    // No sequence gives more units than it has bytes: the text is written
    // into room for as many, cut to what was written.
    std::u16string out(bytes.size(), u'\0');
    char16_t* to = out.data();
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        // Runs of ASCII, most of any drawing's text, eight bytes at a time.
        for (std::uint64_t eight = 0; i + 8 <= n; i += 8, to += 8) {
            std::memcpy(&eight, bytes.data() + i, 8);
            if (eight & 0x8080808080808080u)
                break;
            for (size_t k = 0; k < 8; ++k)
                to[k] = static_cast<char16_t>(bytes[i + k]);
        }
        if (i == n)
            break;
        auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            *to++ = static_cast<char16_t>(b);
            ++i;
            continue;
        }
        char32_t cp;
        size_t len;
        if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            len = 2;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            len = 3;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            len = 4;
        } else {
            *to++ = u'\uFFFD';
            ++i;
            continue;
        }
        bool ok = i + len <= n;
        for (size_t k = 1; ok && k < len; ++k) {
            auto c = static_cast<unsigned char>(bytes[i + k]);
            ok = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        static const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (!ok || cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            *to++ = u'\uFFFD';
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            *to++ = static_cast<char16_t>(0xD800 + (cp >> 10));
            *to++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            *to++ = static_cast<char16_t>(cp);
        }
        i += len;
    }
    out.resize(static_cast<size_t>(to - out.data()));
    return out;
}

std::string toUtf8(std::u16string_view s)
{
    // Sized first: a long text is not grown by doubling.
    size_t bytes = 0;
    for (char16_t c : s)
        bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : (c >= 0xD800 && c <= 0xDBFF) ? 1 : 3;
    std::string out;
    out.reserve(bytes + 3);
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;  // a lone surrogate
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

}
