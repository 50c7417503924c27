// Drawing-file codec of circles: {"center": [x, y, z], "radius": r}.
#include "host/dbcircle.h"
#include "replacement_host/file/ObjectCodec.h"

#include <nlohmann/json.hpp>
#include <memory>

namespace drawingfile {
namespace {

const CodecRegistration circle({
    "circle",
    AcDbCircle::desc(),
    ObjectCodec::Owner::kObject,
    [](const JsonIn& in) -> AcDbObject* {
        auto c = std::make_unique<AcDbCircle>();
        c->setCenter(in.point("center"));
        if (c->setRadius(in.number("radius")) != Acad::eOk)
            in.fail("\"radius\" must be greater than 0");
        return c.release();
    },
    nullptr,
    [](const AcDbObject* obj, Json& j) {
        auto* c = AcDbCircle::cast(obj);
        j["center"] = pointJson(c->center());
        j["radius"] = c->radius();
    },
});

}
}
