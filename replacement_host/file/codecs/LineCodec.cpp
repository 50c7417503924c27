// Drawing-file codec of lines: {"start": [x, y, z], "end": [x, y, z]}.
#include "host/dbline.h"
#include "replacement_host/file/ObjectCodec.h"

#include <nlohmann/json.hpp>

namespace drawingfile {
namespace {

const CodecRegistration line({
    "line",
    AcDbLine::desc(),
    ObjectCodec::Owner::kObject,
    [](const JsonIn& in) -> AcDbObject* { return new AcDbLine(in.point("start"), in.point("end")); },
    nullptr,
    [](const AcDbObject* obj, Json& j) {
        auto* l = AcDbLine::cast(obj);
        j["start"] = pointJson(l->startPoint());
        j["end"] = pointJson(l->endPoint());
    },
});

}
}
