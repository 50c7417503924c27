// The drawing-file reader: any text as a drawing file, written back when it
// loads, as a save would.
#include "replacement_host/file/DrawingFile.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 16384)
        return -1;
    drawingfile::LoadResult r =
        drawingfile::loadFromText(std::string(reinterpret_cast<const char*>(data), size), "fuzz.json");
    if (r.database)
        drawingfile::toText(*r.database, r.selected);
    return 0;
}
