// The DXF reader and writer: any bytes as a .dxf file, read into a drawing,
// written back as our own drawing file and as DXF by passing the file
// through; the DXF written must read again with the same fields, showing
// the same, and write again unchanged.
#include "host/dbfield.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/dxf/DxfFile.h"
#include "replacement_host/dxf/DxfSource.h"
#include "replacement_host/dxf/DxfWriter.h"
#include "replacement_host/text/Utf.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <unistd.h>

namespace {

// Every field of the drawing: its code and what it shows, in drawing order.
// The fields as a sorted list: objects may come back in another order (a
// record kept from a section nested in another is written where it stood,
// renumbered handles get numbers anew), and that changes no field.
std::vector<std::string> fieldsOf(const AcDbDatabase& db)
{
    std::vector<std::string> out;
    for (AcDbObjectId id : db.objectIds())
        if (auto* f = AcDbField::cast(HostAccess::objectAt(db, id));
            f && !f->isErased() && !AcDbField::cast(HostAccess::objectAt(db, f->ownerId())))
            out.push_back(utf::toUtf8(f->getFieldCode(AcDbField::kTextField)) + "\n=" + utf::toUtf8(f->getValue()));
    std::sort(out.begin(), out.end());
    return out;
}

void writeFile(const std::string& path, const std::string& bytes)
{
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 65536)
        return -1;
    static const std::string path = "/tmp/tessly-fuzz-" + std::to_string(getpid()) + ".dxf";
    static const std::string again = "/tmp/tessly-fuzz-" + std::to_string(getpid()) + "-again.dxf";
    writeFile(path, std::string(reinterpret_cast<const char*>(data), size));
    dxf::LoadResult r = dxf::load(path);
    dxf::loadNotes(r);
    if (!r.drawing.database)
        return 0;
    drawingfile::toText(*r.drawing.database, r.drawing.selected);
    dxf::WriteResult w = dxf::write(*r.drawing.database);
    if (!w.error.empty())
        return 0;
    writeFile(again, w.text);
    dxf::LoadResult back = dxf::load(again);
    // What the reader took, it takes again after a save, with the same fields.
    if (!back.drawing.database || fieldsOf(*back.drawing.database) != fieldsOf(*r.drawing.database))
        std::abort();
    if (dxf::write(*back.drawing.database).text != w.text)
        std::abort();
    return 0;
}
