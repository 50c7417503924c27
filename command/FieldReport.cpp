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
    j["display"] = field.hostDisplayUtf8();
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

namespace {
const char* escapeOf(char ch)
{
    switch (ch) {
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default: return nullptr;
    }
}

// Written straight out, escapes in place: a cell may be a whole text file.
void writeEscaped(const std::string& cell)
{
    size_t at = 0;
    for (size_t i = 0; i < cell.size(); ++i)
        if (const char* escape = escapeOf(cell[i])) {
            std::cout.write(cell.data() + at, static_cast<std::streamsize>(i - at)) << escape;
            at = i + 1;
        }
    std::cout.write(cell.data() + at, static_cast<std::streamsize>(cell.size() - at));
}

size_t escapedWidth(const std::string& cell)
{
    return width(cell) + static_cast<size_t>(std::count_if(cell.begin(), cell.end(), escapeOf));
}

void writeEscaped(std::u16string_view text)
{
    constexpr size_t kPiece = 1 << 16;
    while (!text.empty()) {
        size_t n = std::min(kPiece, text.size());
        if (n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF)
            --n; // a surrogate pair stays in one piece
        writeEscaped(utf::toUtf8(text.substr(0, n)));
        text.remove_prefix(n);
    }
}
}

void printTable(const std::vector<std::vector<std::string>>& rows, const std::vector<AcDbField*>& shownFields)
{
    std::vector<size_t> widths;
    for (const auto& row : rows)
        for (size_t c = 0; c < row.size(); ++c) {
            if (widths.size() <= c)
                widths.push_back(0);
            widths[c] = std::max(widths[c], escapedWidth(row[c]));
        }
    for (size_t r = 0; r < rows.size(); ++r) {
        const auto& row = rows[r];
        const AcDbField* shown = r > 0 && r - 1 < shownFields.size() ? shownFields[r - 1] : nullptr;
        const size_t cells = row.size() + (shown ? 1 : 0);
        for (size_t c = 0; c < row.size(); ++c) {
            writeEscaped(row[c]);
            if (c + 1 < cells)
                std::cout << std::string(widths[c] - escapedWidth(row[c]) + 2, ' ');
        }
        if (shown) {
            AcString storage;
            writeEscaped(shown->hostDisplayView(storage));
        }
        std::cout << '\n';
    }
}

}
