// Drawing-file codec of points: a position.
#include "host/dbpoint.h"
#include "replacement_host/file/ObjectCodec.h"

#include <nlohmann/json.hpp>

namespace drawingfile {
namespace {

const CodecRegistration point({
    "point",
    AcDbPoint::desc(),
    ObjectCodec::Owner::kObject,
    [](const JsonIn& in) -> AcDbObject* { return new AcDbPoint(in.point("position")); },
    nullptr,
    [](const AcDbObject* obj, Json& j) { j["position"] = pointJson(AcDbPoint::cast(obj)->position()); },
});

}
}
