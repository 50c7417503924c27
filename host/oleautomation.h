// Automation dispatch of the platform: objects reached through one dispatch
// interface that is invoked by member id with variant arguments, and created
// from a programmatic identifier. Texts in variants are held by value and
// objects are reference counted, so a variant cleans up after itself.
#pragma once

#include "host/oleauto.h"

#include <cstdint>
#include <string>
#include <utility>

using DWORD = std::uint32_t;
using DISPID = std::int32_t;
using VARTYPE = WORD;
using VARIANT_BOOL = std::int16_t;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Status codes of dispatch and creation, numbered as the platform numbers them.
constexpr HRESULT DISP_E_MEMBERNOTFOUND =
    static_cast<HRESULT>(0x80020003);  // no such member, or not with this kind of call
constexpr HRESULT DISP_E_PARAMNOTFOUND =
    static_cast<HRESULT>(0x80020004);  // an argument is missing; also marks an omitted one
constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008);  // an argument has the wrong variant type
constexpr HRESULT DISP_E_EXCEPTION =
    static_cast<HRESULT>(0x80020009);  // the object raised an error, described in EXCEPINFO
constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000E);  // too many arguments
constexpr HRESULT RPC_E_DISCONNECTED = static_cast<HRESULT>(0x80010108);    // the object's application has gone away
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);   // the class is not registered
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3);      // no class has this programmatic identifier
constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = static_cast<HRESULT>(0x80080005);  // the application could not be started

// Variant types, numbered as the platform numbers them.
enum : VARTYPE {
    VT_EMPTY = 0,     // nothing
    VT_I4 = 3,        // lVal: a 32-bit integer
    VT_BSTR = 8,      // bstrVal: a text
    VT_DISPATCH = 9,  // pdispVal: an object
    VT_ERROR = 10,    // scode: a status code
    VT_BOOL = 11,     // boolVal: VARIANT_TRUE or VARIANT_FALSE
};

// Kinds of dispatch call, numbered as the platform numbers them.
enum : WORD {
    DISPATCH_METHOD = 1,       // call a method
    DISPATCH_PROPERTYGET = 2,  // read a property
    DISPATCH_PROPERTYPUT = 4,  // write a property; its value is the only argument
};

struct VARIANT;
struct DISPPARAMS;

// What an object raised: its source and a description for the user.
struct EXCEPINFO {
    std::u16string bstrSource;
    std::u16string bstrDescription;
    HRESULT scode = 0;
};

class IDispatch {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // DISP_E_EXCEPTION with exception filled when the object raised an
    // error; another failure code when the call itself failed.
    virtual HRESULT Invoke(DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception) = 0;

protected:
    ~IDispatch() = default;
};

struct VARIANT {
    VARTYPE vt = VT_EMPTY;
    Adesk::Int32 lVal = 0;
    VARIANT_BOOL boolVal = VARIANT_FALSE;
    HRESULT scode = 0;
    std::u16string bstrVal;
    IDispatch* pdispVal = nullptr;  // one reference held by the variant

    VARIANT() = default;
    VARIANT(const VARIANT& other)
        : vt(other.vt),
          lVal(other.lVal),
          boolVal(other.boolVal),
          scode(other.scode),
          bstrVal(other.bstrVal),
          pdispVal(other.pdispVal)
    {
        if (pdispVal)
            pdispVal->AddRef();
    }
    VARIANT& operator=(const VARIANT& other)
    {
        if (this != &other) {
            VARIANT copy(other);
            std::swap(*this, copy);
        }
        return *this;
    }
    VARIANT(VARIANT&& other)
    noexcept
        : vt(other.vt),
          lVal(other.lVal),
          boolVal(other.boolVal),
          scode(other.scode),
          bstrVal(std::move(other.bstrVal)),
          pdispVal(other.pdispVal)
    {
        other.pdispVal = nullptr;
        other.vt = VT_EMPTY;
    }
    VARIANT& operator=(VARIANT&& other) noexcept
    {
        std::swap(vt, other.vt);
        std::swap(lVal, other.lVal);
        std::swap(boolVal, other.boolVal);
        std::swap(scode, other.scode);
        std::swap(bstrVal, other.bstrVal);
        std::swap(pdispVal, other.pdispVal);
        return *this;
    }
    ~VARIANT()
    {
        if (pdispVal)
            pdispVal->Release();
    }
};

// The arguments of a call, last argument first as the platform passes them.
struct DISPPARAMS {
    VARIANT* rgvarg = nullptr;
    unsigned int cArgs = 0;
};

struct CLSID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};
};

// Where the created object runs, numbered as the platform numbers it.
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;  // in an application process of its own

// The class registered under the programmatic identifier.
HRESULT CLSIDFromProgID(const OLECHAR* progId, CLSID* clsid);
// Starts an object of the class and gives its dispatch interface, with one
// reference for the caller.
HRESULT CoCreateInstance(const CLSID& clsid, void* outer, DWORD context, IDispatch** object);
// The system's message text for a status code, as FormatMessageW gives it
// from the system's table: the number of characters written, 0 when the
// code is unknown. Always zero-terminated when size is above 0.
DWORD FormatMessageW(HRESULT code, OLECHAR* buffer, DWORD size);
