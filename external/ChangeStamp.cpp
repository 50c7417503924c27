// The change stamp; see the header. The date text is the platform's
// automation form for the user's default locale; the stamp relies only on the
// platform reading back what it wrote.
#include "external/ChangeStamp.h"

#include "host/TesslySibling.h"
#include "host/crtio.h"
#include "host/oleauto.h"

ChangeStamp ChangeStamp::ofFile(const ACHAR* path)
{
    _stat64 status;
    if (_wstat64(path, &status) != 0)
        return {};
    std::tm local{};
    if (_localtime64_s(&local, &status.lastWrite) != 0)
        return {};
    // Years outside a WORD cannot be a calendar time the platform takes.
    long year = local.tm_year + 1900L;
    if (year < 0 || year > 65535)
        return {};
    SYSTEMTIME calendar{};
    calendar.wYear = static_cast<WORD>(year);
    calendar.wMonth = static_cast<WORD>(local.tm_mon + 1);
    calendar.wDay = static_cast<WORD>(local.tm_mday);
    calendar.wHour = static_cast<WORD>(local.tm_hour);
    calendar.wMinute = static_cast<WORD>(local.tm_min);
    calendar.wSecond = static_cast<WORD>(local.tm_sec);
    DATE date = 0;
    if (!SystemTimeToVariantTime(&calendar, &date))
        return {};
    // The date must give back the same calendar time to the second.
    SYSTEMTIME back{};
    if (!VariantTimeToSystemTime(date, &back) || back.wYear != calendar.wYear || back.wMonth != calendar.wMonth ||
        back.wDay != calendar.wDay || back.wHour != calendar.wHour || back.wMinute != calendar.wMinute ||
        back.wSecond != calendar.wSecond)
        return {};
    return ChangeStamp(date);
}

ChangeStamp ChangeStamp::load(AcDbField* field)
{
    AcString text;
    getXdata(field, kAppName, text);
    return parse(text.c_str());
}

ChangeStamp ChangeStamp::parse(const ACHAR* text)
{
    DATE date = 0;
    if (!text || FAILED(VarDateFromStr(text, LOCALE_USER_DEFAULT, 0, &date)))
        return {};
    return ChangeStamp(date);
}

bool ChangeStamp::matches(const ChangeStamp& stored, const ChangeStamp& current)
{
    return stored.m_valid && current.m_valid && stored.m_date < current.m_date + kTolerance &&
        stored.m_date > current.m_date - kTolerance;
}

void ChangeStamp::store(AcDbField* field, const ChangeStamp& stamp) { setXdata(field, kAppName, stamp.text(), 0); }

void ChangeStamp::showMissing(AcDbField* field, const AcString& message, AcFdFieldValue& value)
{
    value.set(message.c_str());
    if (load(field).isValid())
        store(field, ChangeStamp());
}

bool ChangeStamp::keepUnchanged(AcDbField* field, const ChangeStamp& current, AcFdFieldValue& value)
{
    if (!field->objectId().isValid() || !matches(load(field), current))
        return false;
    AcValue previous;
    field->getValue(previous);
    value.set(previous);
    return true;
}

AcString ChangeStamp::text() const
{
    if (!m_valid)
        return kInvalidText;
    BSTR text = nullptr;
    if (FAILED(VarBstrFromDate(m_date, LOCALE_USER_DEFAULT, 0, &text)) || !text)
        return kInvalidText;
    AcString out(text, SysStringLen(text));
    SysFreeString(text);
    return out;
}
