// Drawing-file codecs of layers and block definitions.
#include "host/dbsymtb.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/file/ObjectCodec.h"
#include <nlohmann/json.hpp>
#include <memory>

namespace drawingfile {
namespace {

AcString recordName(const JsonIn& in)
{
    AcString name = in.text("name");
    if (name.empty())
        in.fail("\"name\" must not be empty");
    return name;
}

const CodecRegistration layer({
    "layer",
    AcDbLayerTableRecord::desc(),
    ObjectCodec::Owner::kLayerTable,
    [](const JsonIn& in) -> AcDbObject* {
        AcString name = recordName(in);
        auto* rec = new AcDbLayerTableRecord;
        rec->setName(name.c_str());
        return rec;
    },
    nullptr,
    [](const AcDbObject* obj, Json& j) { j["name"] = utf8(AcDbLayerTableRecord::cast(obj)->name()); },
});

const CodecRegistration block({
    "block",
    AcDbBlockTableRecord::desc(),
    ObjectCodec::Owner::kBlockTable,
    [](const JsonIn& in) -> AcDbObject* {
        AcString name = recordName(in);
        auto rec = std::make_unique<AcDbBlockTableRecord>();
        rec->setName(name.c_str());
        bool layoutName =
            name == AcDbBlockTableRecord::kModelSpace || name.starts_with(AcDbBlockTableRecord::kPaperSpace);
        rec->setIsLayout(in.boolean("layout", layoutName));
        if (in.has("xref")) {
            JsonIn x = in.child(in.json()["xref"], ".xref");
            if (!x.json().isObject())
                x.fail("must be an object {\"path\", \"overlay\", \"unloaded\"}");
            rec->setXref(x.text("path"), x.boolean("overlay", false), x.boolean("unloaded", false));
        }
        rec->setIsDynamicBlock(in.boolean("dynamic", false));
        rec->setOrigin(in.point("base", {}));
        return rec.release();
    },
    [](const JsonIn& in, AcDbObject* obj) {
        AcDbObjectId dyn = in.objectIdOrNull("dynamicBlock");
        if (!dyn.isNull() && !AcDbBlockTableRecord::cast(HostAccess::objectAt(*in.database(), dyn)))
            in.fail("\"dynamicBlock\" must name a block");
        AcDbBlockTableRecord::cast(obj)->setDynamicBlockId(dyn);
    },
    [](const AcDbObject* obj, Json& j) {
        auto* rec = AcDbBlockTableRecord::cast(obj);
        j["name"] = utf8(rec->name());
        if (rec->isLayout())
            j["layout"] = true;
        if (rec->isFromExternalReference())
            j["xref"] = {{"path", utf8(rec->pathName())},
                         {"overlay", rec->isFromOverlayReference()},
                         {"unloaded", rec->isUnloaded()}};
        if (rec->isDynamicBlock())
            j["dynamic"] = true;
        if (AcGePoint3d base = rec->origin(); base.x != 0 || base.y != 0 || base.z != 0)
            j["base"] = pointJson(base);
        if (!rec->dynamicBlockId().isNull())
            j["dynamicBlock"] = utf8(rec->dynamicBlockId().handle().text());
    },
});

}
}
