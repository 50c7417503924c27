// The DXF entity kinds read on their own: each one a small maker that builds
// the host entity from its record. Kinds that need their neighbours (INSERT
// with its ATTRIBs, POLYLINE with its VERTEXes) are read by the loader.
#pragma once

#include "host/dbmain.h"
#include "host/geometry.h"
#include "replacement_host/dxf/DxfRecord.h"

#include <memory>
#include <string_view>

namespace dxf {

// Gives null when the geometry cannot be shown (a circle of radius 0, say):
// such an entity is skipped and counted, as CAD programs drop it on import.
using EntityMaker = std::unique_ptr<AcDbEntity> (*)(const Record&);

// The maker of a kind ("LINE", "CIRCLE", ...), or null for kinds not read here.
EntityMaker entityMaker(std::string_view type);

AcGePoint3d point(const Record& r, int xCode, const AcGePoint3d& fallback = {});

}
