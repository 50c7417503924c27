// The spreadsheet automation server: the stand-in application's objects
// behind the dispatch interface, answering the members the cell field uses
// by their ids. Errors the application raises come back as DISP_E_EXCEPTION
// with their message; calls into an instance that has gone away fail with
// RPC_E_DISCONNECTED.
#include "replacement_host/platform/SpreadsheetServer.h"
#include "host/ExcelTypeLib.h"

#include "replacement_host/platform/ClassRegistry.h"
#include "replacement_host/platform/Processes.h"
#include "replacement_host/text/Utf.h"
#include "spreadsheet_app/Spreadsheet.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace {

namespace ss = tessly::spreadsheet;

constexpr CLSID kClassId = {0x00024500, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr const char16_t* kProgId = u"Excel.Application";
constexpr const char16_t* kSource = u"Spreadsheet";

using namespace exceltypelib;

struct Instance {
    ss::Application app;
    DWORD processId = 0;
    bool running = true;
};

// Running instances are kept alive by their process, not by their callers.
std::vector<std::shared_ptr<Instance>>& runningList()
{
    static std::vector<std::shared_ptr<Instance>> list;
    return list;
}

void end(const std::shared_ptr<Instance>& instance)
{
    if (!instance->running)
        return;
    instance->running = false;
    instance->app.quit();
    std::erase(runningList(), instance);
}

std::shared_ptr<Instance> startInstance()
{
    auto instance = std::make_shared<Instance>();
    std::weak_ptr<Instance> weak = instance;
    instance->processId = processes::start([weak] {
        if (auto i = weak.lock())
            end(i);
    });
    processes::addWindow(instance->processId, u"XLMAIN", [weak] {
        auto i = weak.lock();
        return i && !i->app.caption().empty() ? i->app.caption() : std::u16string(kSource);
    });
    runningList().push_back(instance);
    return instance;
}

// The arguments of one call in the order they are written.
class Args {
public:
    explicit Args(const DISPPARAMS* params) : m_params(params) {}
    unsigned count() const { return m_params ? m_params->cArgs : 0; }
    // Null when not passed or passed as omitted.
    const VARIANT* at(unsigned i) const
    {
        if (i >= count())
            return nullptr;
        const VARIANT& v = m_params->rgvarg[count() - 1 - i];
        return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND ? nullptr : &v;
    }
    HRESULT text(unsigned i, std::u16string& out) const
    {
        const VARIANT* v = at(i);
        if (!v)
            return DISP_E_PARAMNOTFOUND;
        if (v->vt != VT_BSTR)
            return DISP_E_BADVARTYPE;
        out = v->bstrVal;
        return 0;
    }
    HRESULT integer(unsigned i, int& out) const
    {
        const VARIANT* v = at(i);
        if (!v)
            return DISP_E_PARAMNOTFOUND;
        if (v->vt == VT_I4)
            out = v->lVal;
        else if (v->vt == VT_BOOL)
            out = v->boolVal ? 1 : 0;
        else
            return DISP_E_BADVARTYPE;
        return 0;
    }

private:
    const DISPPARAMS* m_params;
};

class Object : public IDispatch {
public:
    explicit Object(std::shared_ptr<Instance> instance) : m_instance(std::move(instance)) {}
    virtual ~Object() = default;

    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        ULONG n = --m_refs;
        if (n == 0)
            delete this;
        return n;
    }
    HRESULT Invoke(DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception) override
    {
        if (!m_instance->running)
            return RPC_E_DISCONNECTED;
        VARIANT out;
        HRESULT hr = 0;
        std::string message;
        try {
            hr = call(member, flags, Args(params), out);
        } catch (const ss::SpreadsheetError& e) {
            message = e.what();
        } catch (const std::bad_alloc&) {
            message = "Not enough memory.";
        } catch (const std::exception& e) {
            message = e.what();
        }
        if (!message.empty()) {
            if (exception)
                *exception = {kSource, utf::toUtf16(message), DISP_E_EXCEPTION};
            return DISP_E_EXCEPTION;
        }
        if (hr >= 0 && result)
            *result = std::move(out);
        return hr;
    }

protected:
    virtual HRESULT call(DISPID member, WORD flags, const Args& args, VARIANT& result) = 0;

    static HRESULT give(VARIANT& result, std::u16string text)
    {
        result.vt = VT_BSTR;
        result.bstrVal = std::move(text);
        return 0;
    }
    static HRESULT give(VARIANT& result, int value)
    {
        result.vt = VT_I4;
        result.lVal = value;
        return 0;
    }
    // Takes over the new object's only reference.
    static HRESULT give(VARIANT& result, Object* object)
    {
        result.vt = VT_DISPATCH;
        result.pdispVal = object;
        return 0;
    }

    std::shared_ptr<Instance> m_instance;

private:
    ULONG m_refs = 1;
};

constexpr bool is(WORD flags, WORD kind) { return (flags & kind) != 0; }

class RangeObject : public Object {
public:
    RangeObject(std::shared_ptr<Instance> i, ss::Range range) : Object(std::move(i)), m_range(std::move(range)) {}

protected:
    HRESULT call(DISPID member, WORD flags, const Args&, VARIANT& result) override
    {
        if (member == kText && is(flags, DISPATCH_PROPERTYGET))
            return give(result, m_range.text());
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    ss::Range m_range;
};

class WorksheetObject : public Object {
public:
    WorksheetObject(std::shared_ptr<Instance> i, ss::Worksheet sheet) : Object(std::move(i)), m_sheet(std::move(sheet)) {}

protected:
    HRESULT call(DISPID member, WORD flags, const Args& args, VARIANT& result) override
    {
        if (member == kName && is(flags, DISPATCH_PROPERTYGET))
            return give(result, m_sheet.name());
        if (member == kRange && is(flags, DISPATCH_PROPERTYGET)) {
            std::u16string first, second;
            if (HRESULT hr = args.text(0, first); hr < 0)
                return hr;
            if (args.at(1)) {
                if (HRESULT hr = args.text(1, second); hr < 0)
                    return hr;
                first += u":" + second;
            }
            return give(result, new RangeObject(m_instance, m_sheet.range(first)));
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    ss::Worksheet m_sheet;
};

class WorksheetsObject : public Object {
public:
    WorksheetsObject(std::shared_ptr<Instance> i, ss::Workbook book) : Object(std::move(i)), m_book(std::move(book)) {}

protected:
    HRESULT call(DISPID member, WORD flags, const Args& args, VARIANT& result) override
    {
        if (member == kCount && is(flags, DISPATCH_PROPERTYGET))
            return give(result, m_book.worksheetCount());
        if (member == kItem && is(flags, DISPATCH_PROPERTYGET)) {
            const VARIANT* index = args.at(0);
            if (index && index->vt == VT_BSTR)
                return give(result, new WorksheetObject(m_instance, m_book.worksheetByName(index->bstrVal)));
            int i = 0;
            if (HRESULT hr = args.integer(0, i); hr < 0)
                return hr;
            return give(result, new WorksheetObject(m_instance, m_book.worksheet(i)));
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    ss::Workbook m_book;
};

class WorkbookObject : public Object {
public:
    WorkbookObject(std::shared_ptr<Instance> i, ss::Workbook book) : Object(std::move(i)), m_book(std::move(book)) {}

protected:
    HRESULT call(DISPID member, WORD flags, const Args&, VARIANT& result) override
    {
        if (member == kFullName && is(flags, DISPATCH_PROPERTYGET))
            return give(result, m_book.fullName());
        if (member == kWorksheets && is(flags, DISPATCH_PROPERTYGET))
            return give(result, new WorksheetsObject(m_instance, m_book));
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    ss::Workbook m_book;
};

class WorkbooksObject : public Object {
public:
    using Object::Object;

protected:
    HRESULT call(DISPID member, WORD flags, const Args& args, VARIANT& result) override
    {
        ss::Application& app = m_instance->app;
        if (member == kCount && is(flags, DISPATCH_PROPERTYGET))
            return give(result, app.workbookCount());
        if (member == kItem && is(flags, DISPATCH_PROPERTYGET)) {
            int i = 0;
            if (HRESULT hr = args.integer(0, i); hr < 0)
                return hr;
            return give(result, new WorkbookObject(m_instance, app.workbook(i)));
        }
        if (member == kOpen && is(flags, DISPATCH_METHOD)) {
            // FileName and twelve optional arguments; every workbook is
            // opened read-only whatever ReadOnly says.
            if (args.count() > 13)
                return DISP_E_BADPARAMCOUNT;
            std::u16string path;
            if (HRESULT hr = args.text(0, path); hr < 0)
                return hr;
            return give(result, new WorkbookObject(m_instance, app.open(path)));
        }
        return DISP_E_MEMBERNOTFOUND;
    }
};

class ApplicationObject : public Object {
public:
    using Object::Object;

protected:
    HRESULT call(DISPID member, WORD flags, const Args& args, VARIANT& result) override
    {
        ss::Application& app = m_instance->app;
        switch (member) {
        case kCaption:
            if (is(flags, DISPATCH_PROPERTYPUT)) {
                std::u16string caption;
                if (HRESULT hr = args.text(0, caption); hr < 0)
                    return hr;
                app.setCaption(caption);
                return 0;
            }
            if (is(flags, DISPATCH_PROPERTYGET))
                return give(result, app.caption());
            break;
        case kDisplayAlerts:
            if (is(flags, DISPATCH_PROPERTYPUT)) {
                int on = 0;
                if (HRESULT hr = args.integer(0, on); hr < 0)
                    return hr;
                app.setDisplayAlerts(on != 0);
                return 0;
            }
            break;
        case kQuit:
            if (is(flags, DISPATCH_METHOD)) {
                processes::exit(m_instance->processId);
                end(m_instance);
                return 0;
            }
            break;
        case kWorkbooks:
            if (is(flags, DISPATCH_PROPERTYGET))
                return give(result, new WorkbooksObject(m_instance));
            break;
        default:
            break;
        }
        return DISP_E_MEMBERNOTFOUND;
    }
};

const bool registered = [] {
    classregistry::add(kProgId, kClassId, [](IDispatch** object) -> HRESULT {
        try {
            *object = new ApplicationObject(startInstance());
            return 0;
        } catch (...) {
            return CO_E_SERVER_EXEC_FAILURE;
        }
    });
    return true;
}();

}

namespace spreadsheetserver {

Counts counts() { return {ss::Application::startedCount(), ss::Application::openedCount()}; }

void resetCounts() { ss::Application::resetCounters(); }

DWORD startInstance(const std::u16string& caption)
{
    auto instance = ::startInstance();
    instance->app.setCaption(caption);
    return instance->processId;
}

int runningInstances() { return static_cast<int>(runningList().size()); }

}
