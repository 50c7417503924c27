// The non-graphical records of a DXF file that fields, tables and dynamic
// blocks hang off (dictionaries, FIELD, XRECORD, TABLECONTENT, block
// parameters), kept by handle while the file streams past, and the steps
// that turn them into the host's fields, tables and dynamic properties once
// the whole file is read. The loader's one interface to them is `FileObjects`.
#pragma once

#include "replacement_host/dxf/DxfRecord.h"
#include "replacement_host/dxf/DxfSource.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class AcDbTable;
class AcDbText;
class AcDbBlockReference;

namespace dxf {

struct StoredRecord {
    StoredRecord() = default;
    // The items are views of `bytes`: kept where it was made.
    StoredRecord(const StoredRecord&) = delete;
    StoredRecord& operator=(const StoredRecord&) = delete;

    std::string type;
    size_t line = 0;
    std::string xdictionary;  // the extension dictionary's handle, or empty
    std::string bytes;
    std::vector<Record::Item> items;
};

unsigned long long parseHex(std::string_view text);

class FileObjects {
public:
    // Turns a file handle into the object read with it; null when none.
    using Resolve = std::function<AcDbObjectId(unsigned long long)>;

    explicit FileObjects(Source& source) : m_source(source) {}

    // A record of the OBJECTS section: kept when fields, tables or dynamic blocks need it.
    void keep(const Record& record);
    // A text, attribute or definition with an extension dictionary.
    void noteText(AcDbText* text, const Record& record);
    // An ACAD_TABLE entity: reads its size and cells into the table.
    void noteTable(AcDbTable* table, const Record& record);
    // An INSERT with an extension dictionary: its dynamic-block properties.
    void noteInsert(AcDbBlockReference* ref, const Record& record);
    // A BLOCK_RECORD: a dynamic definition's extension dictionary leads to its parameters.
    void noteBlockRecord(const Record& record);

    // After the whole file: fields of texts and cells, table cells, properties.
    // Gives the texts whose fields came from FIELD objects.
    std::vector<AcDbText*> finish(AcDbDatabase& db, const Resolve& resolve, const Record& decoder);

    const StoredRecord* find(std::string_view handle) const;

private:
    void finishTables(AcDbDatabase& db, const Resolve& resolve, const Record& decoder);
    void finishInserts(AcDbDatabase& db, const Resolve& resolve, const Record& decoder);

    struct PendingText {
        AcDbText* text;
        std::string type, handle, xdictionary;
        size_t line;
    };
    struct Cell {
        int row = 0, column = 0, index = 0;
        AcString text;      // shown text
        std::string field;  // 344
        int spanColumns = 1, spanRows = 1;
        bool covered = false;
    };
    struct PendingTable {
        AcDbTable* table;
        std::string handle, xdictionary;
        size_t line;
        std::vector<double> heights, widths;
        std::vector<Cell> cells;
    };
    struct PendingInsert {
        AcDbBlockReference* ref;
        std::string xdictionary;
    };

    Source& m_source;
    std::unordered_map<unsigned long long, StoredRecord> m_records;
    std::vector<PendingText> m_texts;
    std::vector<PendingTable> m_tables;
    std::vector<PendingInsert> m_inserts;
    std::unordered_map<unsigned long long, std::string> m_blockDictionaries;  // block record -> extension dictionary

    friend struct TableBuilder;
};

}
