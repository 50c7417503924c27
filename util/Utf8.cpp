// UTF-8 decoding; see the header. A byte that does not start a well-formed
// sequence (overlong forms, surrogates and values past U+10FFFF included)
// gives one U+FFFD and decoding goes on at the next byte.
#include "util/Utf8.h"

namespace utf8 {

std::u16string decode(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    decodeAppend(bytes, out);
    return out;
}

size_t completePrefix(std::string_view bytes)
{
    // A sequence is at most 4 bytes; an invalid one decodes the same whether
    // the input ends or a byte that is no continuation byte follows.
    for (size_t back = 1; back <= 4 && back <= bytes.size(); ++back)
        if ((static_cast<unsigned char>(bytes[bytes.size() - back]) & 0xC0) != 0x80)
            return bytes.size() - back;
    return bytes.size();
}

void decodeAppend(std::string_view bytes, std::u16string& out)
{
    size_t i = 0;
    while (i < bytes.size()) {
        auto b = static_cast<unsigned char>(bytes[i]);
        char32_t cp;
        size_t len;
        if (b < 0x80) {
            cp = b;
            len = 1;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            len = 2;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            len = 3;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            len = 4;
        } else {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        bool ok = i + len <= bytes.size();
        for (size_t k = 1; ok && k < len; ++k) {
            auto c = static_cast<unsigned char>(bytes[i + k]);
            ok = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        static const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (!ok || cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += len;
    }
}

}
