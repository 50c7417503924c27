// The spreadsheet session; see the header. The session object is constant
// initialised, so it outlives the evaluators that quit it at unload; what it
// still holds then is released without quitting.
#include "external/ExcelSession.h"

#include "host/acutads.h"
#include "host/winuser.h"
#include "util/TextCase.h"

#include <string_view>

namespace {

constexpr const ACHAR* kProgId = u"Excel.Application";
constexpr const ACHAR* kSource = u"AsdkExcelCellEvaluator";
constexpr const ACHAR* kMainWindowClass = u"XLMAIN";

constinit excel::CApplication g_application;

BOOL matchMarked(HWND window, LPARAM data)
{
    ACHAR text[1024] = {};
    ACHAR className[260] = {};
    GetWindowTextW(window, text, 1024);
    GetClassNameW(window, className, 260);
    if (std::u16string_view(text).find(ExcelSession::kMarker) == std::u16string_view::npos)
        return 1;
    if (!textcase::equalsIgnoreCase(className, kMainWindowClass))
        return 1;
    *reinterpret_cast<HWND*>(data) = window;
    return 0;
}

}

bool ExcelSession::open()
{
    CLSID clsid;
    IDispatch* dispatch = nullptr;
    HRESULT hr = CLSIDFromProgID(kProgId, &clsid);
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, &dispatch);
    if (FAILED(hr) || !dispatch) {
        report(kCreateFailed, excel::messageOf(FAILED(hr) ? hr : CO_E_SERVER_EXEC_FAILURE));
        return false;
    }
    excel::CApplication application(dispatch);
    try {
        application.SetCaption(kMarker);
    } catch (const excel::AutomationError& e) {
        report(e.raisedByApplication ? kCreateRaised : kCreateOther, e.message);
        // Unmarked, nothing would ever end it.
        try {
            application.Quit();
        } catch (const excel::AutomationError&) {
        }
        return false;
    }
    g_application = application;
    return true;
}

bool ExcelSession::isOpen() { return !g_application.isNull(); }

void ExcelSession::close()
{
    if (g_application.isNull())
        return;
    // An application that has gone away fails both calls; it is released all the same.
    try {
        g_application.SetDisplayAlerts(false);
    } catch (const excel::AutomationError&) {
    }
    quit();
}

void ExcelSession::quit()
{
    if (g_application.isNull())
        return;
    try {
        g_application.Quit();
    } catch (const excel::AutomationError&) {
    }
    g_application.releaseDispatch();
}

void ExcelSession::terminateMarkedInstance()
{
    HWND found = nullptr;
    EnumWindows(matchMarked, reinterpret_cast<LPARAM>(&found));
    if (!found)
        return;
    DWORD processId = 0;
    GetWindowThreadProcessId(found, &processId);
    if (HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, 1, processId)) {
        TerminateProcess(process, 0);
        CloseHandle(process);
    }
}

const excel::CApplication& ExcelSession::application() { return g_application; }

void ExcelSession::report(int site, const AcString& message)
{
    AcString text = message.substr(0, 1023);
    acutPrintf(u"\n%s:%d:%s", kSource, site, text.c_str());
}
