// The platform's processes and top-level windows as the stand-in
// applications create them: what EnumWindows, OpenProcess and
// TerminateProcess work over.
#pragma once

#include "host/winuser.h"

#include <functional>
#include <string>
#include <vector>

namespace processes {

// A new running process; onTerminate runs when another process ends it.
DWORD start(std::function<void()> onTerminate);
// The process ended by itself; its windows go with it.
void exit(DWORD processId);
bool isRunning(DWORD processId);
// A top-level window of the process, the last in the system's order; its
// text is read when asked for.
HWND addWindow(DWORD processId, const std::u16string& className, std::function<std::u16string()> text);

// Main windows of real processes, listed afresh at every enumeration after
// the stand-in ones. Their process ids are the system's, below those the
// stand-in gives.
struct ForeignWindow {
    DWORD processId;
    std::u16string className;
    std::u16string text;
};
struct ForeignSource {
    std::function<std::vector<ForeignWindow>()> list;
    std::function<bool(DWORD processId)> isRunning;
    std::function<bool(DWORD processId)> terminate;
};
void addForeignSource(ForeignSource source);

}
