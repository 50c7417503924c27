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

#include <nlohmann/json.hpp>
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <unordered_map>
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
        const ACHAR* text = u"";
        value.get(text);
        return wantType ? Json("text") : Json(utf::toUtf8(text ? text : u""));
    }
    default: return nullptr;
    }
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
    AcString storage;
    j["display"] = utf::toUtf8(HostAccess::hostDisplayView(field, storage));
    if (const dxf::Source* source = field.database() ? dxf::sourceOf(*field.database()) : nullptr)
        if (const dxf::FileField* f = source->fileField(field))
            j["fieldHandle"] = f->handle;
    if (field.evaluationStatus() != AcDbField::kSuccess)
        j["problem"] = problemText(field);
    return j;
}

std::string unclosedCode(std::u16string_view text)
{
    // Most texts hold no code or are one whole code: neither leaves one open.
    if (text.find(u"%<") == std::u16string_view::npos || fieldcode::isWholeCode(text))
        return {};
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

std::string entryProblem(const Entry& e)
{
    if (!e.field)
        return "the code has no closing >%; the text shows it as it is";
    return e.field->evaluationStatus() != AcDbField::kSuccess ? problemText(*e.field) : std::string();
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

namespace {
// Equal texts, compared as bytes: quicker than unit by unit for the short
// names compared here.
bool same(std::u16string_view a, std::u16string_view b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
}

// Names that come back from field to field (evaluator ids, block names),
// converted once (to JSON text or to UTF-8), then copied. A few are kept.
class NameCache {
public:
    using Convert = std::string (*)(std::u16string_view);
    explicit NameCache(Convert convert) : m_convert(convert) {}

    std::string_view converted(std::u16string_view name)
    {
        if (m_last < m_names.size() && same(m_names[m_last].first, name))
            return m_names[m_last].second;
        for (size_t i = 0; i < m_names.size(); ++i)
            if (same(m_names[i].first, name))
                return m_names[m_last = i].second;
        if (m_names.size() < kKept) {
            m_last = m_names.size();
            m_names.emplace_back();
        } else {
            m_last = (m_last + 1) % kKept;
        }
        m_names[m_last] = {std::u16string(name), m_convert(name)};
        return m_names[m_last].second;
    }

private:
    static constexpr size_t kKept = 16;
    Convert m_convert;
    std::vector<std::pair<std::u16string, std::string>> m_names;
    size_t m_last = 0;
};

// Evaluator ids and block names come back each in their own way.
NameCache& evaluatorJson()
{
    static NameCache cache(output::jsonEscaped);
    return cache;
}

NameCache& blockJson()
{
    static NameCache cache(output::jsonEscaped);
    return cache;
}

NameCache& blockText()
{
    static NameCache cache([](std::u16string_view name) { return utf::toUtf8(name); });
    return cache;
}

void writeQuoted(std::string_view escaped)
{
    output::write("\"");
    output::write(escaped);
    output::write("\"");
}

}

namespace {
// Where an entry stands; the JSON "location" object and the table's text
// are both written from it. It points at the drawing's own names, which
// outlive it, and formats handles only as they are written.
struct Place {
    bool hasField = false;  // false for an unclosed code
    Adesk::UInt64 field = 0;
    bool hasOwner = false;
    Adesk::UInt64 owner = 0;
    const std::string* ownerName = nullptr;  // the file's handle text, in place of owner
    const std::string* ownerType = nullptr;
    int row = -1, column = -1;
    long index = -1;  // the field's position in its text
    const AcString* block = nullptr;
};

// A handle as the drawing writes it (upper-case hexadecimal, at most 16
// digits, for which at has room); gives the end.
char* putHandle(char* at, Adesk::UInt64 handle)
{
    char* end = std::to_chars(at, at + 16, handle, 16).ptr;
    std::transform(at, end, at, [](char c) { return c >= 'a' ? static_cast<char>(c - 'a' + 'A') : c; });
    return end;
}

std::string handleText(Adesk::UInt64 handle)
{
    char digits[16];
    return std::string(digits, putHandle(digits, handle));
}

// The type name of an object's class, looked up once per class: a report
// asks it for every field and a drawing has few kinds of holders.
const std::string& ownerType(const AcDbObject* owner)
{
    static std::unordered_map<const AcRxClass*, std::string> names;
    static const AcRxClass* lastClass = nullptr;
    static const std::string* lastName = nullptr;
    const AcRxClass* cls = owner->isA();
    if (cls == lastClass)
        return *lastName;
    auto [it, added] = names.try_emplace(cls);
    if (added) {
        const auto* codec = drawingfile::codecForObject(owner);
        it->second = codec ? codec->type : utf::toUtf8(cls->name());
    }
    lastClass = cls;
    lastName = &it->second;
    return it->second;
}

Place ownerPlace(const AcDbObject* owner)
{
    Place p;
    if (!owner)
        return p;
    AcDbDatabase* db = owner->database();
    p.hasOwner = true;
    p.owner = owner->objectHandle().value();
    p.ownerType = &ownerType(owner);
    // The block the holding object stands in, through any owners between.
    AcDbObjectId id = owner->ownerId();
    for (int depth = 0; db && depth < 64 && !id.isNull(); ++depth) {
        AcDbObject* obj = HostAccess::objectAt(*db, id);
        if (auto* block = AcDbBlockTableRecord::cast(obj)) {
            p.block = &block->name();
            break;
        }
        if (!obj)
            break;
        id = obj->ownerId();
    }
    return p;
}

Place fieldPlace(const AcDbField& field)
{
    AcDbDatabase* db = field.database();
    AcDbObject* owner = db ? HostAccess::objectAt(*db, field.ownerId()) : nullptr;
    Place p = ownerPlace(owner);
    p.hasField = true;
    p.field = field.objectHandle().value();
    if (!owner)
        return p;
    // A drawing read from DXF names the holder as the file does: a cell by its table.
    const dxf::Source* source = dxf::sourceOf(*db);
    if (const dxf::Holder* holder = source ? source->holderOf(field) : nullptr) {
        if (!holder->handle.empty())
            p.ownerName = &holder->handle;
        if (!holder->type.empty())
            p.ownerType = &holder->type;
        p.row = holder->row;
        p.column = holder->column;
    }
    if (auto* text = AcDbText::cast(owner)) {
        // The fields of a text are mostly asked about in their order: the
        // place after the last one found is tried first, so a text of many
        // fields is not searched from the start for each.
        static const AcDbText* lastText = nullptr;
        static size_t next = 0;
        const auto& ids = text->fieldIds();
        size_t at = lastText == text && next < ids.size() && ids[next] == field.objectId()
            ? next
            : static_cast<size_t>(std::find(ids.begin(), ids.end(), field.objectId()) - ids.begin());
        lastText = text;
        next = at + 1;
        p.index = at == ids.size() ? 0 : static_cast<long>(at);
    }
    return p;
}

std::string ownerText(const Place& p) { return p.ownerName ? *p.ownerName : handleText(p.owner); }

Json placeJson(const Place& p)
{
    Json j;
    if (p.hasField)
        j["field"] = handleText(p.field);
    if (p.hasOwner) {
        j["owner"] = ownerText(p);
        j["ownerType"] = *p.ownerType;
    }
    if (p.row >= 0) {
        j["row"] = p.row;
        j["column"] = p.column;
    }
    if (p.index >= 0)
        j["index"] = p.index;
    if (p.block)
        j["block"] = utf::toUtf8(*p.block);
    return j;
}

// "name":"HANDLE" after what comes before (a comma, or nothing).
void writeHandleMember(std::string_view before, Adesk::UInt64 handle)
{
    char text[64];
    char* at = std::copy(before.begin(), before.end(), text);
    at = putHandle(at, handle);
    *at++ = '"';
    output::write(std::string_view(text, static_cast<size_t>(at - text)));
}

// The same object as placeJson, written out directly.
void writePlaceJson(const Place& p)
{
    std::string_view comma;
    output::write("{");
    if (p.hasField) {
        writeHandleMember("\"field\":\"", p.field);
        comma = ",";
    }
    if (p.hasOwner) {
        output::write(comma);
        if (p.ownerName) {
            output::write("\"owner\":");
            output::jsonString(*p.ownerName);
        } else {
            writeHandleMember("\"owner\":\"", p.owner);
        }
        output::write(",\"ownerType\":");
        output::jsonString(*p.ownerType);
        comma = ",";
    }
    if (p.row >= 0) {
        output::write(comma);
        output::write("\"row\":");
        output::jsonNumber(static_cast<long long>(p.row));
        output::write(",\"column\":");
        output::jsonNumber(static_cast<long long>(p.column));
        comma = ",";
    }
    if (p.index >= 0) {
        output::write(comma);
        output::write("\"index\":");
        output::jsonNumber(static_cast<long long>(p.index));
        comma = ",";
    }
    if (p.block) {
        output::write(comma);
        output::write("\"block\":");
        writeQuoted(blockJson().converted(*p.block));
    }
    output::write("}");
}

std::string placeText(const Place& p)
{
    std::string s;
    if (p.block) {
        s += blockText().converted(*p.block);
        s += '/';
    }
    if (p.hasOwner)
        s += *p.ownerType + " " + ownerText(p);
    else if (p.hasField)
        s += "field " + handleText(p.field);
    if (p.row >= 0)
        s += " cell " + std::to_string(p.row) + "," + std::to_string(p.column);
    if (p.index > 0)
        s += " #" + std::to_string(p.index + 1);
    return s;
}
}

Json ownerLocationJson(const AcDbObject* owner) { return placeJson(ownerPlace(owner)); }

Json locationJson(const AcDbField& field) { return placeJson(fieldPlace(field)); }

std::string locationText(const AcDbField& field) { return placeText(fieldPlace(field)); }

std::string entryLocationText(const Entry& e) { return placeText(e.field ? fieldPlace(*e.field) : ownerPlace(e.text)); }

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
// A table cell: UTF-8 text, or a view of a field's own (UTF-16) display,
// which is converted only as it is written.
struct Cell {
    Cell(std::string s) : text(std::move(s)) {}
    Cell(std::u16string_view w) : wide(w), isWide(true) {}
    std::string text;
    std::u16string_view wide;
    bool isWide = false;
    size_t shown = 0;  // code points as shown, set by printCells

    bool empty() const { return isWide ? wide.empty() : text.empty(); }
};

// Code points as shown, escapes included.
size_t cellWidth(const Cell& c)
{
    if (!c.isWide)
        return width(c.text);
    size_t n = 0;
    for (size_t i = 0; i < c.wide.size(); ++i) {
        char16_t u = c.wide[i];
        if (u >= 0xDC00 && u <= 0xDFFF && i > 0 && c.wide[i - 1] >= 0xD800 && c.wide[i - 1] <= 0xDBFF)
            continue;  // the second half of a pair
        n += u == u'\n' || u == u'\r' || u == u'\t' ? 2 : 1;
    }
    return n;
}

void writeSpaces(size_t n)
{
    static constexpr std::string_view kSpaces = "                                                                ";
    for (; n > kSpaces.size(); n -= kSpaces.size())
        output::write(kSpaces);
    output::write(kSpaces.substr(0, n));
}

void printCells(std::vector<std::vector<Cell>>& rows)
{
    // Cells are escaped as they are written: a value of a hundred
    // megabytes is not copied on its way out.
    std::vector<size_t> widths;
    for (auto& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) {
            row[c].shown = cellWidth(row[c]);
            if (widths.size() <= c)
                widths.push_back(0);
            widths[c] = std::max(widths[c], row[c].shown);
        }
    }
    for (const auto& row : rows) {
        size_t last = row.size();
        while (last > 0 && row[last - 1].empty())
            --last;
        for (size_t c = 0; c < last; ++c) {
            if (row[c].isWide)
                output::text(row[c].wide, output::Escape::kTable);
            else
                output::text(row[c].text, output::Escape::kTable);
            if (c + 1 < last)
                writeSpaces(widths[c] - row[c].shown + 2);
        }
        output::write("\n");
    }
}

// A CSV cell quoted only when it needs to be.
template <class Text> void writeCsvCell(Text text)
{
    using Char = typename Text::value_type;
    bool quote = std::any_of(text.begin(), text.end(), [](Char c) {
        return c == Char(',') || c == Char('"') || c == Char('\n') || c == Char('\r');
    });
    if (quote)
        output::write("\"");
    output::text(text, quote ? output::Escape::kCsv : output::Escape::kNone);
    if (quote)
        output::write("\"");
}
}

namespace {
// The field's code (getFieldCode(kTextField)) as a CSV cell, written from
// the field's parts in place.
void writeCodeCsv(const AcDbField& field)
{
    std::u16string_view parameters = field.parameters();
    if (field.isTextField())
        return writeCsvCell(parameters);
    const ACHAR* idText = field.evaluatorId();
    std::u16string_view id(idText ? idText : u"");
    const AcString& format = field.format();
    auto special = [](std::u16string_view t) {
        return std::any_of(t.begin(), t.end(),
                           [](char16_t c) { return c == u',' || c == u'"' || c == u'\n' || c == u'\r'; });
    };
    // The format option is in quotes, so a code with one is always quoted.
    bool quote = !format.empty() || special(id) || special(parameters);
    output::Escape escape = quote ? output::Escape::kCsv : output::Escape::kNone;
    output::write(quote ? "\"%<\\" : "%<\\");
    output::text(id, escape);
    if (!parameters.empty() || !format.empty())
        output::write(" ");
    output::text(parameters, escape);
    if (!format.empty()) {
        output::write(" \\f \"\"");
        output::text(std::u16string_view(format), escape);
        output::write("\"\"");
    }
    output::write(quote ? ">%\"" : ">%");
}
}

void printTable(std::vector<std::vector<std::string>> rows)
{
    std::vector<std::vector<Cell>> cells;
    cells.reserve(rows.size());
    for (auto& row : rows) {
        cells.emplace_back();
        for (auto& cell : row)
            cells.back().emplace_back(std::move(cell));
    }
    printCells(cells);
}

std::vector<AcDbField*> topLevelFields(AcDbDatabase& db)
{
    std::vector<AcDbField*> fields;
    fields.reserve(HostAccess::hostFieldsAndTexts(db).size());
    for (AcDbObjectId id : HostAccess::hostFieldsAndTexts(db)) {
        auto* field = AcDbField::cast(HostAccess::objectAt(db, id));
        if (field && !field->isErased() && !AcDbField::cast(HostAccess::objectAt(db, field->ownerId())))
            fields.push_back(field);
    }
    return fields;
}

std::vector<Entry> drawingEntries(AcDbDatabase& db)
{
    // One walk finds the fields and the unclosed codes; the fields are in
    // order as they are unless some code is unclosed.
    std::vector<Entry> entries;
    entries.reserve(HostAccess::hostFieldsAndTexts(db).size());
    std::map<const AcDbObject*, std::string> openCodes;
    for (AcDbObjectId id : HostAccess::hostFieldsAndTexts(db)) {
        AcDbObject* obj = HostAccess::objectAt(db, id);
        if (auto* field = AcDbField::cast(obj)) {
            if (!field->isErased() && !AcDbField::cast(HostAccess::objectAt(db, field->ownerId())))
                entries.push_back({field, nullptr, {}});
        } else if (auto* text = AcDbText::cast(obj); text && !text->isErased()) {
            if (std::string open = unclosedCode(text->textStringConst()); !open.empty())
                openCodes[text] = open;
        }
    }
    if (openCodes.empty())
        return entries;
    entries.clear();
    // An unclosed code comes after the fields of its text, or where the text stands when it has none.
    std::set<const AcDbObject*> placed;
    auto place = [&](const AcDbObject* text) {
        auto it = openCodes.find(text);
        if (it != openCodes.end() && placed.insert(text).second)
            entries.push_back({nullptr, AcDbText::cast(const_cast<AcDbObject*>(text)), it->second});
    };
    for (AcDbObjectId id : HostAccess::hostFieldsAndTexts(db)) {
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

std::vector<Entry> filtered(std::vector<Entry> entries, const std::set<std::string>& evaluators, bool failedOnly)
{
    // Without a filter the list goes on as it is, not copied entry by entry.
    if (!failedOnly && evaluators.empty())
        return entries;
    std::vector<std::u16string> wanted;
    for (const std::string& want : evaluators)
        wanted.push_back(utf::toUtf16(want));
    std::erase_if(entries, [&](const Entry& e) {
        if (failedOnly && !failed(e))
            return true;
        if (wanted.empty())
            return false;
        std::u16string id = utf::toUtf16(evaluatorOf(e));
        return std::none_of(wanted.begin(), wanted.end(),
                            [&](const std::u16string& want) { return hosttext::equalsIgnoreCase(want, id); });
    });
    return entries;
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
    // Tallied by the fields' own ids and converted once per id: a drawing
    // has few evaluators and many fields, so the first few ids are kept in
    // a short list, compared in turn, and only the rest are hashed.
    constexpr size_t kFew = 16;
    std::vector<std::pair<std::u16string_view, int>> few;
    std::unordered_map<std::u16string_view, int> more;
    auto tally = [&](std::u16string_view id) {
        for (auto& [seen, n] : few)
            if (same(seen, id))
                return void(++n);
        if (few.size() < kFew)
            few.emplace_back(id, 1);
        else
            ++more[id];
    };
    int unclosed = 0;
    size_t failures = 0, kept = 0;
    for (const Entry& e : entries) {
        if (!e.field)
            ++unclosed;
        else if (e.field->isTextField() || !e.field->evaluatorId())
            tally(u"");
        else
            tally(e.field->evaluatorId());
        failures += failed(e);
        // A field a CAD program saved for an evaluator not loaded here keeps what it showed.
        kept += entryStatus(e) == AcDbField::kEvaluatorNotFound && !failed(e);
    }
    std::map<std::string, int> byEvaluator;
    auto add = [&](std::u16string_view id, int n) { byEvaluator[id.empty() ? "(plain text)" : utf::toUtf8(id)] += n; };
    for (const auto& [id, n] : few)
        add(id, n);
    for (const auto& [id, n] : more)
        add(id, n);
    if (unclosed)
        byEvaluator["(unclosed code)"] += unclosed;
    char time[32];
    std::snprintf(time, sizeof time, "%.2f s", seconds);
    std::string text = std::to_string(entries.size()) + " field" + (entries.size() == 1 ? "" : "s") + ", " +
        std::to_string(entries.size() - failures - kept) + " evaluated, " + std::to_string(failures) + " failed" +
        (kept ? ", " + std::to_string(kept) + " kept (evaluator not loaded)" : std::string()) + " in " + time;
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

namespace {
const char* const kUnclosedProblem = "the code has no closing >%; the text shows it as it is";

void writeValueJson(const AcValue& value, bool wantType)
{
    switch (value.dataType()) {
    case AcValue::kLong: {
        Adesk::Int32 v = 0;
        value.get(v);
        return wantType ? output::write("\"integer\"") : output::jsonNumber(static_cast<long long>(v));
    }
    case AcValue::kDouble: {
        double v = 0;
        value.get(v);
        return wantType ? output::write("\"real\"") : output::jsonNumber(v);
    }
    case AcValue::kString: {
        if (wantType)
            return output::write("\"text\"");
        // A view of the value's own text: a long text is not copied.
        const ACHAR* text = u"";
        value.get(text);
        return output::jsonString(std::u16string_view(text ? text : u""));
    }
    default: output::write("null");
    }
}

// getFieldCode(kTextField) as a JSON string, written from the field's
// parts in place rather than built first.
void writeCodeJson(const AcDbField& field, std::string_view idJson)
{
    std::u16string_view parameters = field.parameters();
    if (field.isTextField())
        return output::jsonString(parameters);
    const AcString& format = field.format();
    output::write("\"%<\\\\");
    output::write(idJson);
    if (!parameters.empty() || !format.empty())
        output::write(" ");
    output::text(parameters, output::Escape::kJson);
    if (!format.empty()) {
        output::write(" \\\\f \\\"");
        output::text(std::u16string_view(format), output::Escape::kJson);
        output::write("\\\"");
    }
    output::write(">%\"");
}

// The display as a JSON string. A whole number without a format shows as
// its digits, written here without the host's formatting to UTF-16.
void writeDisplayJson(const AcDbField& field, const AcValue& value)
{
    if (value.dataType() == AcValue::kLong && field.format().empty() &&
        field.evaluationStatus() == AcDbField::kSuccess && !HostAccess::hostHasFileDisplay(field)) {
        Adesk::Int32 v = 0;
        value.get(v);
        char text[16];
        text[0] = '"';
        char* end = std::to_chars(text + 1, std::end(text) - 1, v).ptr;
        *end++ = '"';
        return output::write(std::string_view(text, static_cast<size_t>(end - text)));
    }
    AcString storage;
    output::jsonString(HostAccess::hostDisplayView(field, storage));
}

void writeOptionalNumber(bool present, long long value)
{
    if (present)
        output::jsonNumber(value);
    else
        output::write("null");
}

// The members of fieldJson, in its order, written out directly; status
// and problem as given.
void writeFieldMembers(const AcDbField& field, int status, const std::string& problem)
{
    const HostAccess::PassRecord& pass = HostAccess::passRecord(field);
    const AcValue& value = HostAccess::valueView(field);
    const ACHAR* id = field.evaluatorId();
    std::string_view idJson = evaluatorJson().converted(id ? id : u"");
    output::write("\"code\":");
    writeCodeJson(field, idJson);
    output::write(",\"evaluator\":");
    if (pass.evaluatorFound && !field.isTextField())
        writeQuoted(idJson);
    else
        output::write("null");
    output::write(",\"compile\":");
    writeOptionalNumber(pass.compileRan, pass.compileReturned);
    output::write(",\"status\":");
    output::jsonNumber(static_cast<long long>(status));
    output::write(",\"returned\":");
    writeOptionalNumber(pass.evaluateRan, pass.evaluateReturned);
    output::write(",\"type\":");
    writeValueJson(value, true);
    output::write(",\"value\":");
    writeValueJson(value, false);
    output::write(",\"display\":");
    writeDisplayJson(field, value);
    if (const dxf::Source* source = field.database() ? dxf::sourceOf(*field.database()) : nullptr)
        if (const dxf::FileField* f = source->fileField(field)) {
            output::write(",\"fieldHandle\":");
            output::jsonString(f->handle);
        }
    if (!problem.empty()) {
        output::write(",\"problem\":");
        output::jsonString(problem);
    }
}

// The pass counts and the end of the line, the same for every line of a
// report: made once.
std::string passCountsEnd()
{
    return ",\"spreadsheetStarts\":" + std::to_string(recorded().starts) +
        ",\"workbooksOpened\":" + std::to_string(recorded().workbooksOpened) + "}\n";
}

// entryJson with "drawing" first and the pass counts last, as one line.
void writeEntryJson(const Entry& e, const std::string& drawing, std::string_view end)
{
    output::write("{");
    if (!drawing.empty()) {
        output::write("\"drawing\":");
        output::jsonString(drawing);
        output::write(",");
    }
    if (e.field) {
        int status = e.field->evaluationStatus();
        writeFieldMembers(*e.field, status, status != AcDbField::kSuccess ? problemText(*e.field) : std::string());
        output::write(",\"location\":");
        writePlaceJson(fieldPlace(*e.field));
    } else {
        output::write("\"code\":");
        output::jsonString(e.openCode);
        output::write(",\"evaluator\":null,\"compile\":null,\"status\":");
        output::jsonNumber(static_cast<long long>(AcDbField::kSyntaxError));
        output::write(",\"returned\":null,\"type\":null,\"value\":null,\"display\":");
        output::jsonString(e.openCode);
        output::write(",\"problem\":");
        output::jsonString(std::string_view(kUnclosedProblem));
        output::write(",\"location\":");
        writePlaceJson(ownerPlace(e.text));
    }
    output::write(end);
}
}

void printFieldJson(const AcDbField& field, bool unclosed)
{
    output::write("{");
    if (unclosed) {
        writeFieldMembers(field, AcDbField::kSyntaxError, kUnclosedProblem);
    } else {
        int status = field.evaluationStatus();
        writeFieldMembers(field, status, status != AcDbField::kSuccess ? problemText(field) : std::string());
    }
    output::write(passCountsEnd());
}

void printEntries(const std::vector<Entry>& entries, Format format, const std::string& drawing)
{
    if (format == Format::kJson) {
        const std::string end = passCountsEnd();
        for (const Entry& e : entries) {
            writeEntryJson(e, drawing, end);
            output::itemDone();
        }
        return;
    }
    if (format == Format::kCsv) {
        output::line(std::string(drawing.empty() ? "" : "drawing,") + "location,evaluator,code,status,value,problem");
        for (const Entry& e : entries) {
            if (!drawing.empty()) {
                writeCsvCell(std::string_view(drawing));
                output::write(",");
            }
            writeCsvCell(std::string_view(entryLocationText(e)));
            output::write(",");
            if (e.field && !e.field->isTextField() && e.field->evaluatorId())
                writeCsvCell(std::u16string_view(e.field->evaluatorId()));
            output::write(",");
            if (e.field)
                writeCodeCsv(*e.field);
            else
                writeCsvCell(std::string_view(e.openCode));
            output::write(",");
            output::jsonNumber(static_cast<long long>(entryStatus(e)));
            output::write(",");
            AcString storage;
            if (e.field)
                writeCsvCell(HostAccess::hostDisplayView(*e.field, storage));
            else
                writeCsvCell(std::string_view(e.openCode));
            output::write(",");
            writeCsvCell(std::string_view(entryProblem(e)));
            output::write("\n");
            output::itemDone();
        }
        return;
    }
    std::vector<std::vector<Cell>> rows;
    rows.reserve(entries.size() + 1);
    rows.push_back({std::string("LOCATION"), std::string("EVALUATOR"), std::string("PARAMETERS"), std::string("STATUS"),
                    std::string("VALUE"), std::string("PROBLEM")});
    // Numbers shown by a field are formatted into storage that outlives the rows.
    std::vector<AcString> storage(entries.size());
    bool anyProblem = false;
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        std::string problem = entryProblem(e);
        anyProblem |= !problem.empty();
        Cell display = e.field ? Cell(HostAccess::hostDisplayView(*e.field, storage[i])) : Cell(e.openCode);
        rows.push_back({entryLocationText(e), evaluatorOf(e), e.field ? utf::toUtf8(e.field->parameters()) : e.openCode,
                        statusText(entryStatus(e)), std::move(display), std::move(problem)});
    }
    if (!anyProblem)
        rows[0].pop_back();
    printCells(rows);
}

}
