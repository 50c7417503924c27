// ACAD_TABLE entities into the host's tables: size, row heights and column
// widths, each cell's shown text (R2000/R2004 group 1, R2007 and later the
// CELL_VALUE value record), merged ranges and cells holding fields (344).
// Each filled cell gets a text of its own in the table's *T block; the
// block's drawn MTEXT of that cell, found by where it stands, is kept only
// for the writer. The entity's cell records are what counts: every release
// writes them, TABLECONTENT is optional and derived from them.
#include "replacement_host/dxf/DxfFieldRecord.h"
#include "replacement_host/HostAccess.h"

#include "host/dbsymtb.h"
#include "host/dbtable.h"
#include "host/dbtext.h"
#include "replacement_host/fields/ValueDisplay.h"
#include "replacement_host/text/Utf.h"

#include <algorithm>
#include <charconv>
#include <map>

namespace dxf {

namespace {
constexpr long long kMaxCells = 1'000'000;

long long whole(const Record::Item& item)
{
    long long v = 0;
    std::string_view s = item.value;
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

double real(const Record::Item& item)
{
    double v = 0;
    std::string_view s = item.value;
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

// The shown text of a cell value record: its formatted text, else the value.
AcString cellShownText(const ValueRecord& v)
{
    if (v.hasShown && !v.shown.empty())
        return v.shown;
    if (!v.value.isValid())
        return {};
    return valuedisplay::format(v.value, v.format);
}

}  // namespace

void FileObjects::noteTable(AcDbTable* table, const Record& r)
{
    PendingTable t{table, std::string(r.text(5)), r.xdictionary, r.line, {}, {}, {}};
    const auto& items = r.items;
    size_t n = r.size, i = 0;
    while (i < n && !(items[i].code == 100 && items[i].value == "AcDbTable"))
        ++i;
    long long rows = -1, columns = -1;
    size_t firstCell = n;
    for (size_t k = i; k < n; ++k) {
        const Record::Item& item = items[k];
        if (item.code == 171) {
            firstCell = k;
            break;
        }
        if (item.code == 91 && rows < 0)
            rows = whole(item);
        else if (item.code == 92 && columns < 0)
            columns = whole(item);
        else if (item.code == 141)
            t.heights.push_back(real(item));
        else if (item.code == 142)
            t.widths.push_back(real(item));
    }
    if (rows < 0 || columns < 0 || rows * columns > kMaxCells) {
        m_source.problems.push_back("line " + std::to_string(r.line) + ": ACAD_TABLE " + t.handle +
                                    " has no readable size; its cells are not read");
        m_tables.push_back(std::move(t));
        return;
    }
    table->setSize(static_cast<Adesk::UInt32>(rows), static_cast<Adesk::UInt32>(columns));
    bool valueRecords = m_source.valueRecords();
    size_t k = firstCell;
    for (long long index = 0; index < rows * columns && k < n; ++index) {
        Cell cell;
        cell.index = static_cast<int>(index);
        cell.row = static_cast<int>(index / columns);
        cell.column = static_cast<int>(index % columns);
        size_t end = k + 1;
        while (end < n && items[end].code != 171)
            ++end;
        std::string pieces;
        try {
            for (size_t j = k + 1; j < end; ++j) {
                const Record::Item& item = items[j];
                switch (item.code) {
                case 173: cell.covered = whole(item) != 0; break;
                case 175: cell.spanColumns = static_cast<int>(std::max(1LL, whole(item))); break;
                case 176: cell.spanRows = static_cast<int>(std::max(1LL, whole(item))); break;
                case 344: cell.field = item.value; break;
                case 2:
                case 3:
                    if (!valueRecords)
                        pieces += item.value;
                    break;
                case 1:
                    if (!valueRecords && cell.text.empty()) {
                        pieces += item.value;
                        cell.text = r.decode(pieces);
                        pieces.clear();
                    }
                    break;
                case 301:
                    if (valueRecords && item.value == "CELL_VALUE") {
                        ValueRecord v;
                        j = readValue(items, j + 1, true, r, v) - 1;
                        cell.text = cellShownText(v);
                    }
                    break;
                default: break;
                }
            }
        } catch (const FieldError& e) {
            m_source.problems.push_back("line " + std::to_string(e.line) + ": ACAD_TABLE " + t.handle + " cell " +
                                        std::to_string(cell.row) + "," + std::to_string(cell.column) + ": " + e.what);
        }
        t.cells.push_back(std::move(cell));
        k = end;
    }
    if (static_cast<long long>(t.cells.size()) < rows * columns)
        m_source.problems.push_back("line " + std::to_string(r.line) + ": ACAD_TABLE " + t.handle + " has " +
                                    std::to_string(t.cells.size()) + " cell records for " + std::to_string(rows) +
                                    " x " + std::to_string(columns) + " cells");
    m_tables.push_back(std::move(t));
}

namespace {

// The shown text of each TABLECONTENT cell, row by row (empty for a cell
// without a value); none when the table has no TABLECONTENT.
std::vector<AcString> tableContentTexts(const StoredRecord& content, bool valueRecords, const Record& decoder)
{
    std::vector<AcString> out;
    const auto& items = content.items;
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].code != 1 || items[i].value != "LINKEDTABLEDATACELL_BEGIN")
            continue;
        AcString text;
        for (size_t j = i + 1; j < items.size(); ++j) {
            if (items[j].code == 309 && items[j].value == "LINKEDTABLEDATACELL_END")
                break;
            if (items[j].code == 300 && items[j].value == "VALUE") {
                ValueRecord v;
                try {
                    readValue(items, j + 1, valueRecords, decoder, v);
                    text = cellShownText(v);
                } catch (const FieldError&) {
                }
                break;
            }
        }
        out.push_back(std::move(text));
    }
    return out;
}

std::string tableContentOf(const FileObjects& objects, const std::string& xdictionary)
{
    const StoredRecord* roundTrip = objects.find(dictionaryEntry(objects, xdictionary, "ACAD_XREC_ROUNDTRIP"));
    if (!roundTrip)
        return {};
    for (const Record::Item& item : roundTrip->items)
        if (item.code == 360)
            return std::string(item.value);
    return {};
}

}  // namespace

struct TableBuilder {
    // The cell that shows what stands at (x, y) of the table's block: the
    // top-left cell of a merged range covering it.
    static const FileObjects::Cell* cellAt(const FileObjects::PendingTable& t, double x, double y)
    {
        if (t.widths.empty() || t.heights.empty())
            return nullptr;
        int column = -1, row = -1;
        double edge = 0;
        for (size_t c = 0; c < t.widths.size(); ++c) {
            edge += t.widths[c];
            if (x >= -1e-9 && x < edge) {
                column = static_cast<int>(c);
                break;
            }
        }
        edge = 0;
        for (size_t r = 0; r < t.heights.size(); ++r) {
            edge += t.heights[r];
            if (-y >= -1e-9 && -y < edge) {
                row = static_cast<int>(r);
                break;
            }
        }
        if (row < 0 || column < 0)
            return nullptr;
        for (const FileObjects::Cell& c : t.cells)
            if (!c.covered && row >= c.row && row < c.row + c.spanRows && column >= c.column &&
                column < c.column + c.spanColumns)
                return &c;
        return nullptr;
    }
};

void FileObjects::finishTables(AcDbDatabase& db, const Resolve& resolve, const Record& decoder)
{
    if (m_tables.empty())
        return;
    // The drawn MTEXTs of each *T block.
    std::map<Adesk::IntDbId, std::vector<AcDbMText*>> drawn;
    for (const PendingTable& t : m_tables)
        drawn[t.table->blockTableRecord().asOldId()];
    for (AcDbObjectId id : db.objectIds())
        if (auto* m = AcDbMText::cast(HostAccess::objectAt(db, id)))
            if (auto it = drawn.find(m->ownerId().asOldId()); it != drawn.end())
                it->second.push_back(m);
    for (PendingTable& t : m_tables) {
        AcDbObjectId blockId = t.table->blockTableRecord();
        if (!AcDbBlockTableRecord::cast(HostAccess::objectAt(db, blockId)))
            continue;
        // TABLECONTENT, where there is one, follows the entity's cell records;
        // where the two disagree, the entity's record is used.
        std::string contentHandle = t.xdictionary.empty() ? std::string() : tableContentOf(*this, t.xdictionary);
        if (const StoredRecord* content = contentHandle.empty() ? nullptr : find(contentHandle)) {
            std::vector<AcString> texts = tableContentTexts(*content, m_source.valueRecords(), decoder);
            for (const Cell& cell : t.cells) {
                if (static_cast<size_t>(cell.index) >= texts.size() || !cell.field.empty())
                    continue;
                ++m_source.tableContentCells;
                // R2000 contents carry typed values only; their shown text is the entity's.
                if (m_source.valueRecords() && texts[cell.index] != cell.text)
                    m_source.problems.push_back("line " + std::to_string(content->line) + ": TABLECONTENT " +
                                                contentHandle + " cell " + std::to_string(cell.row) + "," +
                                                std::to_string(cell.column) + " shows \"" +
                                                utf::toUtf8(texts[cell.index]) + "\", the table's own record \"" +
                                                utf::toUtf8(cell.text) + "\"; the table's record is used");
            }
        }
        std::map<int, AcDbMText*> blockText;  // cell index -> drawn MTEXT
        for (AcDbMText* m : drawn[blockId.asOldId()]) {
            const Cell* c = TableBuilder::cellAt(t, m->position().x, m->position().y);
            if (c && !blockText.count(c->index))
                blockText[c->index] = m;
        }
        for (const Cell& cell : t.cells) {
            if (cell.covered || (cell.text.empty() && cell.field.empty()))
                continue;
            auto* text = new AcDbMText;
            HostAccess::hostSetWrittenByOwner(*text, true);
            bool fromField = !cell.field.empty();
            HostAccess::hostSetMakesOwnFields(*text, !fromField);
            text->setTextString(cell.text.c_str());
            AcDbObjectId textId;
            db.addObject(text, blockId, textId);
            HostAccess::hostSetCellText(*t.table, cell.row, cell.column, textId);
            std::string drawnHandle;
            if (auto it = blockText.find(cell.index); it != blockText.end()) {
                drawnHandle = utf::toUtf8(it->second->objectHandle().text());
                it->second->erase();
            }
            Holder holder;
            holder.type = "ACAD_TABLE";
            holder.handle = t.handle;
            holder.text = textId;
            holder.row = cell.row;
            holder.column = cell.column;
            holder.cellIndex = cell.index;
            holder.blockText = drawnHandle;
            holder.tableContent = contentHandle;
            if (fromField) {
                readFieldTree(*this, db, resolve, decoder, m_source, std::move(holder), cell.field, t.line);
                HostAccess::hostSetMakesOwnFields(*text, true);
            } else if (!text->fieldIds().empty()) {
                holder.plainCodes = true;
                holder.shown = text->textStringConst();
                m_source.holders.push_back(std::move(holder));
                size_t index = m_source.holders.size() - 1;
                m_source.holderOfText[textId.asOldId()] = index;
                for (AcDbObjectId f : text->fieldIds())
                    m_source.holderOfField[f.asOldId()] = index;
            }
        }
    }
}

}
