// Field state in drawing files; see the header.
#include "replacement_host/file/FieldState.h"
#include "replacement_host/HostAccess.h"

#include "host/dbfield.h"
#include "replacement_host/fields/FieldText.h"
#include "replacement_host/text/Utf.h"

#include <nlohmann/json.hpp>
#include <cmath>

namespace drawingfile {

void readXdata(const JsonIn& in, AcDbObject* object)
{
    const JsonValue x = in.get("xdata");
    if (!x.present())
        return;
    if (!x.isObject())
        in.fail("\"xdata\" must be an object of texts by application name");
    for (const auto& [app, text] : x.members()) {
        if (!text.isString())
            in.fail("\"xdata\"." + std::string(app) + " must be a text");
        object->setXdataText(utf::toUtf16(app), utf::toUtf16(text.string()));
    }
}

void writeXdata(const AcDbObject* object, Json& j)
{
    if (object->xdata().empty())
        return;
    Json x = Json::object();
    for (auto& [app, text] : object->xdata())
        x[utf8(app)] = utf8(text);
    j["xdata"] = x;
}

Json valueJson(const AcValue& value)
{
    switch (value.dataType()) {
    case AcValue::kLong: {
        Adesk::Int32 v = 0;
        value.get(v);
        return {{"type", "integer"}, {"value", v}};
    }
    case AcValue::kDouble: {
        double v = 0;
        value.get(v);
        // JSON has no infinities: they are written as text.
        if (std::isnan(v))
            return {{"type", "real"}, {"value", "nan"}};
        if (std::isinf(v))
            return {{"type", "real"}, {"value", v > 0 ? "inf" : "-inf"}};
        return {{"type", "real"}, {"value", v}};
    }
    case AcValue::kString: {
        AcString s;
        value.get(s);
        return {{"type", "text"}, {"value", utf8(s)}};
    }
    default: return nullptr;
    }
}

AcValue valueFromJson(const JsonIn& in, JsonValue json)
{
    AcValue value;
    if (json.isNull())
        return value;
    JsonIn v = in.child(json, "");
    if (!json.isObject())
        in.fail("a value must be null or {\"type\": ..., \"value\": ...}");
    AcString type = v.text("type");
    if (type == u"integer") {
        long long n = v.integer("value", 0);
        if (n < INT32_MIN || n > INT32_MAX)
            in.fail("an integer value must fit in 32 bits");
        value.set(static_cast<Adesk::Int32>(n));
    } else if (type == u"real") {
        const JsonValue raw = json["value"];
        if (raw.isString()) {
            std::string_view s = raw.string();
            if (s == "nan")
                value.set(std::nan(""));
            else if (s == "inf")
                value.set(HUGE_VAL);
            else if (s == "-inf")
                value.set(-HUGE_VAL);
            else
                in.fail("a real value must be a number, \"inf\", \"-inf\" or \"nan\"");
        } else {
            value.set(v.number("value"));
        }
    } else if (type == u"text") {
        value.set(v.text("value").c_str());
    } else {
        in.fail("a value's \"type\" must be \"integer\", \"real\" or \"text\"");
    }
    return value;
}

namespace {
// Gives the saved handles to the field and its nested fields before they are added.
void wishHandles(const JsonIn& in, AcDbField* field, JsonValue saved)
{
    JsonIn s = in.child(saved, "");
    if (!saved.isObject())
        in.fail("must be an object");
    AcDbHandle handle;
    if (const JsonValue h = s.get("handle"); h.present()) {
        if (!h.isString() || !parseHandle(h.string(), handle))
            s.fail("\"handle\" must be a handle (hexadecimal text)");
        HostAccess::hostWishHandle(*field, handle);
    }
    const std::vector<JsonValue> children = s.array("children");
    if (!children.empty() && children.size() != field->children().size())
        s.fail("has " + std::to_string(children.size()) + " nested fields, its code has " +
               std::to_string(field->children().size()));
    for (size_t i = 0; i < children.size(); ++i)
        wishHandles(s.child(children[i], ".children[" + std::to_string(i) + "]"), field->children()[i], children[i]);
}

void restoreState(const JsonIn& in, AcDbField* field, JsonValue saved)
{
    JsonIn s = in.child(saved, "");
    if (const JsonValue data = s.get("data"); data.present()) {
        if (!data.isObject())
            s.fail("\"data\" must be an object");
        for (const auto& [key, value] : data.members()) {
            AcValue v = valueFromJson(s.child(value, ".data." + std::string(key)), value);
            field->setData(utf::toUtf16(key).c_str(), &v);
        }
    }
    readXdata(s, field);
    long long status = s.integer("status", AcDbField::kNotYetEvaluated);
    const JsonValue savedValue = s.get("value");
    AcValue value = valueFromJson(s.child(savedValue, ".value"), savedValue);
    HostAccess::hostRestoreState(*field, value, static_cast<int>(status));
    const std::vector<JsonValue> children = s.array("children");
    for (size_t i = 0; i < children.size(); ++i)
        restoreState(s.child(children[i], ".children[" + std::to_string(i) + "]"), field->children()[i], children[i]);
}
}

std::vector<AcDbObjectId> attachFields(const JsonIn& in, AcDbObject* owner, std::u16string_view contents)
{
    const std::vector<JsonValue> saved = in.array("fields");
    if (!saved.empty()) {
        const size_t codes = fieldtext::fieldSpans(contents).size();
        if (saved.size() != codes)
            in.fail("\"fields\" has " + std::to_string(saved.size()) + " entries, the text has " +
                    std::to_string(codes) + " field codes");
    }
    std::vector<AcDbObjectId> ids;
    fieldcode::Span span;
    for (size_t i = 0, from = 0; fieldtext::nextField(contents, from, span); ++i, from = span.end) {
        auto field = std::make_unique<AcDbField>();
        HostAccess::hostSetCode(*field, contents.substr(span.begin, span.end - span.begin), true);
        // Put into words only when there is saved state or a fault.
        auto where = [i] { return ".fields[" + std::to_string(i) + "]"; };
        if (!saved.empty())
            wishHandles(in.child(saved[i], where()), field.get(), saved[i]);
        AcDbObjectId id;
        Acad::ErrorStatus es = owner->database()->addObject(field.get(), owner->objectId(), id);
        if (es == Acad::eDuplicateKey)
            in.fail(where().substr(1) + ": handle " + utf8(field->objectHandle().text()) +
                    " is used by another object");
        AcDbField* added = field.release();
        if (!saved.empty())
            restoreState(in.child(saved[i], where()), added, saved[i]);
        ids.push_back(id);
    }
    return ids;
}

namespace {
Json fieldJson(const AcDbField* field)
{
    Json j;
    j["handle"] = utf8(field->objectHandle().text());
    if (!HostAccess::allData(*field).empty()) {
        Json data = Json::object();
        for (auto& [key, value] : HostAccess::allData(*field))
            data[utf8(key)] = valueJson(value);
        j["data"] = data;
    }
    AcValue value;
    field->getValue(value);
    j["value"] = valueJson(value);
    j["status"] = field->evaluationStatus();
    writeXdata(field, j);
    if (!field->children().empty()) {
        Json children = Json::array();
        for (const AcDbField* child : field->children())
            children.push_back(fieldJson(child));
        j["children"] = children;
    }
    return j;
}
}

Json fieldsJson(const std::vector<AcDbObjectId>& fieldIds)
{
    Json list = Json::array();
    for (AcDbObjectId id : fieldIds) {
        AcDbObjectPointer<AcDbField> field(id, AcDb::kForRead);
        if (field)
            list.push_back(fieldJson(field.object()));
    }
    return list;
}

}
