// The spreadsheet application's automation members that the cell field
// calls, as thin wrappers: each forwards one dispatch call by member id with
// variant arguments, optional ones passed as the shared omitted argument.
// A failed call throws AutomationError; it never leaves external/.
#pragma once

#include "host/AcString.h"
#include "host/oleautomation.h"

#include <initializer_list>

namespace excel {

// A failed automation call: the message, and whether the application
// raised it or the call itself failed.
struct AutomationError {
    AcString message;
    bool raisedByApplication = false;
};

// The system's text for a failure code, never empty.
AcString messageOf(HRESULT code);

// The optional argument left out: VT_ERROR holding DISP_E_PARAMNOTFOUND.
const VARIANT& omitted();
VARIANT variantOf(const ACHAR* text);
VARIANT variantOf(Adesk::Int32 value);
VARIANT variantOf(bool value);

// Holds one reference to a dispatch interface and releases it when it goes.
class DispatchDriver {
public:
    constexpr DispatchDriver() = default;
    // Takes over the caller's reference.
    explicit DispatchDriver(IDispatch* dispatch) : m_dispatch(dispatch) {}
    DispatchDriver(const DispatchDriver& other);
    DispatchDriver& operator=(const DispatchDriver& other);
    ~DispatchDriver() { releaseDispatch(); }

    bool isNull() const { return m_dispatch == nullptr; }
    // Gives up the reference without releasing it.
    IDispatch* detachDispatch();
    void releaseDispatch();

protected:
    // Arguments in the order they are written. Throws AutomationError.
    VARIANT invoke(DISPID member, WORD flags, std::initializer_list<VARIANT> args = {}) const;
    IDispatch* invokeForObject(DISPID member, WORD flags, std::initializer_list<VARIANT> args = {}) const;
    AcString invokeForText(DISPID member) const;
    Adesk::Int32 invokeForLong(DISPID member) const;

private:
    IDispatch* m_dispatch = nullptr;
};

class CRange : public DispatchDriver {
public:
    using DispatchDriver::DispatchDriver;
    VARIANT GetText() const;
};

class CWorksheet : public DispatchDriver {
public:
    using DispatchDriver::DispatchDriver;
    AcString GetName() const;
    CRange GetRange(const VARIANT& cell1, const VARIANT& cell2) const;
};

class CWorksheets : public DispatchDriver {
public:
    using DispatchDriver::DispatchDriver;
    Adesk::Int32 GetCount() const;
    CWorksheet GetItem(const VARIANT& index) const;
};

class CWorkbook : public DispatchDriver {
public:
    using DispatchDriver::DispatchDriver;
    AcString GetFullName() const;
    CWorksheets GetWorksheets() const;
};

class CWorkbooks : public DispatchDriver {
public:
    using DispatchDriver::DispatchDriver;
    Adesk::Int32 GetCount() const;
    CWorkbook GetItem(const VARIANT& index) const;
    CWorkbook Open(const ACHAR* filename, const VARIANT& updateLinks, const VARIANT& readOnly, const VARIANT& format,
                   const VARIANT& password, const VARIANT& writeResPassword, const VARIANT& ignoreReadOnlyRecommended,
                   const VARIANT& origin, const VARIANT& delimiter, const VARIANT& editable, const VARIANT& notify,
                   const VARIANT& converter, const VARIANT& addToMru) const;
};

class CApplication : public DispatchDriver {
public:
    using DispatchDriver::DispatchDriver;
    void SetCaption(const ACHAR* caption) const;
    void SetDisplayAlerts(bool on) const;
    void Quit() const;
    CWorkbooks GetWorkbooks() const;
};

}
