// The drawing file: our own JSON format (see docs/drawing-format.md). Load
// gives a database or one error line; save writes a temporary file and
// renames it over the old one, so a failed save never leaves half a drawing.
#pragma once

#include "host/dbmain.h"

#include <memory>
#include <string>

namespace drawingfile {

struct LoadResult {
    std::unique_ptr<AcDbDatabase> database;
    std::string error;  // "file: where: what is wrong" when database is null
    // The object the sibling library holds as selected; null when none.
    AcDbObjectId selected;
};

LoadResult load(const std::string& path);
LoadResult loadFromText(const std::string& text, const std::string& name);
// Gives an empty text on success, else the error line.
std::string save(AcDbDatabase& db, const std::string& path, AcDbObjectId selected = AcDbObjectId());
std::string toText(AcDbDatabase& db, AcDbObjectId selected = AcDbObjectId());
// Writes text to path through a temporary file renamed over it, keeping the
// old file's permissions; gives an empty text on success, else the error line.
std::string writeAtomically(const std::string& path, const std::string& text);

}
