// The spreadsheet application as an automation server: registered under
// "Excel.Application", each instance a process with a main window of class
// "XLMAIN" whose text is the application's caption. Which application
// starts is read from the environment variable TESSLY_SPREADSHEET when one
// is created: "builtin" (the stand-in, also when unset) or "libreoffice".
#pragma once

#include "host/winuser.h"

#include <string>

namespace spreadsheetserver {

inline constexpr const char* kChoiceVariable = "TESSLY_SPREADSHEET";

// Instances started and workbooks opened since the last reset, in either
// application.
struct Counts {
    int starts = 0;
    int workbooksOpened = 0;
};
Counts counts();
void resetCounts();

// A built-in instance started apart from automation (by the user, or left
// behind by an earlier session): its process id.
DWORD startInstance(const std::u16string& caption);
int runningInstances();

}
