// Field checks; see the header. Each rule uses the evaluator's own parsing
// (handle lists, block count options, table references, file paths, the
// expression evaluator), so a finding says what the evaluation will do.
#include "app/FieldCheck.h"

#include "blockcount/AsdkBlockCountEvaluator.h"
#include "blockcount/BlockCountCode.h"
#include "expr/AsdkExprEvaluator.h"
#include "external/AsdkExcelCellEvaluator.h"
#include "external/AsdkTextFileEvaluator.h"
#include "external/DrawingPath.h"
#include "host/dbapserv.h"
#include "host/dbarc.h"
#include "host/dbcircle.h"
#include "host/dbline.h"
#include "host/dbpl.h"
#include "host/dbsymtb.h"
#include "host/dbtable.h"
#include "host/winpath.h"
#include "measure/AsdkAreaEvaluator.h"
#include "measure/AsdkLengthEvaluator.h"
#include "measure/HandleList.h"
#include "tablecell/AsdkTableCellEvaluator.h"
#include "tablecell/CellAddress.h"
#include "util/CDelimTokenizer.h"
#include "util/TextCase.h"

#include <algorithm>

namespace fieldcheck {

namespace {

using Findings = std::vector<std::u16string>;

std::u16string number(size_t n)
{
    std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

// "text" for AcDbText: what a user calls the object.
std::u16string kindOf(AcDbObjectId id)
{
    AcDbObjectPointer<AcDbObject> obj(id, AcDb::kForRead);
    if (!obj)
        return u"object";
    std::u16string name = obj->isA()->name();
    if (name.starts_with(u"AcDb"))
        name.erase(0, 4);
    for (char16_t& c : name)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    if (name == u"blockreference")
        return u"block reference";
    return name;
}

template <class T> bool is(AcDbObjectId id)
{
    AcDbObjectPointer<T> p(id, AcDb::kForRead);
    return bool(p);
}

// The kinds the length and area fields add up; anything else adds nothing.
bool lengthMeasures(AcDbObjectId id)
{
    return is<AcDbLine>(id) || is<AcDbCircle>(id) || is<AcDbArc>(id) || is<AcDbPolyline>(id);
}
bool areaMeasures(AcDbObjectId id) { return is<AcDbCircle>(id) || is<AcDbArc>(id) || is<AcDbPolyline>(id); }

void checkMeasure(const AcString& code, const ACHAR* id, bool (*measures)(AcDbObjectId), Findings& out)
{
    std::vector<std::u16string> items;
    if (!handlelist::items(code, items)) {
        out.push_back(u"the code must be Object(<handle;handle;...>); it is \"" + code + u"\"");
        return;
    }
    if (items.empty()) {
        out.push_back(u"Object() names no object; the value is 0");
        return;
    }
    for (const std::u16string& item : items) {
        AcDbObjectId objectId;
        if (!handlelist::resolve(item, objectId))
            out.push_back(u"<" + item + u"> names no object of the drawing; it adds nothing");
        else if (!measures(objectId))
            out.push_back(u"<" + item + u"> is a " + kindOf(objectId) + u", which " + id +
                          u" does not measure; it adds nothing");
    }
}

// Names in a symbol table match exactly, as the count compares them.
bool hasRecord(AcDbObjectId tableId, const std::u16string& name, std::u16string& nearCase)
{
    AcDbObjectPointer<AcDbSymbolTable> table(tableId, AcDb::kForRead);
    if (!table)
        return false;
    for (AcDbObjectId recordId : table->recordIds()) {
        AcDbObjectPointer<AcDbSymbolTableRecord> rec(recordId, AcDb::kForRead);
        if (!rec || rec->isErased())
            continue;
        if (rec->name() == name)
            return true;
        if (textcase::equalsIgnoreCase(rec->name(), name))
            nearCase = rec->name();
    }
    return false;
}

// Edits between two words, letter case ignored, for "did you mean".
size_t distance(std::u16string_view a, std::u16string_view b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            bool same = textcase::equalsIgnoreCase(a.substr(i - 1, 1), b.substr(j - 1, 1));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

constexpr std::u16string_view kBlockCountOptions[] = {u"Window", u"Space", u"layer", u"tag",
                                                      u"op",     u"value", u"nested"};

void checkBlockCount(const AcString& code, Findings& out)
{
    BlockCountRequest r = parseBlockCountCode(code);
    if (r.empty)
        return;
    AcDbDatabase* db = acdbHostApplicationServices()->workingDatabase();
    // Options: every piece after a backslash, past the names, must start with an option's name.
    std::u16string_view text(code);
    size_t firstSlash = text.find(u'\\');
    if (firstSlash != std::u16string_view::npos) {
        CDelimTokenizer segments(text.substr(firstSlash), u"\\");
        for (std::u16string segment; segments.next(segment);) {
            std::u16string word = segment.substr(0, std::min(segment.find_first_of(u" \t\""), segment.size()));
            // \nested is found as written; the others ignore letter case and need a value.
            if (segment.starts_with(u"nested"))
                continue;
            auto option = std::find_if(std::begin(kBlockCountOptions), std::end(kBlockCountOptions), [&](auto name) {
                return name != u"nested" && segment.size() >= name.size() &&
                    textcase::equalsIgnoreCase(std::u16string_view(segment).substr(0, name.size()), name);
            });
            if (option != std::end(kBlockCountOptions)) {
                if (segment.size() == option->size())
                    out.push_back(u"\\" + word + u" has no value; it is ignored");
                continue;
            }
            std::u16string nearest;
            size_t best = 3;
            for (auto name : kBlockCountOptions)
                if (size_t d = distance(word, name); d < best) {
                    best = d;
                    nearest = name;
                }
            out.push_back(u"\\" + word + u" is not an option" +
                          (nearest.empty() ? u"" : u" (did you mean \\" + nearest + u"?)") +
                          u"; it is ignored, so it filters nothing");
        }
    }
    if (db) {
        for (const std::u16string& name : r.blockNames) {
            std::u16string nearCase;
            if (!hasRecord(db->blockTableId(), name, nearCase))
                out.push_back(u"no block is named \"" + name + u"\"" +
                              (nearCase.empty() ? u"" : u" (names match letter case: " + nearCase + u")") +
                              u"; it counts nothing");
        }
        for (const std::u16string& name : r.layerNames) {
            std::u16string nearCase;
            if (!hasRecord(db->layerTableId(), name, nearCase))
                out.push_back(u"no layer is named \"" + name + u"\"" +
                              (nearCase.empty() ? u"" : u" (names match letter case: " + nearCase + u")") +
                              u"; no reference stands on it");
        }
    }
    AcString window, space;
    getOptionValue(code, u"\\Window", window);
    getOptionValue(code, u"\\Space", space);
    if ((!window.empty() || !space.empty()) && !r.window)
        out.push_back(u"\\Window and \\Space count only together, with a window (x,y):(x,y); both are ignored");
}

std::u16string columnName(int column)
{
    std::u16string name;
    for (; column > 0; column = (column - 1) / 26)
        name.insert(name.begin(), static_cast<char16_t>(u'A' + (column - 1) % 26));
    return name;
}

void checkTableCell(const AcString& code, Findings& out)
{
    std::vector<std::u16string> groups;
    if (!AsdkTableCellEvaluator::splitReference(code, groups)) {
        out.push_back(u"the code must be TABLE(<handle>).$COLUMN$ROW; it is \"" + code + u"\"");
        return;
    }
    AcDbDatabase* db = acdbHostApplicationServices()->workingDatabase();
    AcDbObjectId tableId;
    if (!db || db->getAcDbObjectId(tableId, false, AcDbHandle(groups[0].c_str()), 0) != Acad::eOk) {
        out.push_back(u"<" + groups[0] + u"> names no object of the drawing");
        return;
    }
    AcDbObjectPointer<AcDbTable> table(tableId, AcDb::kForRead);
    if (!table) {
        out.push_back(u"<" + groups[0] + u"> is a " + kindOf(tableId) + u", not a table");
        return;
    }
    int row = 0, column = 0;
    const std::u16string& address = groups[1];
    std::u16string where = u"TABLE(<" + groups[0] + u">)." + address;
    if (!parseCellAddress(address, row, column)) {
        bool columnDollar = !address.empty() && address[0] == u'$';
        out.push_back(where + u": a cell address needs $ before the " +
                      (columnDollar ? u"row" : u"column and the row") + u", as in $B$2");
        return;
    }
    if (row <= 0 || column <= 0) {
        out.push_back(where + u": rows and columns count from 1");
        return;
    }
    if (static_cast<Adesk::UInt32>(row) > table->numRows() || static_cast<Adesk::UInt32>(column) > table->numColumns())
        out.push_back(where + u": $" + columnName(column) + u"$" + number(static_cast<size_t>(row)) +
                      u" is outside the table (" + number(table->numRows()) + u" rows, " + number(table->numColumns()) +
                      u" columns); the value is empty");
}

// A missing file or an unresolvable relative path, as the file fields find them.
bool checkPath(const AcString& written, Findings& out, const std::u16string& shown)
{
    AcString path;
    if (!drawingpath::locate(written, path)) {
        out.push_back(u"the relative path " + written + u" needs a saved drawing in a folder to count from");
        return false;
    }
    if (!PathFileExistsW(path.c_str())) {
        out.push_back(path + u" does not exist; the field shows \"" + shown + u" is not found.\"");
        return false;
    }
    return true;
}

void checkTextField(const AcString& code, Findings& out)
{
    // The text field's message names the full path.
    AcString path;
    checkPath(code, out, drawingpath::locate(code, path) ? path : code);
}

void checkExcelCell(const AcString& code, Findings& out)
{
    AsdkExcelCellEvaluator::CellCode parts = AsdkExcelCellEvaluator::split(code);
    if (parts.cell.empty() || parts.worksheet.empty() || parts.path.empty()) {
        out.push_back(u"the code must be PATH:SHEET:CELL; it is \"" + code + u"\"");
        return;
    }
    AcString path;
    if (!checkPath(parts.path, out, code) || !drawingpath::locate(parts.path, path))
        return;
    if (std::u16string finding = AsdkExcelCellEvaluator::checkWorkbook(path, parts); !finding.empty())
        out.push_back(finding);
}

void checkExpression(AcDbField* field, const AcString& code, Findings& out)
{
    std::u16string result;
    if (!AsdkExprEvaluator::run(field, code, result))
        out.push_back(u"the expression gives the message \"" + result + u"\"");
}

}

std::vector<std::u16string> checkField(AcDbField* field)
{
    Findings out;
    if (!field || field->isTextField() || !field->evaluatorId())
        return out;
    // The code as compile stores it: nested fields as their values, no format option.
    AcString code =
        field->getFieldCode(AcDbField::kEvaluatedChildren | AcDbField::kStripOptions, nullptr, AcDb::kForRead);
    std::u16string_view id = field->evaluatorId();
    auto named = [&](const ACHAR* want) { return textcase::equalsIgnoreCase(id, want); };
    if (code.empty() && !named(AsdkBlockCountEvaluator::kId)) {
        out.push_back(u"the code has no parameters");
        return out;
    }
    if (named(AsdkLengthEvaluator::kId))
        checkMeasure(code, AsdkLengthEvaluator::kId, lengthMeasures, out);
    else if (named(AsdkAreaEvaluator::kId))
        checkMeasure(code, AsdkAreaEvaluator::kId, areaMeasures, out);
    else if (named(AsdkBlockCountEvaluator::kId))
        checkBlockCount(code, out);
    else if (named(AsdkTableCellEvaluator::kId))
        checkTableCell(code, out);
    else if (named(AsdkTextFileEvaluator::kId))
        checkTextField(code, out);
    else if (named(AsdkExcelCellEvaluator::kId))
        checkExcelCell(code, out);
    else if (named(AsdkExprEvaluator::kId))
        checkExpression(field, code, out);
    return out;
}

}
