// Cell references and nested field codes: decides whether an operand names a
// table cell or range, keeps the values read in the expression's cell map,
// parses cell addresses and evaluates nested field codes. Interface:
// CExpression::ResolveReference, ReadTableCells, ParseCellAddress,
// EvaluateFieldCode, MatchGroups and SetCellValue.
#include "expr/CExpression.h"

#include "tablecell/RegExp.h"
#include "util/WideCrt.h"

namespace {

const std::u16string kFieldFailure = u"####";

bool isLetter(char16_t c) { return c >= u'A' && c <= u'Z'; }
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// The object a handle names in the working drawing; null when none.
AcDbObjectId objectOfHandle(std::u16string_view /*handle*/)
{
    // Handles are resolved here once the drawing database is reachable.
    return AcDbObjectId();
}

}

void CExpression::SetCellValue(const std::u16string& reference, std::u16string value)
{
    m_cellValues[crt::toUpper(reference)] = std::move(value);
}

int CExpression::ResolveReference(const std::u16string& text)
{
    if (text.empty() || IsInList(kArithmeticOperators, text) || IsInList(kLogicalOperators, text) ||
        IsInList(kComparisonOperators, text) || IsBoolean(text) || IsNumber(text) || IsFunction(text))
        return 0;
    std::u16string key = crt::toUpper(text);
    if (m_cellValues.count(key))
        return 1;
    size_t bang = key.find(u'!');
    if (bang != std::u16string::npos && bang > 0) {
        AcDbObjectId table = objectOfHandle(std::u16string_view(key).substr(0, bang));
        if (!table.isNull())
            ReadTableCells(key, key.substr(bang + 1), table);
    } else if (bang == std::u16string::npos && !m_table.isNull()) {
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
        if (colon == 0 || reference.find(u':', colon + 1) != std::u16string::npos ||
            colon + 1 == reference.size())
            return 0;
        if (!ParseCellAddress(std::u16string_view(reference).substr(0, colon), firstRow, firstColumn) ||
            !ParseCellAddress(std::u16string_view(reference).substr(colon + 1), lastRow, lastColumn) ||
            firstRow <= 0 || firstColumn <= 0 || lastRow <= 0 || lastColumn <= 0)
            return 0;
    }
    // Drawing tables are read here once the host gives access to them.
    (void)key;
    (void)table;
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
    if (fieldCode.find(u"%<") == std::u16string_view::npos)
        return std::u16string(fieldCode);
    // Nested field codes are evaluated here once the field engine is reachable.
    return kFieldFailure;
}

int CExpression::MatchGroups(std::u16string_view text, std::u16string_view pattern, TokenList& groups)
{
    return matchGroups(text, pattern, groups) ? 1 : 0;
}
