// Drawing-file codec of lightweight polylines: {"vertices": [[x, y, bulge?], ...],
// "closed": bool, "elevation": z}; at least one vertex.
#include "host/dbpl.h"
#include "replacement_host/file/ObjectCodec.h"

#include <cmath>
#include <memory>

namespace drawingfile {
namespace {

AcDbObject* createPolyline(const JsonIn& in)
{
    const Json& vertices = in.array("vertices");
    if (vertices.empty())
        in.fail("\"vertices\" must hold at least one vertex");
    auto pl = std::make_unique<AcDbPolyline>();
    for (size_t i = 0; i < vertices.size(); ++i) {
        const Json& v = vertices[i];
        bool ok = v.is_array() && (v.size() == 2 || v.size() == 3);
        for (size_t k = 0; ok && k < v.size(); ++k)
            ok = v[k].is_number() && std::isfinite(v[k].get<double>());
        if (!ok)
            in.fail("\"vertices\"[" + std::to_string(i) + "] must be [x, y] or [x, y, bulge] of finite numbers");
        double bulge = v.size() == 3 ? v[2].get<double>() : 0.0;
        pl->addVertexAt(pl->numVerts(), {v[0].get<double>(), v[1].get<double>()}, bulge);
    }
    pl->setClosed(in.boolean("closed", false));
    pl->setElevation(in.number("elevation", 0.0));
    return pl.release();
}

void writePolyline(const AcDbObject* obj, Json& j)
{
    auto* pl = AcDbPolyline::cast(obj);
    Json vertices = Json::array();
    for (unsigned int i = 0; i < pl->numVerts(); ++i) {
        AcGePoint2d p;
        double bulge = 0.0;
        pl->getPointAt(i, p);
        pl->getBulgeAt(i, bulge);
        vertices.push_back(bulge == 0.0 ? Json::array({p.x, p.y}) : Json::array({p.x, p.y, bulge}));
    }
    j["vertices"] = vertices;
    j["closed"] = pl->isClosed();
    if (pl->elevation() != 0.0)
        j["elevation"] = pl->elevation();
}

const CodecRegistration lwpolyline({"lwpolyline", AcDbPolyline::desc(), ObjectCodec::Owner::kObject, createPolyline,
                                    nullptr, writePolyline});

}
}
