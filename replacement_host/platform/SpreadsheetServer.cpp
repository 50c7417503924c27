// The spreadsheet automation server: the application's objects behind the
// dispatch interface, answering the members the cell field uses by their
// ids. The application is the built-in stand-in, or LibreOffice Calc when
// TESSLY_SPREADSHEET says "libreoffice". Errors the application raises come
// back as DISP_E_EXCEPTION with their message; calls into an instance that
// has gone away fail with RPC_E_DISCONNECTED.
#include "replacement_host/platform/SpreadsheetServer.h"
#include "host/ExcelTypeLib.h"

#include "replacement_host/platform/ClassRegistry.h"
#include "replacement_host/platform/Processes.h"
#include "replacement_host/platform/SpreadsheetApplication.h"
#include "replacement_host/text/Utf.h"
#include "spreadsheet_app/Spreadsheet.h"
#include "spreadsheet_app/TextConvert.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

namespace {

namespace ss = tessly::spreadsheet;

constexpr CLSID kClassId = {0x00024500, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr const char16_t* kProgId = u"Excel.Application";
constexpr const char16_t* kSource = u"Spreadsheet";

using namespace exceltypelib;
using spreadsheetserver::Disconnected;

// The stand-in application over the spreadsheet library.
class BuiltinApplication final : public spreadsheetserver::Application {
public:
    bool running() const override { return !m_app.hasQuit(); }
    void setCaption(const std::u16string& caption) override { m_app.setCaption(caption); }
    std::u16string caption() const override { return m_app.caption(); }
    void setDisplayAlerts(bool on) override { m_app.setDisplayAlerts(on); }
    void quit() override { m_app.quit(); }
    int workbookCount() const override { return m_app.workbookCount(); }
    int open(const std::u16string& path) override
    {
        m_app.open(path);
        return m_app.workbookCount();
    }
    std::u16string fullName(int book) const override { return m_app.workbook(book).fullName(); }
    int worksheetCount(int book) const override { return m_app.workbook(book).worksheetCount(); }
    std::u16string worksheetName(int book, int sheet) const override
    {
        return m_app.workbook(book).worksheet(sheet).name();
    }
    int worksheetByName(int book, const std::u16string& name) const override
    {
        ss::Workbook workbook = m_app.workbook(book);
        for (int i = 1; i <= workbook.worksheetCount(); ++i)
            if (ss::equalsIgnoreCase(workbook.worksheet(i).name(), name))
                return i;
        workbook.worksheetByName(name);  // raises the application's error
        return 0;
    }
    std::function<std::u16string()> range(int book, int sheet, const std::u16string& reference) override
    {
        ss::Range range = m_app.workbook(book).worksheet(sheet).range(reference);
        return [range] { return range.text(); };
    }

private:
    ss::Application m_app;
};

struct Instance {
    std::unique_ptr<spreadsheetserver::Application> app;
    DWORD processId = 0;  // the built-in application's process; Calc's are real ones
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
    try {
        instance->app->quit();
    } catch (...) {
        // Gone already: nothing is left to close.
    }
    std::erase(runningList(), instance);
}

std::shared_ptr<Instance> startInstance()
{
    auto instance = std::make_shared<Instance>();
    instance->app = std::make_unique<BuiltinApplication>();
    std::weak_ptr<Instance> weak = instance;
    instance->processId = processes::start([weak] {
        if (auto i = weak.lock())
            end(i);
    });
    processes::addWindow(instance->processId, u"XLMAIN", [weak] {
        auto i = weak.lock();
        return i && !i->app->caption().empty() ? i->app->caption() : std::u16string(kSource);
    });
    runningList().push_back(instance);
    return instance;
}

// Calc runs in processes of its own; their windows are found by its server.
std::shared_ptr<Instance> startCalcInstance()
{
    auto instance = std::make_shared<Instance>();
    instance->app = spreadsheetserver::startCalc();
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
        if (!m_instance->app->running()) {
            end(m_instance);
            return RPC_E_DISCONNECTED;
        }
        VARIANT out;
        HRESULT hr = 0;
        std::string message;
        try {
            hr = call(member, flags, Args(params), out);
        } catch (const Disconnected&) {
            end(m_instance);
            return RPC_E_DISCONNECTED;
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
    RangeObject(std::shared_ptr<Instance> i, std::function<std::u16string()> text)
        : Object(std::move(i)), m_text(std::move(text))
    {
    }

protected:
    HRESULT call(DISPID member, WORD flags, const Args&, VARIANT& result) override
    {
        if (member == kText && is(flags, DISPATCH_PROPERTYGET))
            return give(result, m_text());
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    std::function<std::u16string()> m_text;
};

class WorksheetObject : public Object {
public:
    WorksheetObject(std::shared_ptr<Instance> i, int book, int sheet)
        : Object(std::move(i)), m_book(book), m_sheet(sheet)
    {
    }

protected:
    HRESULT call(DISPID member, WORD flags, const Args& args, VARIANT& result) override
    {
        if (member == kName && is(flags, DISPATCH_PROPERTYGET))
            return give(result, m_instance->app->worksheetName(m_book, m_sheet));
        if (member == kRange && is(flags, DISPATCH_PROPERTYGET)) {
            std::u16string first, second;
            if (HRESULT hr = args.text(0, first); hr < 0)
                return hr;
            if (args.at(1)) {
                if (HRESULT hr = args.text(1, second); hr < 0)
                    return hr;
                first += u":" + second;
            }
            return give(result, new RangeObject(m_instance, m_instance->app->range(m_book, m_sheet, first)));
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    int m_book;
    int m_sheet;
};

class WorksheetsObject : public Object {
public:
    WorksheetsObject(std::shared_ptr<Instance> i, int book) : Object(std::move(i)), m_book(book) {}

protected:
    HRESULT call(DISPID member, WORD flags, const Args& args, VARIANT& result) override
    {
        spreadsheetserver::Application& app = *m_instance->app;
        if (member == kCount && is(flags, DISPATCH_PROPERTYGET))
            return give(result, app.worksheetCount(m_book));
        if (member == kItem && is(flags, DISPATCH_PROPERTYGET)) {
            const VARIANT* index = args.at(0);
            if (index && index->vt == VT_BSTR)
                return give(result,
                            new WorksheetObject(m_instance, m_book, app.worksheetByName(m_book, index->bstrVal)));
            int i = 0;
            if (HRESULT hr = args.integer(0, i); hr < 0)
                return hr;
            app.worksheetName(m_book, i);  // raises for a number out of range
            return give(result, new WorksheetObject(m_instance, m_book, i));
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    int m_book;
};

class WorkbookObject : public Object {
public:
    WorkbookObject(std::shared_ptr<Instance> i, int book) : Object(std::move(i)), m_book(book) {}

protected:
    HRESULT call(DISPID member, WORD flags, const Args&, VARIANT& result) override
    {
        if (member == kFullName && is(flags, DISPATCH_PROPERTYGET))
            return give(result, m_instance->app->fullName(m_book));
        if (member == kWorksheets && is(flags, DISPATCH_PROPERTYGET))
            return give(result, new WorksheetsObject(m_instance, m_book));
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    int m_book;
};

class WorkbooksObject : public Object {
public:
    using Object::Object;

protected:
    HRESULT call(DISPID member, WORD flags, const Args& args, VARIANT& result) override
    {
        spreadsheetserver::Application& app = *m_instance->app;
        if (member == kCount && is(flags, DISPATCH_PROPERTYGET))
            return give(result, app.workbookCount());
        if (member == kItem && is(flags, DISPATCH_PROPERTYGET)) {
            int i = 0;
            if (HRESULT hr = args.integer(0, i); hr < 0)
                return hr;
            app.fullName(i);  // raises for a number out of range
            return give(result, new WorkbookObject(m_instance, i));
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
        spreadsheetserver::Application& app = *m_instance->app;
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
                if (m_instance->processId)
                    processes::exit(m_instance->processId);
                end(m_instance);
                return 0;
            }
            break;
        case kWorkbooks:
            if (is(flags, DISPATCH_PROPERTYGET))
                return give(result, new WorkbooksObject(m_instance));
            break;
        default: break;
        }
        return DISP_E_MEMBERNOTFOUND;
    }
};

bool sameWord(std::string_view a, std::string_view b) { return ss::equalsIgnoreCase(ss::toUtf16(a), ss::toUtf16(b)); }

const bool registered = [] {
    classregistry::add(kProgId, kClassId, [](IDispatch** object) -> HRESULT {
        const char* chosen = std::getenv(spreadsheetserver::kChoiceVariable);
        std::string_view choice = chosen ? chosen : "";
        try {
            if (choice.empty() || sameWord(choice, "builtin")) {
                *object = new ApplicationObject(startInstance());
                return 0;
            }
            if (sameWord(choice, "libreoffice")) {
                *object = new ApplicationObject(startCalcInstance());
                return 0;
            }
            classregistry::setFailureReason(CO_E_SERVER_EXEC_FAILURE,
                                            utf::toUtf16(std::string(spreadsheetserver::kChoiceVariable) + " is '" +
                                                         std::string(choice) + "'; it can be builtin or libreoffice"));
        } catch (const spreadsheetserver::StartFailure& failure) {
            classregistry::setFailureReason(CO_E_SERVER_EXEC_FAILURE, failure.reason);
        } catch (...) {
        }
        return CO_E_SERVER_EXEC_FAILURE;
    });
    return true;
}();

}

namespace spreadsheetserver {

Counts counts()
{
    return {ss::Application::startedCount() + calcStarts(), ss::Application::openedCount() + calcWorkbooksOpened()};
}

void resetCounts()
{
    ss::Application::resetCounters();
    resetCalcCounts();
}

DWORD startInstance(const std::u16string& caption)
{
    auto instance = ::startInstance();
    instance->app->setCaption(caption);
    return instance->processId;
}

int runningInstances()
{
    // An application that stopped by itself is not running.
    std::vector<std::shared_ptr<Instance>> stopped;
    for (const auto& instance : runningList())
        if (!instance->app->running())
            stopped.push_back(instance);
    for (const auto& instance : stopped)
        end(instance);
    return static_cast<int>(runningList().size());
}

}
