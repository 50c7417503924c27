// Field reports; see the header.
#include "command/FieldReport.h"

#include "host/dbsymtb.h"
#include "host/dbtext.h"
#include "replacement_host/dxf/DxfSource.h"
#include "replacement_host/file/ObjectCodec.h"
#include "replacement_host/platform/SpreadsheetServer.h"
#include "replacement_host/text/Utf.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

namespace fieldreport {

namespace {
Json valueJson(const AcValue& value, const char* part)
{
    bool wantType = std::string(part) == "type";
    switch (value.dataType()) {
    case AcValue::kLong: {
        Adesk::Int32 v = 0;
        value.get(v);
        return wantType ? Json("integer") : Json(v);
    }
    case AcValue::kDouble: {
        double v = 0;
        value.get(v);
        return wantType ? Json("real") : Json(v);
    }
    case AcValue::kString: {
        AcString s;
        value.get(s);
        return wantType ? Json("text") : Json(utf::toUtf8(s));
    }
    default:
        return nullptr;
    }
}

std::string ownerType(const AcDbObject* owner)
{
    if (const auto* codec = drawingfile::codecForObject(owner))
        return codec->type;
    return utf::toUtf8(owner->isA()->name());
}

// Columns count code points, so accented names line up.
size_t width(const std::string& s)
{
    return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}
}

Json fieldJson(const AcDbField& field)
{
    const AcDbField::PassRecord& pass = field.passRecord();
    AcValue value;
    field.getValue(value);
    Json j;
    bool hasEvaluator = pass.evaluatorFound && !field.isTextField();
    j["evaluator"] = hasEvaluator ? Json(utf::toUtf8(field.evaluatorId())) : Json(nullptr);
    j["compile"] = pass.compileRan ? Json(pass.compileReturned) : Json(nullptr);
    j["status"] = field.evaluationStatus();
    j["returned"] = pass.evaluateRan ? Json(pass.evaluateReturned) : Json(nullptr);
    j["type"] = valueJson(value, "type");
    j["value"] = valueJson(value, "value");
    j["display"] = utf::toUtf8(field.getValue());
    if (const dxf::Source* source = field.database() ? dxf::sourceOf(*field.database()) : nullptr)
        if (const dxf::FileField* f = source->fileField(field))
            j["fieldHandle"] = f->handle;
    return j;
}

void addPassCounts(Json& j)
{
    spreadsheetserver::Counts counts = spreadsheetserver::counts();
    j["spreadsheetStarts"] = counts.starts;
    j["workbooksOpened"] = counts.workbooksOpened;
}

Json locationJson(const AcDbField& field)
{
    Json j;
    j["field"] = utf::toUtf8(field.objectHandle().text());
    AcDbDatabase* db = field.database();
    AcDbObject* owner = db ? db->objectAt(field.ownerId()) : nullptr;
    if (!owner)
        return j;
    j["owner"] = utf::toUtf8(owner->objectHandle().text());
    j["ownerType"] = ownerType(owner);
    // A drawing read from DXF names the holder as the file does: a cell by its table.
    const dxf::Source* source = dxf::sourceOf(*db);
    if (const dxf::Holder* holder = source ? source->holderOf(field) : nullptr) {
        if (!holder->handle.empty())
            j["owner"] = holder->handle;
        if (!holder->type.empty())
            j["ownerType"] = holder->type;
        if (holder->row >= 0) {
            j["row"] = holder->row;
            j["column"] = holder->column;
        }
    }
    if (auto* text = AcDbText::cast(owner)) {
        const auto& ids = text->fieldIds();
        auto at = std::find(ids.begin(), ids.end(), field.objectId());
        j["index"] = at == ids.end() ? 0 : at - ids.begin();
    }
    // The block the holding object stands in, through any owners between.
    AcDbObjectId id = owner->ownerId();
    for (int depth = 0; depth < 64 && !id.isNull(); ++depth) {
        AcDbObject* obj = db->objectAt(id);
        if (auto* block = AcDbBlockTableRecord::cast(obj)) {
            j["block"] = utf::toUtf8(block->name());
            break;
        }
        if (!obj)
            break;
        id = obj->ownerId();
    }
    return j;
}

std::string locationText(const AcDbField& field)
{
    Json j = locationJson(field);
    std::string s;
    if (j.contains("block"))
        s += j["block"].get<std::string>() + "/";
    if (j.contains("owner"))
        s += j["ownerType"].get<std::string>() + " " + j["owner"].get<std::string>();
    else
        s += "field " + j["field"].get<std::string>();
    if (j.contains("row"))
        s += " cell " + std::to_string(j["row"].get<int>()) + "," + std::to_string(j["column"].get<int>());
    if (j.contains("index") && j["index"].get<int>() > 0)
        s += " #" + std::to_string(j["index"].get<int>() + 1);
    return s;
}

std::string statusText(int status)
{
    switch (status) {
    case AcDbField::kSuccess: return "2 ok";
    case AcDbField::kNotYetEvaluated: return "1 not evaluated";
    case AcDbField::kEvaluatorNotFound: return "4 no evaluator";
    case AcDbField::kSyntaxError: return "8 syntax error";
    case AcDbField::kInvalidCode: return "16 invalid code";
    case AcDbField::kInvalidContext: return "32 invalid context";
    case AcDbField::kOtherError: return "64 error";
    default: return std::to_string(status);
    }
}

void printTable(const std::vector<std::vector<std::string>>& rows)
{
    std::vector<std::vector<std::string>> cells = rows;
    std::vector<size_t> widths;
    for (auto& row : cells) {
        for (size_t c = 0; c < row.size(); ++c) {
            std::string escaped;
            for (char ch : row[c]) {
                if (ch == '\n') escaped += "\\n";
                else if (ch == '\r') escaped += "\\r";
                else if (ch == '\t') escaped += "\\t";
                else escaped += ch;
            }
            row[c] = escaped;
            if (widths.size() <= c)
                widths.push_back(0);
            widths[c] = std::max(widths[c], width(row[c]));
        }
    }
    for (auto& row : cells) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size())
                line += std::string(widths[c] - width(row[c]) + 2, ' ');
        }
        std::cout << line << '\n';
    }
}

}
