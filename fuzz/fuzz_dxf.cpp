// The DXF reader: any bytes as a .dxf file, read into a drawing and written
// back as our own drawing file when it loads.
#include "replacement_host/dxf/DxfFile.h"

#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 65536)
        return -1;
    static const std::string path = "/tmp/tessly-fuzz-" + std::to_string(getpid()) + ".dxf";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    dxf::LoadResult r = dxf::load(path);
    if (r.drawing.database)
        drawingfile::toText(*r.drawing.database, r.drawing.selected);
    dxf::loadNotes(r);
    return 0;
}
