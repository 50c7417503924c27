// Field reports; see the header.
#include "command/FieldReport.h"

#include "command/Output.h"
#include "command/Session.h"
#include "host/AcFdEval.h"
#include "host/dbsymtb.h"
#include "host/dbtext.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/fields/FieldCode.h"
#include "replacement_host/fields/FieldProgress.h"
#include "replacement_host/dxf/DxfSource.h"
#include "replacement_host/file/ObjectCodec.h"
#include "replacement_host/platform/SpreadsheetServer.h"
#include "replacement_host/text/Nearest.h"
#include "replacement_host/text/Utf.h"
#include "replacement_host/text/TextCase.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <unistd.h>

namespace fieldreport {

namespace {
CauseFinder& causeFinder()
{
    static CauseFinder finder;
    return finder;
}

Json valueJson(const AcValue& value, bool wantType)
{
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

// The ids some loaded evaluator answers to, for "did you mean".
std::vector<std::string> knownEvaluatorIds()
{
    static const char16_t* const kCandidates[] = {u"AcLength",  u"AcArea",    u"AcBlockCount", u"TextField",
                                                  u"TableCell", u"ExcelCell", u"TsExpr",       u"AcObjProp"};
    std::vector<std::string> ids;
    AcFdFieldEngine* engine = acdbGetFieldEngine();
    for (const char16_t* id : kCandidates) {
        const ACHAR* asked = id;
        if (engine && engine->findEvaluator(nullptr, asked))
            ids.push_back(utf::toUtf8(id));
    }
    return ids;
}

std::string meaning(int status)
{
    switch (status) {
    case AcDbField::kNotYetEvaluated: return "the field has not been evaluated";
    case AcDbField::kEvaluatorNotFound: return "no evaluator is loaded for the field";
    case AcDbField::kSyntaxError: return "the field code cannot be read";
    case AcDbField::kInvalidCode: return "the evaluator refused the code";
    case AcDbField::kInvalidContext: return "the field cannot be evaluated here";
    case AcDbField::kOtherError: return "the evaluation failed";
    default: return "the evaluation ended with status " + std::to_string(status);
    }
}

std::string csvCell(const std::string& s)
{
    if (s.find_first_of(",\"\n\r") == std::string::npos)
        return s;
    std::string out = "\"";
    for (char c : s)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string evaluatorOf(const Entry& e)
{
    if (!e.field)
        return "";
    const ACHAR* id = e.field->evaluatorId();
    return e.field->isTextField() ? "" : utf::toUtf8(id ? id : u"");
}
}

void setCauseFinder(CauseFinder finder) { causeFinder() = std::move(finder); }

std::vector<std::string> causes(const AcDbField& field)
{
    return causeFinder() ? causeFinder()(field) : std::vector<std::string>{};
}

std::string unknownEvaluatorText(const std::string& id)
{
    return "no evaluator named " + id + nearestword::suggestion(id, knownEvaluatorIds());
}

std::string problemText(const AcDbField& field)
{
    int status = field.evaluationStatus();
    std::string text = meaning(status);
    if (status == AcDbField::kEvaluatorNotFound) {
        text = unknownEvaluatorText(utf::toUtf8(field.evaluatorId() ? field.evaluatorId() : u""));
        if (HostAccess::hostKeepsStoredValue(field) || HostAccess::hostHasFileDisplay(field))
            text += "; the field keeps its stored value";
        return text;
    }
    std::vector<std::string> why = causes(field);
    if (!why.empty())
        text += ": " + why.front();
    return text;
}

Json fieldJson(const AcDbField& field)
{
    const HostAccess::PassRecord& pass = HostAccess::passRecord(field);
    AcValue value;
    field.getValue(value);
    Json j;
    j["code"] = utf::toUtf8(field.getFieldCode(AcDbField::kTextField));
    bool hasEvaluator = pass.evaluatorFound && !field.isTextField();
    j["evaluator"] = hasEvaluator ? Json(utf::toUtf8(field.evaluatorId())) : Json(nullptr);
    j["compile"] = pass.compileRan ? Json(pass.compileReturned) : Json(nullptr);
    j["status"] = field.evaluationStatus();
    j["returned"] = pass.evaluateRan ? Json(pass.evaluateReturned) : Json(nullptr);
    j["type"] = valueJson(value, true);
    j["value"] = valueJson(value, false);
    j["display"] = utf::toUtf8(field.getValue());
    if (const dxf::Source* source = field.database() ? dxf::sourceOf(*field.database()) : nullptr)
        if (const dxf::FileField* f = source->fileField(field))
            j["fieldHandle"] = f->handle;
    if (field.evaluationStatus() != AcDbField::kSuccess)
        j["problem"] = problemText(field);
    return j;
}

std::string unclosedCode(std::u16string_view text)
{
    size_t after = 0;
    for (const fieldcode::Span& s : fieldcode::findCodes(text))
        after = s.end;
    size_t open = text.find(u"%<", after);
    return open == std::u16string_view::npos ? std::string() : utf::toUtf8(std::u16string(text.substr(open)));
}

Json entryJson(const Entry& e)
{
    Json j;
    if (e.field) {
        j = fieldJson(*e.field);
        j["location"] = locationJson(*e.field);
        return j;
    }
    j["code"] = e.openCode;
    j["evaluator"] = nullptr;
    j["compile"] = nullptr;
    j["status"] = AcDbField::kSyntaxError;
    j["returned"] = nullptr;
    j["type"] = nullptr;
    j["value"] = nullptr;
    j["display"] = e.openCode;
    j["problem"] = "the code has no closing >%; the text shows it as it is";
    j["location"] = ownerLocationJson(e.text);
    return j;
}

int entryStatus(const Entry& e) { return e.field ? e.field->evaluationStatus() : AcDbField::kSyntaxError; }

// What the table and CSV rows show, taken from the field itself: a value of
// a hundred megabytes is converted once, not copied through a JSON object.
std::string entryDisplay(const Entry& e) { return e.field ? HostAccess::hostDisplayUtf8(*e.field) : e.openCode; }
std::string entryProblem(const Entry& e)
{
    if (!e.field)
        return "the code has no closing >%; the text shows it as it is";
    return e.field->evaluationStatus() != AcDbField::kSuccess ? problemText(*e.field) : std::string();
}
std::string entryCode(const Entry& e)
{
    return e.field ? utf::toUtf8(e.field->getFieldCode(AcDbField::kTextField)) : e.openCode;
}

bool failed(const Entry& e)
{
    int status = entryStatus(e);
    if (status == AcDbField::kSuccess)
        return false;
    return !(status == AcDbField::kEvaluatorNotFound && e.field &&
             (HostAccess::hostKeepsStoredValue(*e.field) || HostAccess::hostHasFileDisplay(*e.field)));
}

namespace {
// The counts as the pass left them: finding the cause of a failure may
// start the spreadsheet application again, which is not the pass's doing.
spreadsheetserver::Counts& recorded()
{
    static spreadsheetserver::Counts counts{};
    return counts;
}
}

void recordPassCounts() { recorded() = spreadsheetserver::counts(); }

void addPassCounts(Json& j)
{
    j["spreadsheetStarts"] = recorded().starts;
    j["workbooksOpened"] = recorded().workbooksOpened;
}

Json ownerLocationJson(const AcDbObject* owner)
{
    Json j;
    if (!owner)
        return j;
    AcDbDatabase* db = owner->database();
    j["owner"] = utf::toUtf8(owner->objectHandle().text());
    j["ownerType"] = ownerType(owner);
    // The block the holding object stands in, through any owners between.
    AcDbObjectId id = owner->ownerId();
    for (int depth = 0; db && depth < 64 && !id.isNull(); ++depth) {
        AcDbObject* obj = HostAccess::objectAt(*db, id);
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

Json locationJson(const AcDbField& field)
{
    Json j;
    j["field"] = utf::toUtf8(field.objectHandle().text());
    AcDbDatabase* db = field.database();
    AcDbObject* owner = db ? HostAccess::objectAt(*db, field.ownerId()) : nullptr;
    if (!owner)
        return j;
    Json o = ownerLocationJson(owner);
    j["owner"] = o["owner"];
    j["ownerType"] = o["ownerType"];
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
    if (o.contains("block"))
        j["block"] = o["block"];
    return j;
}

namespace {
std::string locationOf(const Json& j)
{
    std::string s;
    if (j.contains("block"))
        s += j["block"].get<std::string>() + "/";
    if (j.contains("owner"))
        s += j["ownerType"].get<std::string>() + " " + j["owner"].get<std::string>();
    else if (j.contains("field"))
        s += "field " + j["field"].get<std::string>();
    if (j.contains("row"))
        s += " cell " + std::to_string(j["row"].get<int>()) + "," + std::to_string(j["column"].get<int>());
    if (j.contains("row"))
        s += " cell " + std::to_string(j["row"].get<int>()) + "," + std::to_string(j["column"].get<int>());
    if (j.contains("index") && j["index"].get<int>() > 0)
        s += " #" + std::to_string(j["index"].get<int>() + 1);
    return s;
}
}

std::string locationText(const AcDbField& field) { return locationOf(locationJson(field)); }

std::string entryLocationText(const Entry& e)
{
    return e.field ? locationText(*e.field) : locationOf(ownerLocationJson(e.text));
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

void printTable(std::vector<std::vector<std::string>> rows)
{
    // Cells are escaped in place and written piece by piece: a value of a
    // hundred megabytes is not copied again on its way out.
    std::vector<size_t> widths;
    for (auto& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) {
            if (row[c].find_first_of("\n\r\t") != std::string::npos) {
                std::string escaped;
                for (char ch : row[c]) {
                    if (ch == '\n') escaped += "\\n";
                    else if (ch == '\r') escaped += "\\r";
                    else if (ch == '\t') escaped += "\\t";
                    else escaped += ch;
                }
                row[c] = std::move(escaped);
            }
            if (widths.size() <= c)
                widths.push_back(0);
            widths[c] = std::max(widths[c], width(row[c]));
        }
    }
    for (auto& row : rows) {
        size_t last = row.size();
        while (last > 0 && row[last - 1].empty())
            --last;
        for (size_t c = 0; c < last; ++c) {
            output::write(row[c]);
            if (c + 1 < last)
                output::write(std::string(widths[c] - width(row[c]) + 2, ' '));
        }
        output::write("\n");
    }
}

std::vector<AcDbField*> topLevelFields(AcDbDatabase& db)
{
    std::vector<AcDbField*> fields;
    for (AcDbObjectId id : db.objectIds()) {
        auto* field = AcDbField::cast(HostAccess::objectAt(db, id));
        if (field && !field->isErased() && !AcDbField::cast(HostAccess::objectAt(db, field->ownerId())))
            fields.push_back(field);
    }
    return fields;
}

std::vector<Entry> drawingEntries(AcDbDatabase& db)
{
    std::vector<Entry> entries;
    std::map<const AcDbObject*, std::string> openCodes;
    for (AcDbObjectId id : db.objectIds()) {
        if (auto* text = AcDbText::cast(HostAccess::objectAt(db, id)); text && !text->isErased())
            if (std::string open = unclosedCode(text->textStringConst()); !open.empty())
                openCodes[text] = open;
    }
    // An unclosed code comes after the fields of its text, or where the text stands when it has none.
    std::set<const AcDbObject*> placed;
    auto place = [&](const AcDbObject* text) {
        auto it = openCodes.find(text);
        if (it != openCodes.end() && placed.insert(text).second)
            entries.push_back({nullptr, AcDbText::cast(const_cast<AcDbObject*>(text)), it->second});
    };
    for (AcDbObjectId id : db.objectIds()) {
        AcDbObject* obj = HostAccess::objectAt(db, id);
        auto* field = AcDbField::cast(obj);
        if (field && !field->isErased() && !AcDbField::cast(HostAccess::objectAt(db, field->ownerId()))) {
            entries.push_back({field, nullptr, {}});
            if (auto* text = AcDbText::cast(HostAccess::objectAt(db, field->ownerId()));
                text && !text->fieldIds().empty() && text->fieldIds().back() == field->objectId())
                place(text);
        } else if (auto* text = AcDbText::cast(obj); text && text->fieldIds().empty()) {
            place(text);
        }
    }
    for (auto& [text, code] : openCodes)
        place(text);
    return entries;
}

std::vector<Entry> filtered(const std::vector<Entry>& entries, const std::set<std::string>& evaluators, bool failedOnly)
{
    std::vector<Entry> out;
    for (const Entry& e : entries) {
        if (failedOnly && !failed(e))
            continue;
        if (!evaluators.empty()) {
            std::u16string id = utf::toUtf16(evaluatorOf(e));
            bool wanted = std::any_of(evaluators.begin(), evaluators.end(), [&](const std::string& want) {
                return hosttext::equalsIgnoreCase(utf::toUtf16(want), id);
            });
            if (!wanted)
                continue;
        }
        out.push_back(e);
    }
    return out;
}

double timedPass(Session& session)
{
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    bool terminal = ::isatty(STDERR_FILENO) != 0;
    bool shown = false;
    auto last = start;
    if (terminal) {
        // Only passes longer than a second show progress, at most ten times a second.
        fieldprogress::set([&](size_t done, size_t total) {
            auto now = Clock::now();
            if (now - start < std::chrono::seconds(1) || (now - last < std::chrono::milliseconds(100) && done < total))
                return;
            last = now;
            shown = true;
            std::fprintf(stderr, "\revaluating fields: %zu of %zu", done, total);
            std::fflush(stderr);
        });
    }
    // The counts reported are the pass's own.
    spreadsheetserver::resetCounts();
    session.evaluateAll();
    recordPassCounts();
    fieldprogress::set(nullptr);
    if (shown)
        std::fprintf(stderr, "\r\033[K");
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string summaryText(const std::vector<Entry>& entries, double seconds)
{
    std::map<std::string, int> byEvaluator;
    size_t failures = 0, kept = 0;
    for (const Entry& e : entries) {
        std::string id = e.field ? evaluatorOf(e) : "(unclosed code)";
        if (id.empty() && e.field && e.field->evaluatorId() && !e.field->isTextField())
            id = utf::toUtf8(e.field->evaluatorId());
        ++byEvaluator[id.empty() ? "(plain text)" : id];
        failures += failed(e);
        // A field a CAD program saved for an evaluator not loaded here keeps what it showed.
        kept += entryStatus(e) == AcDbField::kEvaluatorNotFound && !failed(e);
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.2f s", seconds);
    std::string text = std::to_string(entries.size()) + " field" + (entries.size() == 1 ? "" : "s") + ", " +
                       std::to_string(entries.size() - failures - kept) + " evaluated, " + std::to_string(failures) +
                       " failed" + (kept ? ", " + std::to_string(kept) + " kept (evaluator not loaded)" : std::string()) +
                       " in " + time;
    std::string list;
    for (auto& [id, n] : byEvaluator)
        list += (list.empty() ? "" : ", ") + id + " " + std::to_string(n);
    return list.empty() ? text : text + " (" + list + ")";
}

Format parseFormat(const std::string& text)
{
    if (text == "table")
        return Format::kTable;
    if (text == "json")
        return Format::kJson;
    if (text == "csv")
        return Format::kCsv;
    throw UsageError("--format " + text + ": give table, json or csv" +
                     nearestword::suggestion(text, {"table", "json", "csv"}));
}

void printEntries(const std::vector<Entry>& entries, Format format, const std::string& drawing)
{
    if (format == Format::kJson) {
        for (const Entry& e : entries) {
            Json j;
            if (!drawing.empty())
                j["drawing"] = drawing;
            j.update(entryJson(e));
            addPassCounts(j);
            output::line(j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
            output::itemDone();
        }
        return;
    }
    if (format == Format::kCsv) {
        std::string first = drawing.empty() ? "" : csvCell(drawing) + ",";
        output::line(std::string(drawing.empty() ? "" : "drawing,") + "location,evaluator,code,status,value,problem");
        for (const Entry& e : entries) {
            output::line(first + csvCell(entryLocationText(e)) + "," + csvCell(evaluatorOf(e)) + "," +
                         csvCell(entryCode(e)) + "," + std::to_string(entryStatus(e)) + "," +
                         csvCell(entryDisplay(e)) + "," + csvCell(entryProblem(e)));
            output::itemDone();
        }
        return;
    }
    std::vector<std::vector<std::string>> rows{{"LOCATION", "EVALUATOR", "PARAMETERS", "STATUS", "VALUE", "PROBLEM"}};
    bool anyProblem = false;
    for (const Entry& e : entries) {
        std::string problem = entryProblem(e);
        anyProblem |= !problem.empty();
        rows.push_back({entryLocationText(e), evaluatorOf(e),
                        e.field ? utf::toUtf8(e.field->parameters()) : e.openCode, statusText(entryStatus(e)),
                        entryDisplay(e), std::move(problem)});
    }
    if (!anyProblem)
        rows[0].pop_back();
    printTable(std::move(rows));
}

}
