// What the DXF reader keeps of a drawing so that it can be written back by
// passing the file through: the release and text encoding, and where every
// field, field-holding text and table cell read from FIELD objects and
// ACAD_TABLE records stands in the file. Kept with the database
// (AcDbDatabase::hostFileSource); `dxf::sourceOf` gives it.
#pragma once

#include "host/AcValue.h"
#include "host/dbfield.h"
#include "replacement_host/HostAccess.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace dxf {

// A field made from a FIELD object (a child of a holder's _text wrapper).
struct FileField {
    AcDbObjectId id;     // our field
    std::string handle;  // the FIELD object's handle, as written
    int status = 0;      // 95 as read
    AcValue cached;      // the cached value as read, when our values can hold it
    AcString display;    // 301 as read
    AcString stamp;      // the change stamp's extended data as read, if any
};

// A text, attribute or table cell whose fields the file holds.
struct Holder {
    std::string type;           // "TEXT", "MTEXT", "ATTRIB", "ATTDEF" or "ACAD_TABLE"
    std::string handle;         // the record's handle, as written (the table's for a cell)
    AcDbObjectId text;          // our text (a cell's own text for a cell)
    int row = -1, column = -1;  // a cell's place, from 0
    int cellIndex = -1;         // the cell record's position in the table, row by row
    std::string wrapperHandle;  // the _text FIELD; empty when the fields are plain codes
    std::string wrapperCode;    // its code as written (raw bytes, pieces joined)
    std::vector<FileField> fields;
    AcString shown;            // the holder's text as read
    std::string blockText;     // a cell's MTEXT in the table's *T block, when found
    std::string tableContent;  // the table's TABLECONTENT, when it has one
    bool plainCodes = false;   // field codes typed into the text, no FIELD objects
};

struct Source : AcDbHostFileSource {
    std::string path;
    std::string release = "AC1009";  // $ACADVER
    bool utf8 = false;               // R2007 and later
    unsigned long long handseed = 0;
    std::vector<Holder> holders;
    std::unordered_map<Adesk::IntDbId, size_t> holderOfField;  // our field -> holder index
    std::unordered_map<Adesk::IntDbId, size_t> holderOfText;   // our text -> holder index
    // Fields the reader could not take, "line N: what": the rest loaded.
    std::vector<std::string> problems;
    size_t tableContentCells = 0;  // TABLECONTENT cells compared with the table's own

    bool valueRecords() const { return release >= "AC1021"; }
    const Holder* holderOf(const AcDbField& field) const;
    const FileField* fileField(const AcDbField& field) const;
};

// The DXF source of a drawing read from DXF; null for other drawings.
const Source* sourceOf(const AcDbDatabase& db);

}
