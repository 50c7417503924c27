// Reading drawings from ASCII DXF files (R12 to R2018) into the host's
// database: layers, block records and definitions, model space and paper-space
// layouts, and the entities the host knows; others are skipped and counted.
// Binary DXF and DWG are recognised and refused with a clear message.
#pragma once

#include "replacement_host/file/DrawingFile.h"

#include <string>
#include <utility>
#include <vector>

namespace dxf {

struct LoadResult {
    drawingfile::LoadResult drawing;  // database, or the error "file: line N: what"
    // Entity kinds passed over, with how many, most frequent first.
    std::vector<std::pair<std::string, int>> skipped;
    int kept2dPolylines = 0;  // 2D polylines kept as such, not made lightweight
    // Objects whose handle an earlier object had: the file's handle, the new one.
    std::vector<std::pair<std::string, std::string>> renumbered;
    // Fields and tables that could not be read, "line N: what"; the rest loaded.
    std::vector<std::string> problems;
};

// A .dxf or .dwg name, or content that starts like DXF or DWG.
bool isDxfOrDwg(const std::string& path);
LoadResult load(const std::string& path);
// "skipped 12 HATCH, 3 SPLINE", or empty when nothing was skipped.
std::string skippedText(const LoadResult& result);
// The lines to show after loading, without the file name: what was skipped
// and kept ("skipped 2 HATCH; kept 3 2D polylines"), handles renumbered,
// then one line per field or table that could not be read.
std::vector<std::string> loadNotes(const LoadResult& result);

}
