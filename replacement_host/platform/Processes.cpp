// Processes and windows of the stand-in platform, and the window and
// process calls of host/winuser.h over them.
#include "replacement_host/platform/Processes.h"

#include <algorithm>
#include <map>
#include <vector>

namespace {

struct Window {
    HWND handle;
    DWORD processId;
    std::u16string className;
    std::function<std::u16string()> text;
};

struct Table {
    std::map<DWORD, std::function<void()>> processes;
    std::vector<Window> windows;  // in the system's order
    std::vector<processes::ForeignSource> sources;
    std::vector<Window> foreign;       // as the last enumeration found them
    DWORD nextProcessId = 0x40000000;  // above every process id of the system
    std::uintptr_t nextWindow = 0x10000;
};

Table& table()
{
    static Table t;
    return t;
}

const Window* findWindow(HWND handle)
{
    for (const auto* list : {&table().windows, &table().foreign})
        for (const Window& w : *list)
            if (w.handle == handle)
                return &w;
    return nullptr;
}

// Lists the real processes' windows again; a window keeps its handle while
// its process lives.
void refreshForeign()
{
    std::vector<Window> found;
    for (const processes::ForeignSource& source : table().sources) {
        for (processes::ForeignWindow& w : source.list()) {
            HWND handle = nullptr;
            for (const Window& old : table().foreign)
                if (old.processId == w.processId)
                    handle = old.handle;
            if (!handle)
                handle = reinterpret_cast<HWND>(table().nextWindow += 0x10);
            found.push_back({handle, w.processId, std::move(w.className), [text = std::move(w.text)] { return text; }});
        }
    }
    table().foreign = std::move(found);
}

const processes::ForeignSource* sourceOf(DWORD processId)
{
    for (const processes::ForeignSource& source : table().sources)
        if (source.isRunning(processId))
            return &source;
    return nullptr;
}

int copyOut(const std::u16string& text, ACHAR* out, int maxCount)
{
    if (!out || maxCount <= 0)
        return 0;
    int n = std::min(static_cast<int>(text.size()), maxCount - 1);
    std::copy_n(text.begin(), n, out);
    out[n] = 0;
    return n;
}

// A process handle remembers the process and the rights it was opened with.
struct ProcessHandle {
    DWORD processId;
    DWORD access;
};

}

namespace processes {

DWORD start(std::function<void()> onTerminate)
{
    DWORD id = table().nextProcessId += 4;
    table().processes[id] = std::move(onTerminate);
    return id;
}

void exit(DWORD processId)
{
    table().processes.erase(processId);
    std::erase_if(table().windows, [&](const Window& w) { return w.processId == processId; });
}

bool isRunning(DWORD processId) { return table().processes.count(processId) != 0; }

void addForeignSource(ForeignSource source) { table().sources.push_back(std::move(source)); }

HWND addWindow(DWORD processId, const std::u16string& className, std::function<std::u16string()> text)
{
    HWND handle = reinterpret_cast<HWND>(table().nextWindow += 0x10);
    table().windows.push_back({handle, processId, className, std::move(text)});
    return handle;
}

}

BOOL EnumWindows(WNDENUMPROC callback, LPARAM data)
{
    if (!callback)
        return 0;
    // A copy: the callback may end processes and so remove windows.
    refreshForeign();
    std::vector<HWND> handles;
    for (const auto* list : {&table().windows, &table().foreign})
        for (const Window& w : *list)
            handles.push_back(w.handle);
    for (HWND h : handles)
        if (findWindow(h) && !callback(h, data))
            return 0;
    return 1;
}

int GetWindowTextW(HWND window, ACHAR* text, int maxCount)
{
    const Window* w = findWindow(window);
    return copyOut(w && w->text ? w->text() : std::u16string(), text, maxCount);
}

int GetClassNameW(HWND window, ACHAR* name, int maxCount)
{
    const Window* w = findWindow(window);
    return copyOut(w ? w->className : std::u16string(), name, maxCount);
}

DWORD GetWindowThreadProcessId(HWND window, DWORD* processId)
{
    const Window* w = findWindow(window);
    if (processId)
        *processId = w ? w->processId : 0;
    return w ? w->processId + 1 : 0;
}

HANDLE OpenProcess(DWORD access, BOOL, DWORD processId)
{
    if (!processes::isRunning(processId) && !sourceOf(processId))
        return nullptr;
    return new ProcessHandle{processId, access};
}

BOOL TerminateProcess(HANDLE process, UINT)
{
    auto* handle = static_cast<ProcessHandle*>(process);
    if (!handle || !(handle->access & PROCESS_TERMINATE))
        return 0;
    auto found = table().processes.find(handle->processId);
    if (found == table().processes.end()) {
        const processes::ForeignSource* source = sourceOf(handle->processId);
        return source && source->terminate(handle->processId) ? 1 : 0;
    }
    std::function<void()> onTerminate = std::move(found->second);
    processes::exit(handle->processId);
    if (onTerminate)
        onTerminate();
    return 1;
}

BOOL CloseHandle(HANDLE handle)
{
    delete static_cast<ProcessHandle*>(handle);
    return handle ? 1 : 0;
}
