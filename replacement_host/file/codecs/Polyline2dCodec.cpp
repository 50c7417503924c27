// Drawing-file codec of old-style 2D polylines: {"vertices": [[x, y, bulge?], ...],
// "closed": bool, "elevation": z, "fit": "curve" | "quadratic" | "cubic"}; the
// vertices are those of the path, at least one; "fit" is absent when none.
#include "host/db2dpoly.h"
#include "replacement_host/file/ObjectCodec.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace drawingfile {
namespace {

constexpr std::pair<const char*, AcDb2dPolyline::Poly2dType> kFits[] = {
    {"curve", AcDb2dPolyline::k2dFitCurvePoly},
    {"quadratic", AcDb2dPolyline::k2dQuadSplinePoly},
    {"cubic", AcDb2dPolyline::k2dCubicSplinePoly},
};

AcDbObject* createPolyline(const JsonIn& in)
{
    const Json& vertices = in.array("vertices");
    if (vertices.empty())
        in.fail("\"vertices\" must hold at least one vertex");
    auto pl = std::make_unique<AcDb2dPolyline>();
    for (size_t i = 0; i < vertices.size(); ++i) {
        const Json& v = vertices[i];
        bool ok = v.is_array() && (v.size() == 2 || v.size() == 3);
        for (size_t k = 0; ok && k < v.size(); ++k)
            ok = v[k].is_number() && std::isfinite(v[k].get<double>());
        if (!ok)
            in.fail("\"vertices\"[" + std::to_string(i) + "] must be [x, y] or [x, y, bulge] of finite numbers");
        pl->appendVertex({v[0].get<double>(), v[1].get<double>()}, v.size() == 3 ? v[2].get<double>() : 0.0);
    }
    pl->setClosed(in.boolean("closed", false));
    pl->setElevation(in.number("elevation", 0.0));
    if (in.has("fit")) {
        std::string fit = utf8(in.text("fit"));
        auto it = std::find_if(std::begin(kFits), std::end(kFits), [&](const auto& f) { return fit == f.first; });
        if (it == std::end(kFits))
            in.fail("\"fit\" must be \"curve\", \"quadratic\" or \"cubic\"");
        pl->setPolyType(it->second);
    }
    return pl.release();
}

void writePolyline(const AcDbObject* obj, Json& j)
{
    auto* pl = AcDb2dPolyline::cast(obj);
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
    for (const auto& [name, type] : kFits)
        if (pl->polyType() == type)
            j["fit"] = name;
}

const CodecRegistration polyline2d({"polyline2d", AcDb2dPolyline::desc(), ObjectCodec::Owner::kObject, createPolyline,
                                    nullptr, writePolyline});

}
}
