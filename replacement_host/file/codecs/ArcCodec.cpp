// Drawing-file codec of arcs: {"center": [x, y, z], "radius": r,
// "startAngle": a, "endAngle": b}, angles in radians, counter-clockwise.
#include "host/dbarc.h"
#include "replacement_host/file/ObjectCodec.h"

#include <nlohmann/json.hpp>
#include <memory>

namespace drawingfile {
namespace {

const CodecRegistration arc({
    "arc",
    AcDbArc::desc(),
    ObjectCodec::Owner::kObject,
    [](const JsonIn& in) -> AcDbObject* {
        auto a = std::make_unique<AcDbArc>();
        a->setCenter(in.point("center"));
        if (a->setRadius(in.number("radius")) != Acad::eOk)
            in.fail("\"radius\" must be greater than 0");
        // number() has refused anything not finite, so the angles are taken.
        a->setStartAngle(in.number("startAngle"));
        a->setEndAngle(in.number("endAngle"));
        return a.release();
    },
    nullptr,
    [](const AcDbObject* obj, Json& j) {
        auto* a = AcDbArc::cast(obj);
        j["center"] = pointJson(a->center());
        j["radius"] = a->radius();
        j["startAngle"] = a->startAngle();
        j["endAngle"] = a->endAngle();
    },
});

}
}
