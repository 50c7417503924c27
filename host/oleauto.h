// OLE automation basics of the platform: status codes, automation texts
// (BSTR) and automation dates, the days since 1899-12-30 00:00 as a double
// whose fraction is the time of day.
#pragma once

#include "host/adesk.h"

using WORD = std::uint16_t;
using ULONG = std::uint32_t;
using LCID = std::uint32_t;
using HRESULT = std::int32_t;
using DATE = double;
using OLECHAR = ACHAR;
using BSTR = OLECHAR*;

// Status codes, numbered as the platform numbers them.
constexpr HRESULT S_OK = 0;                                                // success
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);         // an argument is out of range
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);        // no memory
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005);  // the text is not of the type asked for
constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000A);      // the value is out of range
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// The user's default locale.
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;

// A calendar time; month 1-12, day of week 0 (Sunday) to 6.
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

// Automation texts: allocated by the platform, freed with SysFreeString.
BSTR SysAllocString(const OLECHAR* text);
void SysFreeString(BSTR text);
unsigned int SysStringLen(BSTR text);

// Nonzero on success; fails for a calendar time outside years 100-9999 or
// with a field out of range. Milliseconds are ignored.
int SystemTimeToVariantTime(const SYSTEMTIME* time, DATE* date);
// Nonzero on success; rounds to the nearest second (milliseconds are 0).
int VariantTimeToSystemTime(DATE date, SYSTEMTIME* time);
// The date as text, "12/8/2026 10:15:30 AM" whatever the locale.
HRESULT VarBstrFromDate(DATE date, LCID lcid, ULONG flags, BSTR* text);
// Reads "12/8/2026 10:15:30 AM" (time or date may be left out, 24-hour
// times without AM/PM) and ISO 8601 "2026-12-08 10:15:30" or "2026-12-08T10:15:30".
HRESULT VarDateFromStr(const OLECHAR* text, LCID lcid, ULONG flags, DATE* date);
