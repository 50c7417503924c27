// The stand-in spreadsheet application as an automation server: registered
// under "Excel.Application", each instance a process with a main window of
// class "XLMAIN" whose text is the application's caption.
#pragma once

#include "host/winuser.h"

#include <string>

namespace spreadsheetserver {

// Instances started and workbooks opened since the last reset.
struct Counts {
    int starts = 0;
    int workbooksOpened = 0;
};
Counts counts();
void resetCounts();

// An instance started apart from automation (by the user, or left behind by
// an earlier session): its process id.
DWORD startInstance(const std::u16string& caption);
int runningInstances();

}
