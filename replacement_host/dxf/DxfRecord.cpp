// DXF record getters; see the header.
#include "replacement_host/dxf/DxfRecord.h"

#include "replacement_host/text/Utf.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace dxf {

namespace {
std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool validUtf8(std::string_view s)
{
    for (size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

int hexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}
}

void Record::clear(const char* base)
{
    size = 0;
    m_base = base;
    if (++m_current == 0) {
        // After four billion records the numbers start over.
        m_first.assign(m_first.size(), 0u);
        m_current = 1;
    }
}

void Record::grow()
{
    items.emplace_back();
    if (m_first.empty())
        m_first.assign(kIndexed, 0);
}

void Record::rebase(const char* base)
{
    // The old place is compared as a number: the buffer there is gone.
    auto old = reinterpret_cast<std::uintptr_t>(m_base);
    for (size_t i = 0; i < size; ++i) {
        size_t offset = reinterpret_cast<std::uintptr_t>(items[i].value.data()) - old;
        items[i].value = std::string_view(base + offset, items[i].value.size());
    }
    m_base = base;
}

const Record::Item* Record::find(int code) const
{
    if (code >= 0 && code < kIndexed) {
        if (m_first.empty())
            return nullptr;
        const std::uint64_t entry = m_first[static_cast<size_t>(code)];
        return (entry >> 32) == m_current ? &items[static_cast<std::uint32_t>(entry)] : nullptr;
    }
    for (size_t i = 0; i < size; ++i)
        if (items[i].code == code)
            return &items[i];
    return nullptr;
}

std::string_view Record::text(int code, std::string_view fallback) const
{
    const Item* item = find(code);
    return item ? item->value : fallback;
}

namespace {
// A plain decimal of at most 15 digits ("-12.375"): the digits as a whole
// number are exact in a double, and so is a power of ten up to 10^22, so
// one division rounds as the full parse would. False for anything else.
bool simpleDecimal(std::string_view s, double& v)
{
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    size_t i = 0;
    bool negative = i < s.size() && s[i] == '-';
    i += negative;
    unsigned long long digits = 0;
    int count = 0, fraction = -1;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c >= '0' && c <= '9') {
            if (++count > 15)
                return false;
            digits = digits * 10 + static_cast<unsigned>(c - '0');
            fraction += fraction >= 0;
        } else if (c == '.' && fraction < 0) {
            fraction = 0;
        } else {
            return false;
        }
    }
    if (count == 0)
        return false;
    // Zeros that end the fraction change nothing; without a fraction left,
    // no division.
    while (fraction > 0 && digits % 10 == 0) {
        digits /= 10;
        --fraction;
    }
    v = static_cast<double>(digits);
    if (fraction > 0)
        v /= kPowers[fraction];
    if (negative)
        v = -v;
    return true;
}
}

double Record::toNumber(const Item& item) const
{
    double v = 0;
    return simpleDecimal(item.value, v) ? v : generalNumber(item);
}

// Kept apart so that the plain case above needs no room for a message.
double Record::generalNumber(const Item& item) const
{
    std::string_view s = trim(item.value);
    double v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v))
        fail(item.line + 1,
             type + " group " + std::to_string(item.code) + " must be a finite number, found \"" +
                 visible(s.substr(0, 40)) + "\"");
    return v;
}

double Record::number(int code, double fallback) const
{
    const Item* item = find(code);
    return item ? toNumber(*item) : fallback;
}

long long Record::integer(int code, long long fallback) const
{
    const Item* item = find(code);
    if (!item)
        return fallback;
    std::string_view s = trim(item->value);
    long long v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size())
        fail(item->line + 1,
             type + " group " + std::to_string(code) + " must be a whole number, found \"" + visible(s.substr(0, 40)) +
                 "\"");
    return v;
}

AcString Record::decode(std::string_view bytes) const
{
    std::u16string wide;
    if (utf8Text || validUtf8(bytes)) {
        wide = utf::toUtf16(bytes);
    } else {
        // Older files without UTF-8: the Western code page, taken as Latin-1.
        wide.reserve(bytes.size());
        for (char c : bytes)
            wide.push_back(static_cast<unsigned char>(c));
    }
    if (wide.find(u"\\U+") == std::u16string::npos)
        return wide;
    std::u16string out;
    for (size_t i = 0; i < wide.size(); ++i) {
        if (wide.compare(i, 3, u"\\U+") == 0 && i + 7 <= wide.size()) {
            int v = 0;
            bool ok = true;
            for (size_t k = 3; k < 7 && ok; ++k) {
                int d = hexDigit(wide[i + k]);
                ok = d >= 0;
                v = v * 16 + d;
            }
            if (ok) {
                out.push_back(static_cast<char16_t>(v));
                i += 6;
                continue;
            }
        }
        out.push_back(wide[i]);
    }
    return out;
}

}
