// AsdkTableCellEvaluator: see the header. Every failure is a status, never
// a message: 16 for anything wrong with the reference or the table.
#include "tablecell/AsdkTableCellEvaluator.h"

#include "app/EvaluatorFrame.h"
#include "host/dbapserv.h"
#include "host/dbtable.h"
#include "tablecell/CellAddress.h"
#include "tablecell/RegExp.h"
#include "util/WideCrt.h"

namespace {

// Group 0 the table's handle, group 1 everything after the full stop.
constexpr std::u16string_view kTableReference = u"TABLE\\([<]*{[A-Z0-9a-z]+}[>]*\\)\\.{.*}";

int evaluateCell(AcDbField* field, AcFdFieldValue& value)
{
    AcString data;
    int status = frame::readData(field, AsdkTableCellEvaluator::kDataKey, data);
    if (status != frame::kSuccess)
        return status;
    std::vector<std::u16string> groups;
    if (!AsdkTableCellEvaluator::splitReference(data, groups))
        return frame::kInvalidCode;

    // The table is looked up in the working drawing, not the field's own.
    AcDbDatabase* db = acdbHostApplicationServices()->workingDatabase();
    AcDbObjectId tableId;
    if (!db || db->getAcDbObjectId(tableId, false, AcDbHandle(groups[0].c_str()), 0) != Acad::eOk)
        return frame::kInvalidCode;
    int row = 0, column = 0;
    if (!parseCellAddress(groups[1], row, column) || row <= 0 || column <= 0)
        return frame::kInvalidCode;
    AcDbObjectPointer<AcDbTable> table(tableId, AcDb::kForRead);
    if (!table)
        return frame::kInvalidCode;
    AcString cell = table->textString(row - 1, column - 1, AcDbTable::kIgnoreMtextFormat);
    value.set(cell.kwszPtr());
    return frame::kSuccess;
}

}

bool AsdkTableCellEvaluator::splitReference(const AcString& data, std::vector<std::u16string>& groups)
{
    std::u16string text = crt::toUpper(data);
    return matchGroups(text, kTableReference, groups) && groups.size() == 2;
}

Acad::ErrorStatus AsdkTableCellEvaluator::compile(AcDbField* field, AcDbDatabase*, AcFdFieldResult* result)
{
    return frame::compile(field, kDataKey, result);
}

Acad::ErrorStatus AsdkTableCellEvaluator::evaluate(AcDbField* field, int, AcDbDatabase* database,
                                                   AcFdFieldResult* result)
{
    return frame::evaluate(field, database, result,
                           [](AcDbField* f, AcDbDatabase*, AcFdFieldValue& v) { return evaluateCell(f, v); });
}
