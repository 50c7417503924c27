// The automation wrappers; see the header.
#include "external/ExcelAutomation.h"
#include "host/ExcelTypeLib.h"

#include <cstdio>
#include <vector>

namespace excel {

namespace {

using namespace exceltypelib;

AutomationError callError(HRESULT code) { return {messageOf(code), false}; }

}

AcString messageOf(HRESULT code)
{
    OLECHAR buffer[1024];
    if (FormatMessageW(code, buffer, 1024) > 0)
        return buffer;
    char text[48];
    std::snprintf(text, sizeof text, "Unknown error 0x%08X", static_cast<unsigned>(code));
    return AcString(text, text + std::char_traits<char>::length(text));
}

const VARIANT& omitted()
{
    static const VARIANT value = [] {
        VARIANT v;
        v.vt = VT_ERROR;
        v.scode = DISP_E_PARAMNOTFOUND;
        return v;
    }();
    return value;
}

VARIANT variantOf(const ACHAR* text)
{
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = text ? text : u"";
    return v;
}

VARIANT variantOf(Adesk::Int32 value)
{
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

VARIANT variantOf(bool value)
{
    VARIANT v;
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

DispatchDriver::DispatchDriver(const DispatchDriver& other) : m_dispatch(other.m_dispatch)
{
    if (m_dispatch)
        m_dispatch->AddRef();
}

DispatchDriver& DispatchDriver::operator=(const DispatchDriver& other)
{
    if (this == &other)
        return *this;
    if (other.m_dispatch)
        other.m_dispatch->AddRef();
    releaseDispatch();
    m_dispatch = other.m_dispatch;
    return *this;
}

IDispatch* DispatchDriver::detachDispatch()
{
    IDispatch* d = m_dispatch;
    m_dispatch = nullptr;
    return d;
}

void DispatchDriver::releaseDispatch()
{
    if (IDispatch* d = detachDispatch())
        d->Release();
}

VARIANT DispatchDriver::invoke(DISPID member, WORD flags, std::initializer_list<VARIANT> args) const
{
    if (!m_dispatch)
        throw AutomationError{u"No automation object to call.", false};
    // The platform takes the last argument first.
    std::vector<VARIANT> reversed(std::rbegin(args), std::rend(args));
    DISPPARAMS params{reversed.data(), static_cast<unsigned int>(reversed.size())};
    VARIANT result;
    EXCEPINFO exception;
    HRESULT hr = m_dispatch->Invoke(member, flags, &params, &result, &exception);
    if (hr == DISP_E_EXCEPTION)
        throw AutomationError{exception.bstrDescription.empty() ? messageOf(hr) : AcString(exception.bstrDescription),
                              true};
    if (FAILED(hr))
        throw callError(hr);
    return result;
}

IDispatch* DispatchDriver::invokeForObject(DISPID member, WORD flags, std::initializer_list<VARIANT> args) const
{
    VARIANT result = invoke(member, flags, args);
    if (result.vt != VT_DISPATCH || !result.pdispVal)
        throw callError(DISP_E_BADVARTYPE);
    IDispatch* d = result.pdispVal;
    result.pdispVal = nullptr;
    return d;
}

AcString DispatchDriver::invokeForText(DISPID member) const
{
    VARIANT result = invoke(member, DISPATCH_PROPERTYGET);
    if (result.vt != VT_BSTR)
        throw callError(DISP_E_BADVARTYPE);
    return result.bstrVal;
}

Adesk::Int32 DispatchDriver::invokeForLong(DISPID member) const
{
    VARIANT result = invoke(member, DISPATCH_PROPERTYGET);
    if (result.vt != VT_I4)
        throw callError(DISP_E_BADVARTYPE);
    return result.lVal;
}

VARIANT CRange::GetText() const { return invoke(kText, DISPATCH_PROPERTYGET); }

AcString CWorksheet::GetName() const { return invokeForText(kName); }

CRange CWorksheet::GetRange(const VARIANT& cell1, const VARIANT& cell2) const
{
    return CRange(invokeForObject(kRange, DISPATCH_PROPERTYGET, {cell1, cell2}));
}

Adesk::Int32 CWorksheets::GetCount() const { return invokeForLong(kCount); }

CWorksheet CWorksheets::GetItem(const VARIANT& index) const
{
    return CWorksheet(invokeForObject(kItem, DISPATCH_PROPERTYGET, {index}));
}

AcString CWorkbook::GetFullName() const { return invokeForText(kFullName); }

CWorksheets CWorkbook::GetWorksheets() const { return CWorksheets(invokeForObject(kWorksheets, DISPATCH_PROPERTYGET)); }

Adesk::Int32 CWorkbooks::GetCount() const { return invokeForLong(kCount); }

CWorkbook CWorkbooks::GetItem(const VARIANT& index) const
{
    return CWorkbook(invokeForObject(kItem, DISPATCH_PROPERTYGET, {index}));
}

CWorkbook CWorkbooks::Open(const ACHAR* filename, const VARIANT& updateLinks, const VARIANT& readOnly,
                           const VARIANT& format, const VARIANT& password, const VARIANT& writeResPassword,
                           const VARIANT& ignoreReadOnlyRecommended, const VARIANT& origin, const VARIANT& delimiter,
                           const VARIANT& editable, const VARIANT& notify, const VARIANT& converter,
                           const VARIANT& addToMru) const
{
    return CWorkbook(
        invokeForObject(kOpen, DISPATCH_METHOD,
                        {variantOf(filename), updateLinks, readOnly, format, password, writeResPassword,
                         ignoreReadOnlyRecommended, origin, delimiter, editable, notify, converter, addToMru}));
}

void CApplication::SetCaption(const ACHAR* caption) const
{
    invoke(kCaption, DISPATCH_PROPERTYPUT, {variantOf(caption)});
}

void CApplication::SetDisplayAlerts(bool on) const { invoke(kDisplayAlerts, DISPATCH_PROPERTYPUT, {variantOf(on)}); }

void CApplication::Quit() const { invoke(kQuit, DISPATCH_METHOD); }

CWorkbooks CApplication::GetWorkbooks() const { return CWorkbooks(invokeForObject(kWorkbooks, DISPATCH_PROPERTYGET)); }

}
