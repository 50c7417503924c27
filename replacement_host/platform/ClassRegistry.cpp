// The registry of automation classes, and creation and error texts of the
// automation platform over it.
#include "replacement_host/platform/ClassRegistry.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

struct Entry {
    std::u16string progId;
    CLSID clsid;
    classregistry::Factory factory;
    bool available = true;
};

std::vector<Entry>& entries()
{
    static std::vector<Entry> list;
    return list;
}

// The reason the last creation failed, for the code it failed with.
struct FailureReason {
    HRESULT code = 0;
    std::u16string text;
};

FailureReason& lastFailure()
{
    static FailureReason reason;
    return reason;
}

// Identifiers are looked up without regard to ASCII letter case.
bool sameId(std::u16string_view a, std::u16string_view b)
{
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
    return a.size() == b.size() &&
        std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

bool sameClass(const CLSID& a, const CLSID& b) { return std::memcmp(&a, &b, sizeof(CLSID)) == 0; }

struct Message {
    HRESULT code;
    const char16_t* text;
};

// The system's texts for the codes this platform gives.
constexpr Message kMessages[] = {
    {DISP_E_MEMBERNOTFOUND, u"Member not found."},
    {DISP_E_PARAMNOTFOUND, u"Parameter not found."},
    {DISP_E_BADVARTYPE, u"Bad variable type."},
    {DISP_E_EXCEPTION, u"Exception occurred."},
    {DISP_E_BADPARAMCOUNT, u"Invalid number of parameters."},
    {RPC_E_DISCONNECTED, u"The object invoked has disconnected from its clients."},
    {REGDB_E_CLASSNOTREG, u"Class not registered"},
    {CO_E_CLASSSTRING, u"Invalid class string"},
    {CO_E_SERVER_EXEC_FAILURE, u"Server execution failed"},
};

}

namespace classregistry {

void add(const std::u16string& progId, const CLSID& clsid, Factory factory)
{
    entries().push_back({progId, clsid, std::move(factory)});
}

Factory replace(const std::u16string& progId, Factory factory)
{
    for (Entry& e : entries())
        if (sameId(e.progId, progId))
            std::swap(e.factory, factory);
    return factory;
}

void setAvailable(const std::u16string& progId, bool available)
{
    for (Entry& e : entries())
        if (sameId(e.progId, progId))
            e.available = available;
}

void setFailureReason(HRESULT code, const std::u16string& reason) { lastFailure() = {code, reason}; }

}

HRESULT CLSIDFromProgID(const OLECHAR* progId, CLSID* clsid)
{
    if (!progId || !clsid)
        return CO_E_CLASSSTRING;
    for (const Entry& e : entries())
        if (e.available && sameId(e.progId, progId)) {
            *clsid = e.clsid;
            return 0;
        }
    return CO_E_CLASSSTRING;
}

HRESULT CoCreateInstance(const CLSID& clsid, void*, DWORD, IDispatch** object)
{
    if (!object)
        return DISP_E_PARAMNOTFOUND;
    *object = nullptr;
    lastFailure() = {};
    for (const Entry& e : entries())
        if (e.available && sameClass(e.clsid, clsid))
            return e.factory(object);
    return REGDB_E_CLASSNOTREG;
}

DWORD FormatMessageW(HRESULT code, OLECHAR* buffer, DWORD size)
{
    if (!buffer || size == 0)
        return 0;
    buffer[0] = 0;
    auto found =
        std::find_if(std::begin(kMessages), std::end(kMessages), [&](const Message& m) { return m.code == code; });
    if (found == std::end(kMessages))
        return 0;
    std::u16string text = found->text;
    if (lastFailure().code == code && !lastFailure().text.empty())
        text += u": " + lastFailure().text;
    DWORD n = static_cast<DWORD>(std::min<std::size_t>(text.size(), size - 1));
    std::copy_n(text.begin(), n, buffer);
    buffer[n] = 0;
    return n;
}
