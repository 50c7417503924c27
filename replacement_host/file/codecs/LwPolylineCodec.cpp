// Drawing-file codec of lightweight polylines: {"vertices": [[x, y, bulge?], ...],
// "closed": bool, "elevation": z}; at least one vertex.
#include "host/dbpl.h"
#include "replacement_host/file/ObjectCodec.h"
#include "replacement_host/file/codecs/PolylineVertices.h"

#include <memory>

namespace drawingfile {
namespace {

AcDbObject* createPolyline(const JsonIn& in)
{
    auto pl = std::make_unique<AcDbPolyline>();
    readPolylineVertices(in, *pl, [&](AcGePoint2d p, double bulge) { pl->addVertexAt(pl->numVerts(), p, bulge); });
    return pl.release();
}

void writePolyline(const AcDbObject* obj, Json& j) { writePolylineVertices(*AcDbPolyline::cast(obj), j); }

const CodecRegistration lwpolyline({"lwpolyline", AcDbPolyline::desc(), ObjectCodec::Owner::kObject, createPolyline,
                                    nullptr, writePolyline});

}
}
