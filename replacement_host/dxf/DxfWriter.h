// Writing a drawing read from DXF back as DXF by passing its file through:
// every line that need not change is copied as read; for each field of ours
// that was evaluated, the FIELD object's cache, display and status, the
// wrapper's text checksum, the holder's text and, for a table cell, the
// table's cell record and the cell's drawn MTEXT take the new value. Codes
// typed as plain text become FIELD objects. `dxf::write` is the interface.
#pragma once

#include "host/dbmain.h"

#include <string>

namespace dxf {

struct WriteResult {
    std::string text;                // the new file
    std::string error;               // when not empty, the text is not usable
    std::vector<std::string> notes;  // what was left as it was, and why
};

// The drawing's file with the new values; the drawing must come from DXF.
WriteResult write(const AcDbDatabase& db);
// Writes it to path atomically; gives the error line or empty.
std::string save(const AcDbDatabase& db, const std::string& path, std::vector<std::string>* notes = nullptr);

}
