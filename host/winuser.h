// Windows and processes of the platform: the top-level windows with their
// text, class name and owning process, and ending a process.
#pragma once

#include "host/adesk.h"

#include <cstdint>

using BOOL = int;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LPARAM = std::intptr_t;
using HANDLE = void*;
struct HWND__;
using HWND = HWND__*;
using WNDENUMPROC = BOOL (*)(HWND window, LPARAM data);

// Access rights to a process, numbered as the platform numbers them.
constexpr DWORD PROCESS_TERMINATE = 0x00000001;  // may be terminated
constexpr DWORD SYNCHRONIZE = 0x00100000;        // may be waited for

// Calls back once per top-level window, in the system's order, until the
// callback gives FALSE. FALSE when the walk was stopped early.
BOOL EnumWindows(WNDENUMPROC callback, LPARAM data);
// At most maxCount - 1 characters and a terminating zero; the count copied.
int GetWindowTextW(HWND window, ACHAR* text, int maxCount);
int GetClassNameW(HWND window, ACHAR* name, int maxCount);
// The window's thread id; its process id into processId when not null.
DWORD GetWindowThreadProcessId(HWND window, DWORD* processId);
// A handle to the process, or null when there is none with this id.
HANDLE OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId);
// Ends the process at once; FALSE when the handle lacks the right to.
BOOL TerminateProcess(HANDLE process, UINT exitCode);
BOOL CloseHandle(HANDLE handle);
