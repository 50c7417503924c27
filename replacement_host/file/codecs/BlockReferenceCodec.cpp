// Drawing-file codec of block references ("insert"): the block by handle,
// placement, and the values of a dynamic block's properties.
#include "host/dbblkref.h"
#include "host/dbsymtb.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/file/ObjectCodec.h"

#include <nlohmann/json.hpp>
#include <limits>
#include <numbers>

namespace drawingfile {
namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

AcGePoint3d readScale(const JsonIn& in)
{
    if (!in.has("scale"))
        return {1.0, 1.0, 1.0};
    if (in.json()["scale"].isNumber()) {
        double s = in.number("scale");
        return {s, s, s};
    }
    AcGePoint3d s = in.point("scale");
    // Two factors leave z unscaled.
    if (in.json()["scale"].size() == 2)
        s.z = 1.0;
    return s;
}

HostAccess::DynamicProperty readProperty(const JsonIn& p)
{
    if (!p.json().isObject())
        p.fail("must be an object {\"name\", \"type\", \"value\"}");
    HostAccess::DynamicProperty prop{p.text("name"), {}};
    long long type = p.integer("type", -1);
    const JsonValue v = p.json()["value"];
    auto wholeIn = [&](long long lo, long long hi) {
        if (!v.isInteger() || v.integer() < lo || v.integer() > hi)
            p.fail("\"value\" must be a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
        return v.integer();
    };
    switch (type) {
    case AcDbEvalVariant::kText: prop.value = AcDbEvalVariant(p.text("value").c_str()); break;
    case AcDbEvalVariant::kReal: prop.value = AcDbEvalVariant(p.number("value")); break;
    case AcDbEvalVariant::kInt16:
        prop.value = AcDbEvalVariant(static_cast<Adesk::Int16>(wholeIn(-32768, 32767)));
        break;
    case AcDbEvalVariant::kInt32:
        prop.value = AcDbEvalVariant(static_cast<Adesk::Int32>(
            wholeIn(std::numeric_limits<Adesk::Int32>::min(), std::numeric_limits<Adesk::Int32>::max())));
        break;
    default:
        if (type < 0 || type > 32767)
            p.fail("\"type\" must be a type code: 1 text, 40 real, 70 or 90 whole number, or another code");
        prop.value = AcDbEvalVariant::ofOtherType(static_cast<Adesk::Int16>(type));
    }
    return prop;
}

Json propertyJson(const HostAccess::DynamicProperty& prop)
{
    Json j;
    j["name"] = utf8(prop.name);
    j["type"] = prop.value.getType();
    AcString text;
    double real;
    Adesk::Int16 i16;
    Adesk::Int32 i32;
    if (prop.value.getValue(text) == Acad::eOk)
        j["value"] = utf8(text);
    else if (prop.value.getValue(real) == Acad::eOk)
        j["value"] = real;
    else if (prop.value.getValue(i16) == Acad::eOk)
        j["value"] = i16;
    else if (prop.value.getValue(i32) == Acad::eOk)
        j["value"] = i32;
    return j;
}

const CodecRegistration insert({
    "insert",
    AcDbBlockReference::desc(),
    ObjectCodec::Owner::kObject,
    [](const JsonIn& in) -> AcDbObject* {
        auto* ref = new AcDbBlockReference;
        try {
            ref->setPosition(in.point("position", {}));
            ref->setScaleFactors(readScale(in));
            ref->setRotation(in.number("rotation", 0.0) * kDegree);
            std::vector<HostAccess::DynamicProperty> props;
            const std::vector<JsonValue> list = in.array("properties");
            for (size_t i = 0; i < list.size(); ++i)
                props.push_back(readProperty(in.child(list[i], ".properties[" + std::to_string(i) + "]")));
            HostAccess::hostSetDynamicProperties(*ref, std::move(props));
        } catch (...) {
            delete ref;
            throw;
        }
        return ref;
    },
    [](const JsonIn& in, AcDbObject* obj) {
        AcDbObjectId block = in.objectId("block");
        if (!AcDbBlockTableRecord::cast(HostAccess::objectAt(*in.database(), block)))
            in.fail("\"block\" must name a block");
        AcDbBlockReference::cast(obj)->setBlockTableRecord(block);
    },
    [](const AcDbObject* obj, Json& j) {
        auto* ref = AcDbBlockReference::cast(obj);
        j["block"] = utf8(ref->blockTableRecord().handle().text());
        j["position"] = pointJson(ref->position());
        const AcGePoint3d& s = ref->scaleFactors();
        if (s.x != 1.0 || s.y != 1.0 || s.z != 1.0)
            j["scale"] = pointJson(s);
        if (ref->rotation() != 0.0)
            j["rotation"] = ref->rotation() / kDegree;
        if (!HostAccess::hostDynamicProperties(*ref).empty()) {
            Json props = Json::array();
            for (const auto& p : HostAccess::hostDynamicProperties(*ref))
                props.push_back(propertyJson(p));
            j["properties"] = std::move(props);
        }
    },
});

}
}
