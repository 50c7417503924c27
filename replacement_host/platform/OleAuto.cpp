// Automation texts and dates of host/oleauto.h. The date text is one fixed
// form, the US-English one, whatever locale is asked for: every stamp this
// platform writes reads back to the same second.
#include "host/oleauto.h"

#include "replacement_host/text/Utf.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's method).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned daysInMonth(int y, unsigned m)
{
    static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

const std::int64_t kOleEpoch = daysFromCivil(1899, 12, 30);
// 0100-01-01 and 9999-12-31 as automation days: the range the platform takes.
const std::int64_t kFirstDay = daysFromCivil(100, 1, 1) - kOleEpoch;
const std::int64_t kLastDay = daysFromCivil(9999, 12, 31) - kOleEpoch;

bool validCalendar(int y, unsigned m, unsigned d, unsigned h, unsigned mi, unsigned s)
{
    return y >= 100 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= daysInMonth(y, m) && h < 24 && mi < 60 &&
        s < 60;
}

// Days before 1899-12-30 keep a positive time of day: -1.25 is 1899-12-29 06:00.
DATE toDate(int y, unsigned m, unsigned d, unsigned h, unsigned mi, unsigned s)
{
    const std::int64_t days = daysFromCivil(y, m, d) - kOleEpoch;
    const double fraction = (h * 3600.0 + mi * 60.0 + s) / 86400.0;
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

// A small reader over the text: numbers, literal characters, blanks.
class Reader {
public:
    explicit Reader(const OLECHAR* text) : m_p(text) {}
    void blanks()
    {
        while (*m_p == u' ' || *m_p == u'\t')
            ++m_p;
    }
    bool number(unsigned& value, int minDigits, int maxDigits)
    {
        int n = 0;
        value = 0;
        while (n < maxDigits && *m_p >= u'0' && *m_p <= u'9') {
            value = value * 10 + (*m_p++ - u'0');
            ++n;
        }
        return n >= minDigits && !(*m_p >= u'0' && *m_p <= u'9');
    }
    bool literal(char16_t c)
    {
        if (*m_p != c)
            return false;
        ++m_p;
        return true;
    }
    bool word(const char16_t* upper)
    {
        const OLECHAR* p = m_p;
        for (; *upper; ++upper, ++p)
            if (*p != *upper && *p != *upper + 32)
                return false;
        m_p = p;
        return true;
    }
    bool atEnd() const { return *m_p == 0; }
    bool atDigit() const { return *m_p >= u'0' && *m_p <= u'9'; }
    // Whether the digits ahead are followed by c ("12/" starts a date).
    bool digitsThen(char16_t c) const
    {
        const OLECHAR* p = m_p;
        while (*p >= u'0' && *p <= u'9')
            ++p;
        return p != m_p && *p == c;
    }

private:
    const OLECHAR* m_p;
};

// h:mm[:ss] [AM|PM]
bool readTime(Reader& r, unsigned& h, unsigned& mi, unsigned& s)
{
    s = 0;
    if (!r.number(h, 1, 2) || !r.literal(u':') || !r.number(mi, 2, 2))
        return false;
    if (r.literal(u':') && !r.number(s, 2, 2))
        return false;
    r.blanks();
    bool pm = r.word(u"PM");
    if (pm || r.word(u"AM")) {
        if (h < 1 || h > 12)
            return false;
        h = h % 12 + (pm ? 12 : 0);
    }
    return h < 24 && mi < 60 && s < 60;
}

}

BSTR SysAllocString(const OLECHAR* text)
{
    if (!text)
        return nullptr;
    std::size_t n = std::char_traits<OLECHAR>::length(text);
    // The length in bytes sits before the text, as the platform keeps it.
    auto* block =
        static_cast<std::uint32_t*>(::operator new(sizeof(std::uint32_t) + (n + 1) * sizeof(OLECHAR), std::nothrow));
    if (!block)
        return nullptr;
    block[0] = static_cast<std::uint32_t>(n * sizeof(OLECHAR));
    auto* out = reinterpret_cast<OLECHAR*>(block + 1);
    std::memcpy(out, text, (n + 1) * sizeof(OLECHAR));
    return out;
}

void SysFreeString(BSTR text)
{
    if (text)
        ::operator delete(reinterpret_cast<std::uint32_t*>(text) - 1);
}

unsigned int SysStringLen(BSTR text) { return text ? reinterpret_cast<std::uint32_t*>(text)[-1] / sizeof(OLECHAR) : 0; }

int SystemTimeToVariantTime(const SYSTEMTIME* time, DATE* date)
{
    if (!time || !date)
        return 0;
    if (!validCalendar(time->wYear, time->wMonth, time->wDay, time->wHour, time->wMinute, time->wSecond))
        return 0;
    *date = toDate(time->wYear, time->wMonth, time->wDay, time->wHour, time->wMinute, time->wSecond);
    return 1;
}

int VariantTimeToSystemTime(DATE date, SYSTEMTIME* time)
{
    if (!time || !std::isfinite(date) || date <= static_cast<double>(kFirstDay) - 1.0 ||
        date >= static_cast<double>(kLastDay) + 1.0)
        return 0;
    std::int64_t days = static_cast<std::int64_t>(std::trunc(date));
    std::int64_t seconds = std::llround(std::fabs(date - std::trunc(date)) * 86400.0);
    if (seconds >= 86400) {
        ++days;
        seconds -= 86400;
    }
    if (days < kFirstDay || days > kLastDay)
        return 0;
    int y;
    unsigned m, d;
    civilFromDays(days + kOleEpoch, y, m, d);
    // 1970-01-01 was a Thursday.
    std::int64_t weekday = ((days + kOleEpoch) % 7 + 7 + 4) % 7;
    time->wYear = static_cast<WORD>(y);
    time->wMonth = static_cast<WORD>(m);
    time->wDayOfWeek = static_cast<WORD>(weekday);
    time->wDay = static_cast<WORD>(d);
    time->wHour = static_cast<WORD>(seconds / 3600);
    time->wMinute = static_cast<WORD>(seconds / 60 % 60);
    time->wSecond = static_cast<WORD>(seconds % 60);
    time->wMilliseconds = 0;
    return 1;
}

HRESULT VarBstrFromDate(DATE date, LCID, ULONG, BSTR* text)
{
    if (!text)
        return E_INVALIDARG;
    *text = nullptr;
    SYSTEMTIME t;
    if (!VariantTimeToSystemTime(date, &t))
        return E_INVALIDARG;
    // "M/D/YYYY h:mm:ss AM", written straight as wide text: every stamp a
    // file field stores passes through here.
    OLECHAR buf[32];
    OLECHAR* p = buf;
    auto put = [&p](unsigned value, long minDigits) {
        char digits[10];
        const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        for (long n = end - digits; n < minDigits; ++n)
            *p++ = u'0';
        for (const char* d = digits; d != end; ++d)
            *p++ = static_cast<OLECHAR>(*d);
    };
    put(t.wMonth, 1), *p++ = u'/', put(t.wDay, 1), *p++ = u'/', put(t.wYear, 1), *p++ = u' ';
    put(t.wHour % 12 == 0 ? 12u : t.wHour % 12u, 1), *p++ = u':', put(t.wMinute, 2), *p++ = u':';
    put(t.wSecond, 2), *p++ = u' ', *p++ = t.wHour < 12 ? u'A' : u'P', *p++ = u'M', *p = 0;
    *text = SysAllocString(buf);
    return *text ? S_OK : E_OUTOFMEMORY;
}

HRESULT VarDateFromStr(const OLECHAR* text, LCID, ULONG, DATE* date)
{
    if (!text || !date)
        return E_INVALIDARG;
    Reader r(text);
    r.blanks();
    // A text without a date is a time on day 0, 1899-12-30.
    unsigned y = 1899, m = 12, d = 30, h = 0, mi = 0, s = 0;
    bool hasDate = false;
    if (r.digitsThen(u'/')) {
        if (!r.number(m, 1, 2) || !r.literal(u'/') || !r.number(d, 1, 2) || !r.literal(u'/') || !r.number(y, 1, 4))
            return DISP_E_TYPEMISMATCH;
        hasDate = true;
    } else if (r.digitsThen(u'-')) {
        if (!r.number(y, 4, 4) || !r.literal(u'-') || !r.number(m, 2, 2) || !r.literal(u'-') || !r.number(d, 2, 2))
            return DISP_E_TYPEMISMATCH;
        hasDate = true;
    }
    bool timeMarked = hasDate && r.literal(u'T');
    if (!timeMarked)
        r.blanks();
    if (!hasDate || timeMarked || r.atDigit()) {
        if (!readTime(r, h, mi, s))
            return DISP_E_TYPEMISMATCH;
    }
    r.blanks();
    if (!r.atEnd() || !validCalendar(static_cast<int>(y), m, d, h, mi, s))
        return DISP_E_TYPEMISMATCH;
    *date = toDate(static_cast<int>(y), m, d, h, mi, s);
    return S_OK;
}
