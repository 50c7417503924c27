// Value display; see the header.
#include "replacement_host/fields/ValueDisplay.h"

#include <charconv>
#include <cmath>
#include <string>

namespace valuedisplay {

namespace {

int precisionOf(const AcString& fmt)
{
    size_t at = fmt.find(u"%pr");
    if (at == AcString::npos || at + 3 >= fmt.size())
        return kDefaultPrecision;
    char16_t d = fmt[at + 3];
    return d >= u'0' && d <= u'8' ? d - u'0' : kDefaultPrecision;
}

// "%ps[prefix,suffix]"
void affixesOf(const AcString& fmt, AcString& prefix, AcString& suffix)
{
    size_t at = fmt.find(u"%ps[");
    if (at == AcString::npos)
        return;
    size_t close = fmt.find(u']', at);
    if (close == AcString::npos)
        return;
    AcString inside = fmt.substr(at + 4, close - at - 4);
    size_t comma = inside.find(u',');
    prefix = inside.substr(0, comma);
    if (comma != AcString::npos)
        suffix = inside.substr(comma + 1);
}
}

namespace {
// The shown text between prefix and suffix; a text value is handed back
// as a view of the value's own text.
std::u16string_view body(const AcValue& value, const AcString& fmt, AcString& storage)
{
    switch (value.dataType()) {
    case AcValue::kLong: {
        Adesk::Int32 v = 0;
        value.get(v);
        char digits[16];
        storage.assign(digits, std::to_chars(digits, digits + sizeof digits, v).ptr);
        return storage;
    }
    case AcValue::kDouble: {
        double v = 0;
        value.get(v);
        if (!std::isfinite(v)) {
            storage = std::isnan(v) ? u"NaN" : (v < 0 ? u"-Infinity" : u"Infinity");
            return storage;
        }
        // The fixed form with the format's decimals, as printf's "%.*f" writes
        // it (both round the exact binary value), without its format parsing.
        char buf[512];
        storage.assign(buf, std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, precisionOf(fmt)).ptr);
        if (storage == u"-0" || storage.find_first_not_of(u"-0.") == AcString::npos)
            if (!storage.empty() && storage[0] == u'-')
                storage.erase(0, 1);  // no "-0.0000" for a value that rounds to zero
        return storage;
    }
    case AcValue::kString: {
        const ACHAR* text = u"";
        value.get(text);
        return text;
    }
    default: return {};
    }
}
}

AcString format(const AcValue& value, const AcString& fmt)
{
    AcString prefix, suffix, storage;
    affixesOf(fmt, prefix, suffix);
    std::u16string_view text = body(value, fmt, storage);
    AcString out;
    out.reserve(prefix.size() + text.size() + suffix.size());
    out += prefix;
    out += text;
    out += suffix;
    return out;
}

std::u16string_view view(const AcValue& value, const AcString& fmt, AcString& storage)
{
    AcString prefix, suffix;
    affixesOf(fmt, prefix, suffix);
    if (prefix.empty() && suffix.empty())
        return body(value, fmt, storage);
    storage = format(value, fmt);
    return storage;
}

}
