// Drawing tables: cell texts live in the table's anonymous block.
#include "host/dbtable.h"
#include "host/acutads.h"
#include "host/dbtext.h"

ACRX_DEFINE_MEMBERS(AcDbTable, AcDbBlockReference)

AcDbObjectId AcDbTable::cellTextId(int row, int column) const
{
    auto it = m_cells.find({row, column});
    return it == m_cells.end() ? AcDbObjectId() : it->second;
}

AcString AcDbTable::textString(int row, int column, int option) const
{
    if (row < 0 || column < 0 || static_cast<Adesk::UInt32>(row) >= m_rows ||
        static_cast<Adesk::UInt32>(column) >= m_columns)
        return {};
    AcDbObjectPointer<AcDbText> text(cellTextId(row, column), AcDb::kForRead);
    if (!text)
        return {};
    if (!(option & kIgnoreMtextFormat))
        return text->textStringConst();
    ACHAR* shown = text->textString();
    AcString plain(shown);
    acutDelBuffer(shown);
    return plain;
}
