// The DXF loader; see the header. One streaming pass: sections, tables,
// block definitions and entities are read in file order; what must wait for
// the whole file (block names of references, the fields of texts, which take
// fresh handles) is finished at the end.
#include "replacement_host/dxf/DxfFile.h"
#include "replacement_host/HostAccess.h"

#include "host/dbattr.h"
#include "host/db2dpoly.h"
#include "host/dbblkref.h"
#include "host/dbpl.h"
#include "host/dbsymtb.h"
#include "host/dbtext.h"
#include "replacement_host/dxf/DxfEntities.h"
#include "replacement_host/dxf/DxfObjects.h"
#include "host/dbtable.h"
#include "replacement_host/dxf/DxfRecord.h"
#include "replacement_host/file/FieldState.h"
#include "replacement_host/text/Utf.h"

#include <nlohmann/json.hpp>
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <numbers>
#include <unordered_map>
#include <unordered_set>

namespace dxf {

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

// BLOCK flags (group 70).
enum BlockFlag {
    kAnonymous = 1,      // generated name (*U, *D ...)
    kHasAttributes = 2,  // holds attribute definitions
    kXref = 4,           // an external reference
    kXrefOverlay = 8,    // an external reference attached as overlay
};

// POLYLINE flags (group 70).
enum PolylineFlag {
    kClosed = 1,      // the last vertex joins the first
    kCurveFit = 2,    // arcs fitted through the vertices
    kSplineFit = 4,   // a spline fitted to a frame of control points
    kPolyline3d = 8,  // a 3D polyline: not a lightweight one
    kMesh = 16,       // a 3D polygon mesh
    kPolyface = 64,   // a polyface mesh
};

// VERTEX flags (group 70).
enum VertexFlag {
    kSplineFrame = 16,  // a control point of a spline frame, not on the path
};

std::string upper(std::string_view s)
{
    std::string u(s);
    for (char& c : u)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return u;
}

// R12 names its layout blocks $MODEL_SPACE and $PAPER_SPACE.
AcString blockName(const Record& r)
{
    std::string u = upper(r.text(2));
    if (u == "$MODEL_SPACE" || u == "*MODEL_SPACE")
        return AcDbBlockTableRecord::kModelSpace;
    if (u == "$PAPER_SPACE" || u == "*PAPER_SPACE")
        return AcDbBlockTableRecord::kPaperSpace;
    return r.wide(2);
}

// A handle of 1 to 15 hexadecimal digits and nothing else, as nearly every
// file writes them; false (the general parse decides) for anything else.
bool shortHex(std::string_view s, Adesk::UInt64& value)
{
    if (s.empty() || s.size() > 15)
        return false;
    Adesk::UInt64 v = 0;
    for (char c : s) {
        unsigned d = static_cast<unsigned>(c - '0');
        if (d > 9) {
            d = static_cast<unsigned>((c | 0x20) - 'a');
            if (d > 5)
                return false;
            d += 10;
        }
        v = v << 4 | d;
    }
    value = v;
    return true;
}

// The record types the entity pass tells apart, found with one switch on
// their bytes rather than a string compare each.
enum class Kind : std::uint8_t { Other, Endsec, Vertex, Seqend, Attrib, Attdef, Insert, Table, Polyline };

constexpr std::uint64_t word(std::string_view s)
{
    std::uint64_t w = 0;
    for (size_t i = 0; i < s.size(); ++i)
        w |= std::uint64_t{static_cast<unsigned char>(s[i])} << (8 * i);
    return w;
}

Kind kindOf(std::string_view type)
{
    if (type.size() > 8)
        return type == "ACAD_TABLE" ? Kind::Table : Kind::Other;
    switch (GroupReader::firstBytes(type)) {
    case word("ENDSEC"): return Kind::Endsec;
    case word("VERTEX"): return Kind::Vertex;
    case word("SEQEND"): return Kind::Seqend;
    case word("ATTRIB"): return Kind::Attrib;
    case word("ATTDEF"): return Kind::Attdef;
    case word("INSERT"): return Kind::Insert;
    case word("POLYLINE"): return Kind::Polyline;
    default: return Kind::Other;
    }
}

// Bytes of the file kept to be met again (a layer's name, an owner's
// handle): most are short, and those compare as one number, read within
// them by two loads that may overlap.
class KeptBytes {
public:
    bool operator==(std::string_view bytes) const
    {
        if (bytes.size() != m_bytes.size())
            return false;
        return bytes.size() <= 8 ? key(bytes) == m_key : bytes == m_bytes;
    }
    void assign(std::string_view bytes)
    {
        m_bytes.assign(bytes);
        m_key = bytes.size() <= 8 ? key(bytes) : 0;
    }
    const std::string& bytes() const { return m_bytes; }

private:
    static std::uint64_t key(std::string_view s)
    {
        const char* p = s.data();
        const size_t n = s.size();
        if (n >= 4) {
            std::uint32_t first = 0, last = 0;
            std::memcpy(&first, p, 4);
            std::memcpy(&last, p + n - 4, 4);
            return std::uint64_t{first} << 32 | last;
        }
        if (n == 0)
            return 0;
        auto byte = [&](size_t i) { return std::uint64_t{static_cast<unsigned char>(p[i])}; };
        return byte(0) << 16 | byte(n / 2) << 8 | byte(n - 1);
    }
    std::string m_bytes;
    std::uint64_t m_key = 0;
};

bool isLayoutName(const AcString& name)
{
    std::string u = upper(utf::toUtf8(name));
    return u == "*MODEL_SPACE" || u.starts_with("*PAPER_SPACE");
}

class Loader {
public:
    explicit Loader(const std::string& path)
        : m_reader(path),
          m_db(std::make_unique<AcDbDatabase>(false)),
          m_source(std::make_unique<Source>()),
          m_objects(*m_source)
    {
        m_source->path = path;
        m_record.reader = &m_reader;
        // An entity takes a hundred bytes or more of the file; room not used
        // is never touched.
        HostAccess::hostReserveObjects(*m_db, m_reader.fileSize() / 64);
        m_layers[upper("0")] = true;
    }

    void run();
    // The first bytes of the file, to tell what it is before it is read.
    std::string_view head() { return m_reader.head(32); }
    std::unique_ptr<AcDbDatabase> takeDatabase() { return std::move(m_db); }
    std::map<std::string, int>& skipped() { return m_skipped; }
    std::vector<std::string> problems() const { return m_problems; }
    int kept2dPolylines() const { return m_kept2d; }
    // File handle and the handle given instead, for objects whose handle an earlier one had.
    std::vector<std::pair<std::string, std::string>> renumbered() const;

private:
    bool readRecord();
    void readHeader();
    void readTables();
    void readBlocks();
    void readEntities();
    void readObjects();
    void skipSection();
    void entity(AcDbObjectId owner, bool inBlock);
    void finishPolyline();
    void noteDynamicCopy(AcDbObjectId record);
    void finish();

    AcDbObjectId add(AcDbObject* object, AcDbObjectId owner, std::string_view handleText, size_t line);
    void addEntity(std::unique_ptr<AcDbEntity> entity, AcDbObjectId owner);
    void ensureLayer(const AcString& name);
    const AcString& layerOf(std::string_view bytes);
    AcDbObjectId blockRecord(const AcString& name);
    AcDbObjectId addBlockRecord(const AcString& name, std::string_view handle, size_t line, bool layout);
    void applyXdata(AcDbObject* object);
    AcDbObjectId ownerFor(AcDbObjectId fallback, bool inBlock);
    void countSkipped(const std::string& type) { ++m_skipped[type]; }
    void addDefaults()
    {
        size_t before = m_db->objectIds().size();
        m_db->addMissingDefaults();
        for (size_t i = before; i < m_db->objectIds().size(); ++i)
            noteMadeUp(m_db->objectIds()[i]);
    }
    AcDbObjectId addMadeUp(AcDbObject* object, AcDbObjectId owner);
    void noteMadeUp(AcDbObjectId id);
    void renumberMadeUp();
    AcDbObjectId byFileHandle(Adesk::UInt64 value) const;

    GroupReader m_reader;
    std::unique_ptr<AcDbDatabase> m_db;
    Record m_record;
    Group m_peek;
    bool m_havePeek = false;
    Kind m_kind = Kind::Other;  // of m_record
    std::string m_section;      // the section being read, for "the file ends inside"

    // Objects keep their file handles. Those the reader adds (layouts and
    // layers the file lacks, objects without a handle or with one an earlier
    // object has) hold made-up handles, which move when a file object claims
    // one and go above all the file's handles at the end.
    std::vector<AcDbObjectId> m_madeUp;
    std::unordered_set<Adesk::UInt64> m_madeUpHandles;
    Adesk::UInt64 m_highest = 2;                                 // the highest handle (group 5) of the file
    std::unordered_map<Adesk::UInt64, AcDbObjectId> m_remapped;  // file handles 1 and 2 (the host's tables) -> object
    std::vector<std::pair<std::string, AcDbObjectId>> m_duplicates;       // file handle text, the later object
    std::unordered_map<Adesk::UInt64, AcDbObjectId> m_renumberedRecords;  // file handle -> block record
    std::unordered_map<std::string, AcDbObjectId> m_blocks;               // upper-case name -> record
    KeptBytes m_lastBlockName;  // group 2 of a reference as written, and its block
    AcDbObjectId m_lastBlock;
    KeptBytes m_lastOwnerHandle;  // group 330 as written, and the record it names
    AcDbObjectId m_lastOwner;
    std::unordered_map<std::string, bool> m_layers;  // upper-case names made
    struct RecentLayer {
        KeptBytes bytes;  // group 8 as written
        AcString name;
    };
    std::array<RecentLayer, 4> m_recentLayers;
    size_t m_recentLayerCount = 0, m_recentLayerNext = 0;
    std::map<std::string, int> m_skipped;
    // Release 13 and older (or no header): 2D polylines become lightweight ones.
    bool m_oldRelease = true;
    int m_kept2d = 0;

    AcDbObjectId m_insert;  // the reference whose ATTRIBs follow
    struct PendingPolyline {
        bool active = false, skip = false;
        std::string handle, layer;
        size_t line = 0;
        AcDbObjectId owner;
        int flags = 0;
        double elevation = 0;
        std::vector<std::tuple<double, double, double>> vertices;
        std::unique_ptr<AcDb2dPolyline> kept;  // set when it stays a 2D polyline
    } m_polyline;
    struct PendingInsert {
        AcDbBlockReference* ref;
        std::string name;
        size_t line;
    };
    std::vector<PendingInsert> m_inserts;
    // Anonymous copies of dynamic blocks and the file handle of their block.
    std::vector<std::pair<AcDbObjectId, Adesk::UInt64>> m_dynamicCopies;
    std::vector<AcDbText*> m_texts;  // texts and attributes whose codes become fields
    // FIELD objects, tables and dynamic blocks, and what the writer needs of them.
    std::unique_ptr<Source> m_source;
    FileObjects m_objects;
    std::vector<std::string> m_problems;
};

// Reads the record that starts at the next 0 group; false at the end of the file.
bool Loader::readRecord()
{
    if (!m_havePeek) {
        do {
            if (!m_reader.next(m_peek))
                return false;
        } while (m_peek.code == 999);  // comments
        if (m_peek.code != 0)
            m_reader.fail(m_peek.line,
                          "group code 0 (the start of a record) was expected, found " + std::to_string(m_peek.code));
    }
    m_havePeek = false;
    std::string_view type = m_peek.value;
    while (!type.empty() && type.back() == ' ')
        type.remove_suffix(1);
    m_record.type.assign(type);
    m_kind = kindOf(type);
    m_record.line = m_peek.line;
    // The record's values are views of the reader's buffer, kept there
    // until the next record.
    m_reader.pin();
    m_record.clear(m_reader.pinned());
    m_record.xdictionary.clear();
    // Nothing after the EOF record belongs to the drawing (DOS end-of-file bytes, text).
    if (std::string_view(m_record.type) == "EOF")
        return true;
    int bracket = 0;
    bool embedded = false, xdictionary = false;
    Record& record = m_record;
    m_reader.scan(
        [&](int code, std::string_view value, size_t line) {
            // Most groups are kept as they come; the rest are few.
            if (code > 5 && code < 100 && bracket == 0 && !embedded) [[likely]] {
                record.add(code, value, line);
                return true;
            }
            if (code == 0) {
                m_peek = {code, value, line};
                m_havePeek = true;
                return false;
            }
            if (code == 102) {
                bool open = !value.empty() && value[0] == '{';
                bracket += open ? 1 : -1;
                bracket = std::max(bracket, 0);
                xdictionary = open && value == "{ACAD_XDICTIONARY";
                return true;
            }
            if (xdictionary && code == 360 && record.xdictionary.empty())
                record.xdictionary.assign(value);
            if (code == 101)
                embedded = true;
            if (code == 999 || bracket > 0 || (embedded && code < 1000))
                return true;
            if (code == 5) {
                // Every handle counts, of skipped objects and $HANDSEED too: made-up ones go above.
                Adesk::UInt64 handle = 0;
                if (!shortHex(value, handle))
                    std::from_chars(value.data(), value.data() + value.size(), handle, 16);
                m_highest = std::max(m_highest, handle);
            }
            record.add(code, value, line);
            return true;
        },
        [&](const char* base) { record.rebase(base); });
    return true;
}

void Loader::run()
{
    while (readRecord()) {
        if (m_record.type == "EOF") {
            finish();
            return;
        }
        if (m_record.type != "SECTION")
            m_reader.fail(m_record.line, "SECTION or EOF was expected, found \"" + visible(m_record.type) + "\"");
        m_section = upper(m_record.text(2));
        if (m_section == "HEADER")
            readHeader();
        else if (m_section == "TABLES")
            readTables();
        else if (m_section == "BLOCKS")
            readBlocks();
        else if (m_section == "ENTITIES")
            readEntities();
        else if (m_section == "OBJECTS")
            readObjects();
        else
            skipSection();
        m_section.clear();
    }
    // Some writers leave out the EOF record; a file cut inside a section is broken.
    if (!m_section.empty())
        m_reader.fail(m_record.line, "the file ends inside the " + m_section + " section (ENDSEC and EOF are missing)");
    finish();
}

void Loader::skipSection()
{
    while (readRecord())
        if (m_record.type == "ENDSEC")
            return;
    m_reader.fail(m_record.line, "the file ends inside the " + m_section + " section (ENDSEC is missing)");
}

// The header is one record: 9 groups name variables, the groups after give values.
void Loader::readHeader()
{
    std::string variable;
    for (size_t i = 0; i < m_record.size; ++i) {
        const Record::Item& item = m_record.items[i];
        if (item.code == 9) {
            variable = upper(item.value);
        } else if (variable == "$ACADVER" && item.code == 1) {
            // R2007 (AC1021) and later write UTF-8.
            m_record.utf8Text = item.value >= "AC1021";
            m_oldRelease = item.value <= "AC1012";
            m_source->release = item.value;
            m_source->utf8 = m_record.utf8Text;
        } else if (variable == "$HANDSEED" && item.code == 5) {
            std::from_chars(item.value.data(), item.value.data() + item.value.size(), m_source->handseed, 16);
        }
    }
    bool utf8 = m_record.utf8Text;
    skipSection();
    m_record.utf8Text = utf8;
}

void Loader::readTables()
{
    std::string table;
    while (readRecord()) {
        const std::string_view type = m_record.type;
        if (type == "ENDSEC")
            return;
        if (type == "TABLE") {
            table = upper(m_record.text(2));
        } else if (type == "ENDTAB") {
            table.clear();
        } else if (type == "LAYER") {
            AcString name = m_record.wide(2);
            if (name.empty())
                m_reader.fail(m_record.line, "LAYER has no name (group 2)");
            std::string key = upper(utf::toUtf8(name));
            if (m_layers.count(key) && key != "0")
                continue;  // a second entry of the same name adds nothing
            auto* layer = new AcDbLayerTableRecord;
            layer->setName(name.c_str());
            AcDbObject* obj = layer;
            add(obj, m_db->layerTableId(), m_record.text(5), m_record.line);
            m_layers[key] = true;
        } else if (type == "BLOCK_RECORD") {
            AcString name = blockName(m_record);
            if (name.empty())
                m_reader.fail(m_record.line, "BLOCK_RECORD has no name (group 2)");
            std::string_view layout = m_record.text(340, "0");
            AcDbObjectId id =
                addBlockRecord(name, m_record.text(5), m_record.line, isLayoutName(name) || layout != "0");
            applyXdata(HostAccess::objectAt(*m_db, id));
            noteDynamicCopy(id);
            m_objects.noteBlockRecord(m_record);
        }
    }
    m_reader.fail(m_record.line, "the file ends inside the TABLES section (ENDSEC is missing)");
}

// A CAD program marks the anonymous copy of a dynamic block with extended
// data "AcDbBlockRepBTag" whose handle (1005) names the dynamic block.
void Loader::noteDynamicCopy(AcDbObjectId record)
{
    bool tag = false;
    for (size_t i = 0; i < m_record.size; ++i) {
        const Record::Item& item = m_record.items[i];
        if (item.code == 1001)
            tag = upper(item.value) == "ACDBBLOCKREPBTAG";
        else if (tag && item.code == 1005) {
            Adesk::UInt64 value = 0;
            std::from_chars(item.value.data(), item.value.data() + item.value.size(), value, 16);
            m_dynamicCopies.emplace_back(record, value);
            return;
        }
    }
}

AcDbObjectId Loader::addBlockRecord(const AcString& name, std::string_view handle, size_t line, bool layout)
{
    std::string key = upper(utf::toUtf8(name));
    if (auto it = m_blocks.find(key); it != m_blocks.end()) {
        auto* first = AcDbBlockTableRecord::cast(HostAccess::objectAt(*m_db, it->second));
        if (first && first->name() != name)
            m_reader.fail(line,
                          "blocks \"" + utf::toUtf8(first->name()) + "\" and \"" + utf::toUtf8(name) +
                              "\" differ only in letter case, which a drawing cannot hold");
        m_reader.fail(line, "block \"" + utf::toUtf8(name) + "\" is defined twice");
    }
    auto* record = new AcDbBlockTableRecord;
    record->setName(name.c_str());
    record->setIsLayout(layout);
    AcDbObjectId id = add(record, m_db->blockTableId(), handle, line);
    m_blocks[key] = id;
    return id;
}

AcDbObjectId Loader::blockRecord(const AcString& name)
{
    auto it = m_blocks.find(upper(utf::toUtf8(name)));
    return it == m_blocks.end() ? AcDbObjectId() : it->second;
}

void Loader::readBlocks()
{
    AcDbObjectId current;
    while (readRecord()) {
        const std::string_view type = m_record.type;
        if (type == "ENDSEC") {
            finishPolyline();
            return;
        }
        if (type == "BLOCK") {
            finishPolyline();
            AcString name = blockName(m_record);
            if (name.empty())
                m_reader.fail(m_record.line, "BLOCK has no name (group 2)");
            current = blockRecord(name);
            // R12 has no block records: the definition makes its own.
            if (current.isNull())
                current = addBlockRecord(name, m_record.text(5), m_record.line, isLayoutName(name));
            AcDbBlockTableRecord::cast(HostAccess::objectAt(*m_db, current))->setOrigin(point(m_record, 10));
            long long flags = m_record.integer(70, 0);
            if (flags & kXref) {
                auto* record = AcDbBlockTableRecord::cast(HostAccess::objectAt(*m_db, current));
                record->setXref(m_record.wide(1), (flags & kXrefOverlay) != 0, false);
            }
        } else if (type == "ENDBLK") {
            finishPolyline();
            m_insert = AcDbObjectId();
            current = AcDbObjectId();
        } else {
            if (current.isNull())
                m_reader.fail(m_record.line, m_record.type + " stands outside any BLOCK ... ENDBLK");
            entity(current, true);
        }
    }
    m_reader.fail(m_record.line, "the file ends inside the BLOCKS section (ENDSEC is missing)");
}

void Loader::readEntities()
{
    addDefaults();
    const AcDbObjectId model = m_db->modelSpaceId(), paper = m_db->paperSpaceId();
    m_blocks.emplace(upper(utf::toUtf8(AcDbBlockTableRecord::kModelSpace)), model);
    m_blocks.emplace(upper(utf::toUtf8(AcDbBlockTableRecord::kPaperSpace)), paper);
    HostAccess::hostReserveEntities(*AcDbBlockTableRecord::cast(HostAccess::objectAt(*m_db, model)),
                                    m_reader.fileSize() / 64);
    while (readRecord()) {
        if (m_kind == Kind::Endsec) {
            finishPolyline();
            return;
        }
        // Group 67 puts an entity of R12 in paper space; later versions name the owner.
        entity(m_record.integer(67, 0) == 1 ? paper : model, false);
    }
    m_reader.fail(m_record.line, "the file ends inside the ENTITIES section (ENDSEC is missing)");
}

void Loader::readObjects()
{
    while (readRecord()) {
        if (m_record.type == "ENDSEC")
            return;
        m_objects.keep(m_record);
    }
    m_reader.fail(m_record.line, "the file ends inside the OBJECTS section (ENDSEC is missing)");
}

// The owning block: the one the record names (330) when it is a block record.
AcDbObjectId Loader::ownerFor(AcDbObjectId fallback, bool inBlock)
{
    if (inBlock || !m_record.has(330))
        return fallback;
    std::string_view h = m_record.text(330);
    // Entities come in runs of one owner. A block record found by a file
    // handle stays found by it: only made-up handles move.
    if (!m_lastOwner.isNull() && m_lastOwnerHandle == h)
        return m_lastOwner;
    Adesk::UInt64 value = 0;
    std::from_chars(h.data(), h.data() + h.size(), value, 16);
    AcDbObjectId id = byFileHandle(value);
    if (!AcDbBlockTableRecord::cast(HostAccess::objectAt(*m_db, id))) {
        auto renumbered = m_renumberedRecords.find(value);
        if (renumbered == m_renumberedRecords.end())
            return fallback;
        id = renumbered->second;
    }
    m_lastOwnerHandle.assign(h);
    m_lastOwner = id;
    return id;
}

AcDbObjectId Loader::byFileHandle(Adesk::UInt64 value) const
{
    if (auto it = m_remapped.find(value); it != m_remapped.end())
        return it->second;
    AcDbObjectId id;
    if (value == 0 || m_madeUpHandles.count(value) || m_db->getAcDbObjectId(id, false, AcDbHandle(value)) != Acad::eOk)
        return AcDbObjectId();
    return id;
}

void Loader::entity(AcDbObjectId fallbackOwner, bool inBlock)
{
    const std::string_view type = m_record.type;
    const Kind kind = m_kind;
    if (kind == Kind::Vertex) {
        if (!m_polyline.active)
            m_reader.fail(m_record.line, "VERTEX without a POLYLINE before it");
        // Control points of a spline frame are not on the path.
        if (!m_polyline.skip && !(m_record.integer(70, 0) & kSplineFrame))
            m_polyline.vertices.emplace_back(m_record.number(10, 0.0), m_record.number(20, 0.0),
                                             m_record.number(42, 0.0));
        return;
    }
    finishPolyline();
    if (kind == Kind::Seqend) {
        m_insert = AcDbObjectId();
        return;
    }
    if (kind == Kind::Attrib) {
        if (m_insert.isNull())
            m_reader.fail(m_record.line, "ATTRIB without an INSERT (with attributes) before it");
        AcString tag = m_record.wide(2);
        if (tag.empty())
            m_reader.fail(m_record.line, "ATTRIB has no tag (group 2)");
        auto attr = std::make_unique<AcDbAttribute>();
        HostAccess::hostSetMakesOwnFields(*attr, false);
        attr->setTag(tag.c_str());
        attr->setTextString(m_record.wide(1).c_str());
        attr->setPosition(point(m_record, 10));
        attr->setHeight(m_record.number(40, 2.5));
        addEntity(std::move(attr), m_insert);
        return;
    }
    m_insert = AcDbObjectId();
    AcDbObjectId owner = ownerFor(fallbackOwner, inBlock);
    if (kind == Kind::Attdef) {
        AcString tag = m_record.wide(2);
        if (tag.empty())
            m_reader.fail(m_record.line, "ATTDEF has no tag (group 2)");
        auto def = std::make_unique<AcDbAttributeDefinition>();
        HostAccess::hostSetMakesOwnFields(*def, false);
        def->setTag(tag.c_str());
        def->setTextString(m_record.wide(1).c_str());
        def->setPosition(point(m_record, 10));
        def->setHeight(m_record.number(40, 2.5));
        addEntity(std::move(def), owner);
        return;
    }
    if (kind == Kind::Insert || kind == Kind::Table) {
        std::unique_ptr<AcDbBlockReference> ref;
        if (kind == Kind::Table) {
            auto table = std::make_unique<AcDbTable>();
            m_objects.noteTable(table.get(), m_record);
            ref = std::move(table);
        } else {
            ref = std::make_unique<AcDbBlockReference>();
            m_objects.noteInsert(ref.get(), m_record);
        }
        ref->setPosition(point(m_record, 10));
        ref->setScaleFactors({m_record.number(41, 1.0), m_record.number(42, 1.0), m_record.number(43, 1.0)});
        ref->setRotation(m_record.number(50, 0.0) * kDegree);
        AcDbBlockReference* raw = ref.get();
        const std::string_view name = m_record.text(2);
        size_t line = m_record.line;
        bool attributes = m_record.integer(66, 0) == 1;
        addEntity(std::move(ref), owner);
        // Most blocks are defined before use; the rest wait for the end.
        // References come in runs of one block, and a block once found
        // keeps its name.
        AcDbObjectId block = m_lastBlockName == name ? m_lastBlock : blockRecord(m_record.decode(name));
        if (!block.isNull()) {
            raw->setBlockTableRecord(block);
            m_lastBlockName.assign(name);
            m_lastBlock = block;
        } else {
            m_inserts.push_back({raw, std::string(name), line});
        }
        if (attributes)
            m_insert = raw->objectId();
        return;
    }
    if (kind == Kind::Polyline) {
        long long flags = m_record.integer(70, 0);
        m_polyline = PendingPolyline();
        m_polyline.active = true;
        m_polyline.skip = (flags & (kPolyline3d | kMesh | kPolyface)) != 0;
        if (m_polyline.skip) {
            countSkipped(flags & kPolyline3d ? "POLYLINE (3D)" : "POLYLINE (mesh)");
            return;
        }
        m_polyline.flags = static_cast<int>(flags);
        m_polyline.handle = m_record.text(5);
        m_polyline.layer = m_record.text(8, "0");
        m_polyline.line = m_record.line;
        m_polyline.owner = owner;
        m_polyline.elevation = m_record.number(30, 0.0);
        // As the CAD program opens an old drawing: plain polylines without
        // extended data become lightweight; the rest stay 2D polylines.
        if (!m_oldRelease || (flags & (kCurveFit | kSplineFit)) || m_record.has(1001)) {
            m_polyline.kept = std::make_unique<AcDb2dPolyline>();
            if (flags & kCurveFit)
                m_polyline.kept->setPolyType(AcDb2dPolyline::k2dFitCurvePoly);
            else if (flags & kSplineFit)
                m_polyline.kept->setPolyType(m_record.integer(75, 6) == 5 ? AcDb2dPolyline::k2dQuadSplinePoly
                                                                          : AcDb2dPolyline::k2dCubicSplinePoly);
            applyXdata(m_polyline.kept.get());
        }
        return;
    }
    if (EntityMaker make = entityMaker(type)) {
        if (std::unique_ptr<AcDbEntity> e = make(m_record))
            addEntity(std::move(e), owner);
        else
            countSkipped(m_record.type + " (degenerate)");
        return;
    }
    countSkipped(m_record.type);
}

// A 2D polyline is made once its SEQEND (or anything else) follows: a
// lightweight one, or a 2D polyline kept as such.
void Loader::finishPolyline()
{
    if (!m_polyline.active)
        return;
    PendingPolyline p = std::move(m_polyline);
    m_polyline = PendingPolyline();
    if (p.skip)
        return;
    if (p.vertices.empty()) {
        countSkipped("POLYLINE (degenerate)");
        return;
    }
    std::unique_ptr<AcDbEntity> entity;
    if (p.kept) {
        for (auto& [x, y, bulge] : p.vertices)
            p.kept->appendVertex({x, y}, bulge);
        p.kept->setClosed((p.flags & kClosed) != 0);
        p.kept->setElevation(p.elevation);
        entity = std::move(p.kept);
        ++m_kept2d;
    } else {
        auto pl = std::make_unique<AcDbPolyline>(static_cast<unsigned>(p.vertices.size()));
        for (auto& [x, y, bulge] : p.vertices)
            pl->addVertexAt(pl->numVerts(), {x, y}, bulge);
        pl->setClosed((p.flags & kClosed) != 0);
        pl->setElevation(p.elevation);
        entity = std::move(pl);
    }
    entity->setLayer(layerOf(p.layer).c_str());
    add(entity.release(), p.owner, p.handle, p.line);
}

AcDbObjectId Loader::add(AcDbObject* object, AcDbObjectId owner, std::string_view handleText, size_t line)
{
    Adesk::UInt64 value = 0;
    if (!handleText.empty() && !shortHex(handleText, value)) {
        auto [end, ec] = std::from_chars(handleText.data(), handleText.data() + handleText.size(), value, 16);
        if (ec != std::errc() || end != handleText.data() + handleText.size()) {
            delete object;
            m_reader.fail(line, "handle \"" + visible(handleText) + "\" is not hexadecimal");
        }
    }
    if (value == 0)
        return addMadeUp(object, owner);
    // The host's block and layer tables hold handles 1 and 2: an object of the
    // file with one of them is found by it through the reader alone.
    if (value <= 2) {
        AcDbObjectId id = addMadeUp(object, owner);
        m_remapped.emplace(value, id);
        return id;
    }
    AcDbObjectId id;
    if (!m_madeUpHandles.empty() && m_madeUpHandles.count(value)) {
        // An object the reader added holds it for now: it moves out of the way.
        AcDbObjectId holder, used;
        m_db->getAcDbObjectId(holder, false, AcDbHandle(value));
        Adesk::UInt64 to = m_db->handseed();
        while (to == 0 || m_db->getAcDbObjectId(used, false, AcDbHandle(to)) == Acad::eOk)
            ++to;
        HostAccess::hostRenumber(*m_db, {{holder, AcDbHandle(to)}});
        m_madeUpHandles.erase(value);
        m_madeUpHandles.insert(HostAccess::objectAt(*m_db, holder)->objectHandle().value());
    } else if (m_db->addObject(object, owner, id, AcDbHandle(value)) == Acad::eOk) {
        return id;
    } else {
        // Used twice: the first object keeps it, as a CAD program's recovery does.
        bool record = AcDbBlockTableRecord::cast(object) != nullptr;
        id = addMadeUp(object, owner);
        m_duplicates.emplace_back(upper(handleText), id);
        // Entities still name their layout by the file's handle.
        if (record && !AcDbBlockTableRecord::cast(HostAccess::objectAt(*m_db, byFileHandle(value))))
            m_renumberedRecords.emplace(value, id);
        return id;
    }
    m_db->addObject(object, owner, id, AcDbHandle(value));
    return id;
}

AcDbObjectId Loader::addMadeUp(AcDbObject* object, AcDbObjectId owner)
{
    AcDbObjectId id;
    m_db->addObject(object, owner, id);
    noteMadeUp(id);
    return id;
}

void Loader::noteMadeUp(AcDbObjectId id)
{
    m_madeUp.push_back(id);
    m_madeUpHandles.insert(HostAccess::objectAt(*m_db, id)->objectHandle().value());
}

// Made-up handles go above every handle of the file ($HANDSEED included), in
// the order the objects were added, so none can take a handle a field names.
void Loader::renumberMadeUp()
{
    constexpr Adesk::UInt64 kTop = std::numeric_limits<Adesk::UInt64>::max();
    Adesk::UInt64 count = m_madeUp.size();
    if (count == 0 || m_highest >= kTop - count)
        return;  // no room above: they keep the free handles they have
    Adesk::UInt64 first = m_highest + 1;
    std::vector<std::pair<AcDbObjectId, AcDbHandle>> moves;
    moves.reserve(m_madeUp.size());
    for (AcDbObjectId id : m_madeUp)
        moves.emplace_back(id, AcDbHandle(first++));
    HostAccess::hostRenumber(*m_db, moves);
    m_madeUpHandles.clear();
}

std::vector<std::pair<std::string, std::string>> Loader::renumbered() const
{
    std::vector<std::pair<std::string, std::string>> out;
    for (auto& [fileHandle, id] : m_duplicates)
        out.emplace_back(fileHandle, utf::toUtf8(HostAccess::objectAt(*m_db, id)->objectHandle().text()));
    return out;
}

void Loader::ensureLayer(const AcString& name)
{
    std::string key = upper(utf::toUtf8(name));
    if (m_layers.count(key))
        return;
    // A layer an entity names is made, as CAD programs do on import.
    auto* layer = new AcDbLayerTableRecord;
    layer->setName(name.c_str());
    addMadeUp(layer, m_db->layerTableId());
    m_layers[key] = true;
}

// The layer an entity names (group 8; empty is "0"), made when the file
// lacks it. Entities come in runs on a few layers: the last few are kept.
const AcString& Loader::layerOf(std::string_view bytes)
{
    for (size_t i = 0; i < m_recentLayerCount; ++i)
        if (m_recentLayers[i].bytes == bytes)
            return m_recentLayers[i].name;
    RecentLayer& slot = m_recentLayers[m_recentLayerNext];
    m_recentLayerNext = (m_recentLayerNext + 1) % m_recentLayers.size();
    m_recentLayerCount =
        std::max(m_recentLayerCount, m_recentLayerNext == 0 ? m_recentLayers.size() : m_recentLayerNext);
    slot.name = bytes.empty() ? AcString(u"0") : m_record.decode(bytes);
    slot.bytes.assign(bytes);
    ensureLayer(slot.name);
    return slot.name;
}

void Loader::addEntity(std::unique_ptr<AcDbEntity> entity, AcDbObjectId owner)
{
    entity->setLayer(layerOf(m_record.text(8, "0")).c_str());
    applyXdata(entity.get());
    if (auto* text = AcDbText::cast(entity.get())) {
        m_objects.noteText(text, m_record);
        if (std::u16string_view(text->textStringConst()).find(u"%<") != std::u16string_view::npos)
            m_texts.push_back(text);
    }
    add(entity.release(), owner, m_record.text(5), m_record.line);
}

// Extended data: each application's text groups (1000), one per line.
void Loader::applyXdata(AcDbObject* object)
{
    if (!m_record.has(1001))
        return;
    AcString app, text;
    bool any = false;
    auto flush = [&] {
        if (any)
            object->setXdataText(app, text);
    };
    for (size_t i = 0; i < m_record.size; ++i) {
        const Record::Item& item = m_record.items[i];
        if (item.code == 1001) {
            flush();
            app = m_record.decode(item.value);
            text.clear();
            any = true;
        } else if (item.code == 1000 && any) {
            if (!text.empty())
                text += u'\n';
            text += m_record.decode(item.value);
        }
    }
    flush();
}

void Loader::finish()
{
    finishPolyline();
    addDefaults();
    for (const PendingInsert& p : m_inserts) {
        AcDbObjectId block = blockRecord(m_record.decode(p.name));
        if (block.isNull())
            m_reader.fail(p.line, "INSERT names block \"" + p.name + "\", which the file does not define");
        p.ref->setBlockTableRecord(block);
    }
    for (auto& [copyId, handle] : m_dynamicCopies) {
        auto* dynamic = AcDbBlockTableRecord::cast(HostAccess::objectAt(*m_db, byFileHandle(handle)));
        if (!dynamic)
            continue;  // a tag naming no block: the copy stays a plain anonymous block
        dynamic->setIsDynamicBlock(true);
        AcDbBlockTableRecord::cast(HostAccess::objectAt(*m_db, copyId))->setDynamicBlockId(dynamic->objectId());
    }
    // Every handle of the file is known now: made-up ones go above, then the
    // fields take theirs (those of FIELD objects keep the file's).
    renumberMadeUp();
    std::vector<AcDbText*> fromObjects = m_objects.finish(
        *m_db, [this](unsigned long long h) { return byFileHandle(h); }, m_record);
    std::unordered_set<AcDbText*> done(fromObjects.begin(), fromObjects.end());
    drawingfile::JsonIn in(drawingfile::JsonValue(), m_reader.path(), m_db.get());
    for (AcDbText* text : m_texts) {
        if (done.count(text))
            continue;
        Holder holder;
        holder.plainCodes = true;
        holder.type = AcDbMText::cast(text)       ? "MTEXT"
            : AcDbAttribute::cast(text)           ? "ATTRIB"
            : AcDbAttributeDefinition::cast(text) ? "ATTDEF"
                                                  : "TEXT";
        holder.handle = utf::toUtf8(text->objectHandle().text());
        holder.text = text->objectId();
        holder.shown = text->textStringConst();
        for (AcDbObjectId id : drawingfile::attachFields(in, text, text->textStringConst())) {
            HostAccess::hostAddField(*text, id);
            m_source->holderOfField[id.asOldId()] = m_source->holders.size();
        }
        HostAccess::hostSetMakesOwnFields(*text, true);
        m_source->holderOfText[holder.text.asOldId()] = m_source->holders.size();
        m_source->holders.push_back(std::move(holder));
    }
    m_problems = m_source->problems;
    HostAccess::hostSetFileSource(*m_db, std::move(m_source));
}

bool startsWith(const std::string& s, std::string_view prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

std::string extension(const std::string& path)
{
    auto dot = path.find_last_of('.');
    auto slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return upper(path.substr(dot + 1));
}

std::string head(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes(32, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

bool looksLikeDwg(const std::string& bytes)
{
    return bytes.size() >= 6 && startsWith(bytes, "AC10") && std::isdigit(static_cast<unsigned char>(bytes[4]));
}

constexpr std::string_view kBinarySentinel = "AutoCAD Binary DXF";

}

bool isDxfOrDwg(const std::string& path)
{
    std::string ext = extension(path);
    if (ext == "DXF" || ext == "DWG")
        return true;
    std::string bytes = head(path);
    if (startsWith(bytes, kBinarySentinel) || looksLikeDwg(bytes))
        return true;
    // ASCII DXF opens with "0" and SECTION, or a 999 comment.
    size_t i = bytes.find_first_not_of(" \t\r\n");
    if (i == std::string::npos)
        return false;
    return bytes.compare(i, 2, "0\n") == 0 || bytes.compare(i, 3, "0\r\n") == 0 || bytes.compare(i, 3, "999") == 0;
}

LoadResult load(const std::string& path)
{
    LoadResult result;
    try {
        // The file is opened once: what it is, is told from the bytes the
        // reader then goes on with (a pipe cannot be read twice).
        Loader loader(path);
        std::string bytes(loader.head());
        if (startsWith(bytes, kBinarySentinel)) {
            result.drawing.error = path + ": binary DXF is not supported; save the drawing as ASCII DXF";
            return result;
        }
        if (looksLikeDwg(bytes)) {
            result.drawing.error = path + ": DWG drawings (" + bytes.substr(0, 6) +
                ") are not supported; save the drawing as ASCII DXF (R12 to R2018)";
            return result;
        }
        loader.run();
        result.renumbered = loader.renumbered();
        result.drawing.database = loader.takeDatabase();
        result.drawing.database->setFilename(utf::toUtf16(path));
        for (auto& [type, n] : loader.skipped())
            result.skipped.emplace_back(type, n);
        result.problems = loader.problems();
        result.kept2dPolylines = loader.kept2dPolylines();
        std::stable_sort(result.skipped.begin(), result.skipped.end(),
                         [](const auto& a, const auto& b) { return a.second > b.second; });
    } catch (const DxfError& e) {
        result.drawing.error = e.what();
    } catch (const drawingfile::DrawingError& e) {
        result.drawing.error = e.what();
    } catch (const std::exception& e) {
        result.drawing.error = path + ": " + e.what();
    }
    if (!result.drawing.error.empty())
        result.drawing.database.reset();
    return result;
}

std::string skippedText(const LoadResult& result)
{
    std::string text;
    for (auto& [type, n] : result.skipped)
        text += (text.empty() ? "skipped " : ", ") + std::to_string(n) + " " + type;
    return text;
}

std::vector<std::string> loadNotes(const LoadResult& result)
{
    std::vector<std::string> notes;
    std::string summary = skippedText(result);
    if (result.kept2dPolylines > 0) {
        int n = result.kept2dPolylines;
        summary += (summary.empty() ? "" : "; ") + ("kept " + std::to_string(n) + " 2D polyline" + (n == 1 ? "" : "s"));
    }
    if (!summary.empty())
        notes.push_back(summary);
    if (!result.renumbered.empty()) {
        constexpr size_t kListed = 10;
        size_t n = result.renumbered.size();
        std::string line = "renumbered " + std::to_string(n) +
            (n == 1 ? " object whose handle was" : " objects whose handles were") + " used twice: ";
        for (size_t i = 0; i < std::min(n, kListed); ++i)
            line += (i ? ", " : "") + result.renumbered[i].first + "\u2192" + result.renumbered[i].second;
        if (n > kListed)
            line += ", and " + std::to_string(n - kListed) + " more";
        notes.push_back(line);
    }
    notes.insert(notes.end(), result.problems.begin(), result.problems.end());
    return notes;
}

}
