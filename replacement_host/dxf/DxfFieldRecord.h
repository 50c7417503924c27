// The parts of FIELD objects and value records as written in a DXF file,
// read by position (group codes repeat with other meanings), shared by the
// field reader, the table reader and the writer. `readFieldRecord` and
// `readValue` are the interface; faults throw FieldError with the line.
#pragma once

#include "host/AcValue.h"
#include "replacement_host/dxf/DxfObjects.h"

#include <string>
#include <utility>
#include <vector>

namespace dxf {

struct FieldError {
    size_t line = 0;
    std::string what;
};

// One value record: R2007 and later "93 flags, 90 type, payload, 94, 300
// format, 302 shown text, 304 ACVALUE_END"; older files "90 type, payload".
struct ValueRecord {
    int type = 0;
    bool hasPayload = false;
    long long longValue = 0;
    double realValue = 0;
    AcValue value;    // when the type is long, real or string
    AcString format;  // 300
    AcString shown;   // 302
    bool hasShown = false;
    size_t line = 0;
};

struct FieldRecord {
    std::string handle;
    size_t line = 0;
    std::string evaluator;              // 1
    std::string code;                   // 2 and 3 pieces joined, as written
    std::vector<std::string> children;  // 360
    std::vector<std::string> objects;   // 331
    std::string format;                 // 4 (before R2007)
    int evaluationOption = 0;
    int status = 0;
    std::vector<std::pair<std::string, ValueRecord>> data;
    bool hasCache = false;
    ValueRecord cache;
    bool hasDisplay = false;
    std::string display;                                     // 301 and 9 pieces, as written
    std::vector<std::pair<std::string, std::string>> xdata;  // application, 1000 texts
};

// Reads the value record starting at items[i]; gives the index after it.
size_t readValue(const std::vector<Record::Item>& items, size_t i, bool valueRecords, const Record& decoder,
                 ValueRecord& out);
FieldRecord readFieldRecord(const StoredRecord& rec, const std::string& handle, bool valueRecords,
                            const Record& decoder);

// A dictionary's entry (its handle), or empty.
std::string dictionaryEntry(const FileObjects& objects, std::string_view dictionary, std::string_view key);
std::vector<std::pair<std::string, std::string>> dictionaryEntries(const StoredRecord& rec);

// Reads the field tree under the FIELD `top` into a new holder of the
// source; a fault is noted as a problem and leaves the holder as read.
bool readFieldTree(FileObjects& objects, AcDbDatabase& db, const FileObjects::Resolve& resolve, const Record& decoder,
                   Source& source, Holder holder, const std::string& top, size_t line);

}
