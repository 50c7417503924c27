// Value display; see the header.
#include "replacement_host/fields/ValueDisplay.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace valuedisplay {

namespace {
std::u16string widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

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

AcString format(const AcValue& value, const AcString& fmt)
{
    AcString text;
    switch (value.dataType()) {
    case AcValue::kLong: {
        Adesk::Int32 v = 0;
        value.get(v);
        text = widen(std::to_string(v));
        break;
    }
    case AcValue::kDouble: {
        double v = 0;
        value.get(v);
        if (!std::isfinite(v)) {
            text = std::isnan(v) ? u"NaN" : (v < 0 ? u"-Infinity" : u"Infinity");
            break;
        }
        char buf[512];
        std::snprintf(buf, sizeof buf, "%.*f", precisionOf(fmt), v);
        text = widen(buf);
        if (text == u"-0" || text.find_first_not_of(u"-0.") == AcString::npos)
            if (!text.empty() && text[0] == u'-')
                text.erase(0, 1); // no "-0.0000" for a value that rounds to zero
        break;
    }
    case AcValue::kString:
        value.get(text);
        break;
    default:
        break;
    }
    AcString prefix, suffix;
    affixesOf(fmt, prefix, suffix);
    return prefix + text + suffix;
}

}
