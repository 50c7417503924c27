// ExcelSession: the one spreadsheet automation session of the process,
// opened on demand by spreadsheet cell fields and quit at the end of a pass.
// The instance it starts carries a marker in its caption, so one left behind
// can be found by its main window and ended. No call lets an automation
// error out.
#pragma once

#include "external/ExcelAutomation.h"

class ExcelSession {
public:
    // In the caption of every instance the session starts.
    static constexpr const ACHAR* kMarker = u"D076A9C0-F37C-4cf3-84E0-FD1D9566DEFC";

    // Places that print the report line.
    enum ReportSite : int {
        kCreateFailed = 400,  // the application could not be created
        kCreateRaised = 409,  // the application raised an error while being set up
        kCreateOther = 416,   // another error while setting it up
        kReadRaised = 332,    // the application raised an error while a cell was read
        kReadOther = 341,     // another error while a cell was read
    };

    // Starts the application and marks its caption; false, with the report
    // line printed, when that fails. Only called when not open.
    static bool open();
    static bool isOpen();
    // DisplayAlerts off, Quit, release. Nothing when not open.
    static void close();
    // Quit and release without the DisplayAlerts step: the cell evaluator's end.
    static void quit();
    // Ends the first running instance whose main window carries the marker.
    static void terminateMarkedInstance();
    // The open session's application object.
    static const excel::CApplication& application();
    // "\n%s:%d:%s" on the host's command line.
    static void report(int site, const AcString& message);
};
