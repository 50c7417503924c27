// The platform's processes and top-level windows as the stand-in
// applications create them: what EnumWindows, OpenProcess and
// TerminateProcess work over.
#pragma once

#include "host/winuser.h"

#include <functional>
#include <string>

namespace processes {

// A new running process; onTerminate runs when another process ends it.
DWORD start(std::function<void()> onTerminate);
// The process ended by itself; its windows go with it.
void exit(DWORD processId);
bool isRunning(DWORD processId);
// A top-level window of the process, the last in the system's order; its
// text is read when asked for.
HWND addWindow(DWORD processId, const std::u16string& className, std::function<std::u16string()> text);

}
