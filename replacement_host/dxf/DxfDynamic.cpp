// Current property values of dynamic block references, read from the
// reference's extension dictionary (AcDbBlockRepresentation / AppDataCache /
// ACAD_ENHANCEDBLOCKDATA, one XRECORD per parameter node) and named by the
// parameter objects of the dynamic definition's evaluation graph.
#include "replacement_host/dxf/DxfFieldRecord.h"

#include "host/dbblkref.h"

namespace dxf {

void FileObjects::noteInsert(AcDbBlockReference* ref, const Record& record)
{
    if (!record.xdictionary.empty())
        m_inserts.push_back({ref, record.xdictionary});
}

void FileObjects::finishInserts(AcDbDatabase&) {}

}
