// Drawing tables. A table is a block reference to an anonymous block that
// holds one paragraph text per filled cell; the table is that block's only
// direct reference, so a field in a cell finds its table through owners.
#pragma once

#include "host/AcString.h"
#include "host/dbblkref.h"

#include <map>
#include <utility>

class AcDbTable : public AcDbBlockReference {
    ACRX_DECLARE_MEMBERS(AcDbTable)
public:
    // Format options of textString.
    enum FormatOption : int {
        kFormatDefault = 0,        // as stored
        kForEditing = 1,           // (as stored here)
        kForExpression = 2,        // (as stored here)
        kUseMaximumPrecision = 4,  // (as stored here)
        kIgnoreMtextFormat = 8,    // plain text, fields shown by their values
    };

    Adesk::UInt32 numRows() const { return m_rows; }
    Adesk::UInt32 numColumns() const { return m_columns; }
    void setSize(Adesk::UInt32 rows, Adesk::UInt32 columns)
    {
        m_rows = rows;
        m_columns = columns;
    }

    // The text of a cell (rows and columns from 0); empty outside the table
    // or for an empty cell.
    AcString textString(int row, int column, int option = kFormatDefault) const;
    // The text object that holds a cell's contents; null when the cell is empty.
    AcDbObjectId cellTextId(int row, int column) const;

private:
    // Host bookkeeping, reached through the replacement host's HostAccess only.
    friend struct HostAccess;
    void hostSetCellText(int row, int column, AcDbObjectId textId) { m_cells[{row, column}] = textId; }
    const std::map<std::pair<int, int>, AcDbObjectId>& hostCells() const { return m_cells; }

    Adesk::UInt32 m_rows = 0;
    Adesk::UInt32 m_columns = 0;
    std::map<std::pair<int, int>, AcDbObjectId> m_cells;
};
