// Drawing-file codec of attributes: a tag and a text, owned by the block
// reference named by "owner"; field codes in the text become fields.
#include "host/dbattr.h"
#include "host/dbblkref.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/file/FieldState.h"
#include "replacement_host/file/ObjectCodec.h"
#include <nlohmann/json.hpp>
#include <memory>

namespace drawingfile {
namespace {

const CodecRegistration attribute({
    "attribute",
    AcDbAttribute::desc(),
    ObjectCodec::Owner::kObject,
    [](const JsonIn& in) -> AcDbObject* {
        if (!in.has("owner"))
            in.fail("\"owner\" is missing: an attribute belongs to a block reference");
        AcString tag = in.text("tag");
        if (tag.empty())
            in.fail("\"tag\" must not be empty");
        auto attr = std::make_unique<AcDbAttribute>();
        HostAccess::hostSetMakesOwnFields(*attr, false);
        attr->setTag(tag.c_str());
        attr->setTextString(in.text("text", u"").c_str());
        attr->setPosition(in.point("position", {}));
        attr->setHeight(in.number("height", 2.5));
        return attr.release();
    },
    [](const JsonIn& in, AcDbObject* obj) {
        auto* attr = AcDbAttribute::cast(obj);
        if (!AcDbBlockReference::cast(HostAccess::objectAt(*in.database(), attr->ownerId())))
            in.fail("\"owner\" must name a block reference (\"insert\")");
        for (AcDbObjectId id : attachFields(in, attr, attr->textStringConst()))
            HostAccess::hostAddField(*attr, id);
        HostAccess::hostSetMakesOwnFields(*attr, true);
    },
    [](const AcDbObject* obj, Json& j) {
        auto* attr = AcDbAttribute::cast(obj);
        j["tag"] = utf8(attr->tagConst());
        j["text"] = utf8(attr->textStringConst());
        j["position"] = pointJson(attr->position());
        j["height"] = attr->height();
        if (!attr->fieldIds().empty())
            j["fields"] = fieldsJson(attr->fieldIds());
    },
});

}
}
