// Cell references and nested field codes: decides whether an operand names a
// table cell or range, keeps the values read in the expression's cell map,
// parses cell addresses and evaluates nested field codes. Interface:
// CExpression::ResolveReference, ReadTableCells, ParseCellAddress,
// EvaluateFieldCode, FindOwnerTable, MatchGroups, SetCellValue and the
// lookups of operands in the cell map (GetVariableValue, Resolve).
#include "expr/CExpression.h"

#include "host/acutads.h"
#include "host/dbapserv.h"
#include "host/dbfield.h"
#include "host/dbsymtb.h"
#include "host/dbtable.h"
#include "tablecell/RegExp.h"
#include "util/TextCase.h"
#include "util/WideCrt.h"

namespace {

const std::u16string kFieldFailure = u"####";

using textcase::isDigit;
constexpr auto isLetter = textcase::isUpperLetter;

// Nested field codes deeper than this give "####": a code that leads back
// to itself must not recurse without end.
constexpr int kMaxFieldNesting = 16;
thread_local int t_fieldNesting = 0;

// The object a handle names in the working drawing; null when none.
AcDbObjectId objectOfHandle(std::u16string_view handle)
{
    std::u16string text(handle);
    ads_name name = {0, 0};
    AcDbObjectId id;
    if (acdbHandEnt(text.c_str(), name) != RTNORM || acdbGetObjectId(id, name) != Acad::eOk)
        return AcDbObjectId();
    return id;
}

// Replaces every occurrence of what in text with with.
// The owner of an object; the null id when it cannot be opened.
AcDbObjectId ownerOf(AcDbObjectId id)
{
    AcDbObject* object = nullptr;
    if (acdbOpenAcDbObject(object, id, AcDb::kForRead) != Acad::eOk || !object)
        return AcDbObjectId();
    AcDbObjectId owner = object->ownerId();
    object->close();
    return owner;
}

void replaceAll(std::u16string& text, const std::u16string& what, const std::u16string& with)
{
    for (size_t at = text.find(what); at != std::u16string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

}

void CExpression::SetCellValue(const std::u16string& reference, std::u16string value)
{
    m_cellValues[crt::toUpper(reference)] = std::move(value);
}

int CExpression::ResolveReference(const std::u16string& text)
{
    // Numbers first: they are most of the operands, and every test here
    // only rules the text out.
    if (text.empty() || IsNumber(text) || IsInList(kArithmeticOperators, text) || IsInList(kLogicalOperators, text) ||
        IsInList(kComparisonOperators, text) || IsBoolean(text) || IsFunction(text))
        return 0;
    std::u16string key = crt::toUpper(text);
    if (m_cellValues.count(key))
        return 1;
    size_t bang = key.find(u'!');
    if (bang != std::u16string::npos && bang > 0) {
        AcDbObjectId table = objectOfHandle(std::u16string_view(key).substr(0, bang));
        if (!table.isNull())
            ReadTableCells(key, key.substr(bang + 1), table);
    } else if (bang == std::u16string::npos && m_table.isValid()) {
        ReadTableCells(key, key, m_table);
    }
    return m_cellValues.count(key) ? 1 : 0;
}

int CExpression::ReadTableCells(const std::u16string& key, const std::u16string& reference, AcDbObjectId table)
{
    if (reference.empty())
        return 0;
    int firstRow = 0, firstColumn = 0, lastRow = 0, lastColumn = 0;
    size_t colon = reference.find(u':');
    if (colon == std::u16string::npos) {
        if (!ParseCellAddress(reference, firstRow, firstColumn) || firstRow <= 0 || firstColumn <= 0)
            return 0;
        lastRow = firstRow;
        lastColumn = firstColumn;
    } else {
        if (colon == 0 || reference.find(u':', colon + 1) != std::u16string::npos || colon + 1 == reference.size())
            return 0;
        if (!ParseCellAddress(std::u16string_view(reference).substr(0, colon), firstRow, firstColumn) ||
            !ParseCellAddress(std::u16string_view(reference).substr(colon + 1), lastRow, lastColumn) || firstRow <= 0 ||
            firstColumn <= 0 || lastRow <= 0 || lastColumn <= 0)
            return 0;
    }
    AcDbObjectPointer<AcDbTable> tablePtr(table, AcDb::kForRead);
    if (!tablePtr)
        return 0;
    if (colon == std::u16string::npos) {
        // A single cell is read without a bounds check: outside the table the
        // host gives an empty text.
        m_cellValues[key] = tablePtr->textString(firstRow - 1, firstColumn - 1, AcDbTable::kIgnoreMtextFormat);
        return 1;
    }
    std::u16string value(1, kRangeMarker);
    bool first = true;
    int rows = static_cast<int>(tablePtr->numRows()), columns = static_cast<int>(tablePtr->numColumns());
    for (int r = std::min(firstRow, lastRow); r <= std::max(firstRow, lastRow); ++r) {
        for (int c = std::min(firstColumn, lastColumn); c <= std::max(firstColumn, lastColumn); ++c) {
            if (r > rows || c > columns)
                continue;
            if (!first)
                value += u',';
            value += tablePtr->textString(r - 1, c - 1, AcDbTable::kIgnoreMtextFormat);
            first = false;
        }
    }
    m_cellValues[key] = std::move(value);
    return 1;
}

int CExpression::FindOwnerTable(AcDbField* field)
{
    if (!field)
        return 0;
    // Up the owners to the first block record that is not a layout: the
    // field is in a table when that record is anonymous and referenced by
    // exactly one table.
    for (AcDbObjectId current = field->ownerId(); current.isValid(); current = ownerOf(current)) {
        AcDbSymbolTableRecordPointer<AcDbBlockTableRecord> record(current, AcDb::kForRead);
        if (!record || record->isLayout() || !record->isAnonymous())
            continue;
        std::vector<AcDbObjectId> refs;
        record->getBlockReferenceIds(refs, true, false);
        if (refs.size() != 1)
            return 0;
        AcDbObjectPointer<AcDbTable> table(refs[0], AcDb::kForRead);
        if (!table)
            return 0;
        m_table = refs[0];
        return 1;
    }
    return 0;
}

bool CExpression::ParseCellAddress(std::u16string_view address, int& row, int& column)
{
    if (address.size() <= 1)
        return false;
    size_t i = address[0] == u'$' ? 1 : 0;
    if (i >= address.size() || !isLetter(address[i]))
        return false;
    column = address[i++] - 64;
    if (i >= address.size())
        return false;
    if (address[i] == u'$') {
        row = crt::wtoi(address.substr(i + 1));
        return true;
    }
    if (isLetter(address[i]))
        column = column * 26 + (address[i++] - 64);
    if (i >= address.size())
        return false;
    if (address[i] == u'$') {
        row = crt::wtoi(address.substr(i + 1));
        return true;
    }
    if (!isDigit(address[i]))
        return false;
    for (size_t j = i; j < address.size(); ++j)
        if (!isDigit(address[j]))
            return false;
    row = crt::wtoi(address.substr(i));
    return true;
}

std::u16string CExpression::EvaluateFieldCode(std::u16string_view fieldCode)
{
    if (fieldCode.size() < 2)
        return kFieldFailure;
    std::u16string text(fieldCode);
    if (!acdbHasFields(text.c_str()))
        return text;
    if (t_fieldNesting >= kMaxFieldNesting)
        return kFieldFailure;

    int first = 0, last = 0;
    if (acdbFindField(text.c_str(), 0, first, last) && first >= 0 && last >= first) {
        std::u16string code = text.substr(static_cast<size_t>(first), static_cast<size_t>(last - first) + 1);
        TokenList groups;
        // The host's property field needs an object id; a handle is turned into one.
        if (code.starts_with(u"%<\\AcObjProp") && MatchGroups(code, u"%<\\\\_ObjHandle {[0-9a-zA-Z]+}>%", groups) &&
            !groups.empty()) {
            AcDbObjectId id = objectOfHandle(groups[0]);
            if (id.isValid())
                replaceAll(text, u"%<\\_ObjHandle " + groups[0] + u">%",
                           u"%<\\_ObjId " + crt::widen(std::to_string(id.asOldId())) + u">%");
        }
    }

    struct Nesting {
        Nesting() { ++t_fieldNesting; }
        ~Nesting() { --t_fieldNesting; }
    } nesting;
    AcDbField field;
    field.setFieldCode(text.c_str(), 0, nullptr);
    if (!field.evaluatorId())
        return kFieldFailure;
    field.evaluate(AcDbField::kPreview, acdbHostApplicationServices()->workingDatabase(), nullptr, nullptr);
    if (field.evaluationStatus(nullptr, nullptr) != AcDbField::kSuccess)
        return kFieldFailure;
    return field.getValue();
}

int CExpression::MatchGroups(std::u16string_view text, std::u16string_view pattern, TokenList& groups)
{
    return matchGroups(text, pattern, groups) ? 1 : 0;
}

std::u16string CExpression::GetVariableValue(const std::u16string& reference) const
{
    std::u16string key = crt::toUpper(reference);
    auto found = m_cellValues.find(key);
    if (found == m_cellValues.end())
        throw CExpressionError(u"Variable [" + key + u"] not defined");
    return found->second;
}

std::u16string CExpression::Resolve(const std::u16string& operand)
{
    return ResolveReference(operand) ? GetVariableValue(operand) : operand;
}
