// Drawing-file codec of old-style 2D polylines: {"vertices": [[x, y, bulge?], ...],
// "closed": bool, "elevation": z, "fit": "curve" | "quadratic" | "cubic"}; the
// vertices are those of the path, at least one; "fit" is absent when none.
#include "host/db2dpoly.h"
#include "replacement_host/file/ObjectCodec.h"
#include "replacement_host/file/codecs/PolylineVertices.h"

#include <algorithm>
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
    auto pl = std::make_unique<AcDb2dPolyline>();
    readPolylineVertices(in, *pl, [&](AcGePoint2d p, double bulge) { pl->appendVertex(p, bulge); });
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
    writePolylineVertices(*pl, j);
    for (const auto& [name, type] : kFits)
        if (pl->polyType() == type)
            j["fit"] = name;
}

const CodecRegistration polyline2d({"polyline2d", AcDb2dPolyline::desc(), ObjectCodec::Owner::kObject, createPolyline,
                                    nullptr, writePolyline});

}
}
