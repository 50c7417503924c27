// Drawing-file codec of tables. Cells are listed with the table; each filled
// cell becomes a paragraph text in the table's anonymous block, made here,
// with the fields of its contents.
#include "host/dbsymtb.h"
#include "host/dbtable.h"
#include "host/dbtext.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/file/FieldState.h"
#include "replacement_host/file/ObjectCodec.h"
#include <nlohmann/json.hpp>
#include <memory>

namespace drawingfile {
namespace {

constexpr long long kMaxSize = 100000;

AcDbObjectId tableBlock(const JsonIn& in, AcDbTable* table)
{
    AcDbDatabase* db = in.database();
    if (in.has("block")) {
        AcDbObjectId id = in.objectId("block");
        auto* block = AcDbBlockTableRecord::cast(HostAccess::objectAt(*db, id));
        if (!block || !block->isAnonymous())
            in.fail("\"block\" must name an anonymous block");
        return id;
    }
    // No block given: the table gets one of its own, as the host makes it.
    auto* block = new AcDbBlockTableRecord;
    block->setName((u"*T" + table->objectHandle().text()).c_str());
    AcDbObjectId id;
    db->addObject(block, db->blockTableId(), id);
    return id;
}

void linkTable(const JsonIn& in, AcDbObject* obj)
{
    auto* table = AcDbTable::cast(obj);
    AcDbObjectId blockId = tableBlock(in, table);
    table->setBlockTableRecord(blockId);
    const std::vector<JsonValue> cells = in.array("cells");
    for (size_t i = 0; i < cells.size(); ++i) {
        JsonIn cell = in.child(cells[i], ".cells[" + std::to_string(i) + "]");
        if (!cells[i].isObject())
            cell.fail("must be an object {\"row\", \"column\", \"text\"}");
        long long row = cell.integer("row", -1), column = cell.integer("column", -1);
        if (row < 0 || column < 0 || row >= table->numRows() || column >= table->numColumns())
            cell.fail("\"row\" and \"column\" must name a cell of the table, counting from 0");
        if (!table->cellTextId(static_cast<int>(row), static_cast<int>(column)).isNull())
            cell.fail("the cell is listed twice");
        AcString cellText = cell.text("text");
        auto* text = new AcDbMText;
        HostAccess::hostSetMakesOwnFields(*text, false);
        HostAccess::hostSetWrittenByOwner(*text, true);
        text->setTextString(cellText.c_str());
        AcDbHandle handle;
        if (cell.has("handle")) {
            const JsonValue h = cells[i]["handle"];
            if (!h.isString() || !parseHandle(h.string(), handle))
                cell.fail("\"handle\" must be a handle (hexadecimal text)");
        }
        AcDbObjectId textId;
        if (in.database()->addObject(text, blockId, textId, handle) != Acad::eOk) {
            delete text;
            cell.fail("handle " + utf8(handle.text()) + " is used by another object");
        }
        for (AcDbObjectId fieldId : attachFields(cell, text, text->textStringConst()))
            HostAccess::hostAddField(*text, fieldId);
        HostAccess::hostSetMakesOwnFields(*text, true);
        HostAccess::hostSetCellText(*table, static_cast<int>(row), static_cast<int>(column), textId);
    }
}

const CodecRegistration table({
    "table",
    AcDbTable::desc(),
    ObjectCodec::Owner::kObject,
    [](const JsonIn& in) -> AcDbObject* {
        long long rows = in.integer("rows", 0), columns = in.integer("columns", 0);
        if (rows < 0 || columns < 0 || rows > kMaxSize || columns > kMaxSize)
            in.fail("\"rows\" and \"columns\" must be whole numbers from 0 to 100000");
        AcGePoint3d position = in.point("position", {});
        auto* t = new AcDbTable;
        t->setSize(static_cast<Adesk::UInt32>(rows), static_cast<Adesk::UInt32>(columns));
        t->setPosition(position);
        return t;
    },
    linkTable,
    [](const AcDbObject* obj, Json& j) {
        auto* t = AcDbTable::cast(obj);
        j["block"] = utf8(t->blockTableRecord().handle().text());
        j["position"] = pointJson(t->position());
        j["rows"] = t->numRows();
        j["columns"] = t->numColumns();
        Json cells = Json::array();
        for (auto& [at, textId] : HostAccess::hostCells(*t)) {
            AcDbObjectPointer<AcDbText> text(textId, AcDb::kForRead);
            if (!text)
                continue;
            Json c;
            c["row"] = at.first;
            c["column"] = at.second;
            c["text"] = utf8(text->textStringConst());
            c["handle"] = utf8(text->objectHandle().text());
            if (!text->fieldIds().empty())
                c["fields"] = fieldsJson(text->fieldIds());
            cells.push_back(std::move(c));
        }
        j["cells"] = std::move(cells);
    },
});

}
}
