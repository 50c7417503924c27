// ExcelSession: the one spreadsheet automation session of the process,
// opened on demand by spreadsheet cell fields and quit at the end of a pass.
#pragma once

class ExcelSession {
public:
    // Quits the application if a session is open and releases it; never throws.
    static void close();
    // Ends a spreadsheet application left running by an earlier session.
    static void terminateMarkedInstance();
};
