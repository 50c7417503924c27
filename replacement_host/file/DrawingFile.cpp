// Loading and saving drawing files; see the header.
//
// Reading parses with simdjson's DOM parser: it checks the whole text first
// (structure, strings, UTF-8, numbers) at gigabytes a second, so a bad file
// is refused before anything is made, and its tape is a fraction of the size
// of a tree of nlohmann::json values. Its On-Demand parser would check only
// what is visited and knows no line or column; nlohmann's SAX reader was
// measured at only about twice its tree's speed. Text simdjson refuses goes
// to nlohmann, whose words with line and column users have always had.
#include "replacement_host/file/DrawingFile.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/db/ObjectPool.h"

#include "host/dbfield.h"
#include "host/dbsymtb.h"
#include "replacement_host/fields/FieldCode.h"
#include "replacement_host/file/FieldState.h"
#include "replacement_host/file/ObjectCodec.h"
#include "replacement_host/text/Nearest.h"
#include "replacement_host/text/Utf.h"

#include <nlohmann/json.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <filesystem>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unordered_set>
#include <unistd.h>

namespace drawingfile {

namespace {

constexpr int kFormatVersion = 1;

// An object of the file on its way into the drawing. Its readers come and
// go with each step; what they asked for stays.
struct Pending {
    const ObjectCodec* codec;
    JsonValue json;
    AcDbHandle handle;
    size_t index;
    AcDbObject* object = nullptr;
    ReadMarks read;
};

// A reader of a pending object, for one step.
class PendingReader {
public:
    PendingReader(Pending& p, const std::string& name, AcDbDatabase* db)
        : m_pending(p), in(p.json, ObjectPlace{&name, p.index, p.codec->type, p.handle}, db, std::move(p.read))
    {
    }
    PendingReader(const PendingReader&) = delete;
    PendingReader& operator=(const PendingReader&) = delete;
    ~PendingReader() { m_pending.read = in.takeReadMarks(); }

private:
    Pending& m_pending;

public:
    JsonIn in;
};

std::string handleText(AcDbHandle h) { return utf8(h.text()); }

// The file's handles, each with the place of its object. Sorted once rather
// than hashed: neighbouring handles stay neighbours in memory, and no choice
// of handles makes it slow.
class FileHandles {
public:
    explicit FileHandles(size_t count) { m_sorted.reserve(count); }
    void add(Adesk::UInt64 handle, size_t at) { m_sorted.push_back({handle, at}); }
    // Sorts what was added. The first place whose handle an earlier place has
    // too, with the first place that has it; nothing when no handle repeats.
    std::optional<std::pair<size_t, size_t>> firstRepeat()
    {
        sortByHandle();
        std::optional<std::pair<size_t, size_t>> repeat;
        for (size_t i = 1; i < m_sorted.size(); ++i)
            if (m_sorted[i].handle == m_sorted[i - 1].handle &&
                (i < 2 || m_sorted[i - 2].handle != m_sorted[i].handle) && (!repeat || m_sorted[i].at < repeat->first))
                repeat = std::pair(m_sorted[i].at, m_sorted[i - 1].at);
        return repeat;
    }
    // After firstRepeat.
    bool contains(Adesk::UInt64 handle) const
    {
        auto it = std::lower_bound(m_sorted.begin(), m_sorted.end(), Entry{handle, 0});
        return it != m_sorted.end() && it->handle == handle;
    }

private:
    struct Entry {
        Adesk::UInt64 handle;
        size_t at;
        auto operator<=>(const Entry&) const = default;
    };
    // A byte at a time from the lowest, as many bytes as the largest handle
    // has: linear, and stable, so places of one handle stay in order.
    void sortByHandle()
    {
        Adesk::UInt64 all = 0;
        for (const Entry& e : m_sorted)
            all |= e.handle;
        std::vector<Entry> other(m_sorted.size());
        for (int shift = 0; shift < 64 && (all >> shift) != 0; shift += 8) {
            size_t start[257] = {};
            for (const Entry& e : m_sorted)
                ++start[(e.handle >> shift & 0xFF) + 1];
            for (int b = 0; b < 256; ++b)
                start[b + 1] += start[b];
            for (const Entry& e : m_sorted)
                other[start[e.handle >> shift & 0xFF]++] = e;
            m_sorted.swap(other);
        }
    }
    std::vector<Entry> m_sorted;
};

void addLayerIfMissing(AcDbDatabase& db, const AcString& name)
{
    auto* layers = AcDbSymbolTable::cast(HostAccess::objectAt(db, db.layerTableId()));
    if (layers->has(name.c_str()))
        return;
    // A layer an entity names is made, as CAD programs do on import.
    auto* layer = new AcDbLayerTableRecord;
    layer->setName(name.c_str());
    AcDbObjectId id;
    db.addObject(layer, db.layerTableId(), id);
}

// The highest handle saved inside an object: its fields (nested ones too) and
// a table's cells with theirs. Malformed ones are reported where they are read;
// nesting deeper than field codes can go is left to that too.
// Counts in inner the objects saved inside, for the drawing's lists to be
// sized once.
Adesk::UInt64 highestInList(JsonValue list, size_t& inner, int depth);

Adesk::UInt64 highestInside(JsonValue j, size_t& inner, int depth = 0)
{
    Adesk::UInt64 highest = 0;
    if (!j.isObject() || depth > 2 * fieldcode::kMaxNesting)
        return highest;
    // One pass over the members; of a key given twice the last counts.
    JsonValue handle, lists[3];
    static constexpr std::string_view kLists[3] = {"fields", "children", "cells"};
    j.eachMember([&](std::string_view key, JsonValue value) {
        if (key == "handle")
            handle = value;
        for (int k = 0; k < 3; ++k)
            if (key == kLists[k])
                lists[k] = value;
    });
    AcDbHandle h;
    if (handle.isString() && parseHandle(handle.string(), h))
        highest = h.value();
    for (const JsonValue& list : lists)
        highest = std::max(highest, highestInList(list, inner, depth));
    return highest;
}

Adesk::UInt64 highestInList(JsonValue list, size_t& inner, int depth)
{
    Adesk::UInt64 highest = 0;
    list.eachElement([&](JsonValue saved) {
        ++inner;
        highest = std::max(highest, highestInside(saved, inner, depth + 1));
    });
    return highest;
}

// highestInside of an object of the file, whose reader knows its keys: most
// have none of the lists.
Adesk::UInt64 highestInObject(const JsonIn& in, size_t& inner)
{
    Adesk::UInt64 highest = 0;
    for (const char* list : {"fields", "children", "cells"})
        highest = std::max(highest, highestInList(in.peek(list), inner, 0));
    return highest;
}

// The layer the entity before stood on, as the file wrote it: entities
// come in runs on one layer, which then need not be looked up again.
struct LastLayer {
    std::string_view written;
    AcString name;
};

void addObject(AcDbDatabase& db, Pending& pending, const std::string& name, AcDbObjectId owner, LastLayer& last)
{
    PendingReader p(pending, name, &db);
    // Held until the database takes it, so a bad key later frees it.
    std::unique_ptr<AcDbObject> obj(pending.codec->create(p.in));
    if (auto* ent = AcDbEntity::cast(obj.get())) {
        const JsonValue written = p.in.get("layer");
        if (written.isString() && !last.name.empty() && written.string() == last.written) {
            ent->setLayer(last.name.c_str());
        } else {
            AcString layer = p.in.text("layer", u"0");
            if (layer.empty())
                p.in.fail("\"layer\" must not be empty");
            ent->setLayer(layer.c_str());
            addLayerIfMissing(db, layer);
            if (written.isString()) {
                last.written = written.string();
                last.name = std::move(layer);
            }
        }
    }
    if (p.in.boolean("erased", false))
        obj->erase();
    readXdata(p.in, obj.get());
    AcDbObjectId id;
    if (db.addObject(obj.get(), owner, id, pending.handle) != Acad::eOk)
        p.in.fail("handle " + handleText(pending.handle) + " is used twice");
    pending.object = obj.release();
}

LoadResult loadJson(JsonValue root, const std::string& name)
{
    auto db = std::make_unique<AcDbDatabase>(false);
    JsonIn top(root, name, db.get());
    if (!root.isObject())
        top.fail("a drawing must be a JSON object");
    if (!root["tesslyDrawing"].present())
        top.fail("not a TesslyEval drawing: \"tesslyDrawing\": 1 is missing");
    if (top.integer("tesslyDrawing", 0) != kFormatVersion)
        top.fail("\"tesslyDrawing\" must be 1, the only version this program reads");
    for (const auto& [key, value] : root.members()) {
        static const std::vector<std::string> known{"tesslyDrawing", "selected", "objects"};
        if (std::find(known.begin(), known.end(), key) == known.end()) {
            std::string near = nearestword::nearest(std::string(key), known);
            top.fail("unknown key \"" + std::string(key) + "\"" +
                     (near.empty() ? "" : "; did you mean \"" + near + "\"?"));
        }
    }
    // Walked in place, not listed first: a list would visit every object
    // once more, far apart in memory.
    const JsonValue objects = top.get("objects");
    if (objects.present() && !objects.isArray())
        top.fail("\"objects\" must be an array");

    // Read kind and handle of every object first, so handles can be checked
    // and new objects never take a handle the file uses.
    std::vector<Pending> pending;
    pending.reserve(objects.size());
    FileHandles seen(objects.size());
    // A handle used twice is told before any later fault, as the objects come.
    auto failOnRepeat = [&] {
        if (auto repeat = seen.firstRepeat())
            PendingReader(pending[repeat->first], name, db.get())
                .in.fail("handle " + handleText(pending[repeat->first].handle) + " is used by objects[" +
                         std::to_string(repeat->second) + "] too");
    };
    Adesk::UInt64 highest = 2;
    size_t inner = 0;
    std::string_view lastType;
    const ObjectCodec* lastCodec = nullptr;
    try {
        size_t i = 0;
        objects.eachElement([&](JsonValue object) {
            ObjectPlace place{&name, i, {}, {}};
            JsonIn in(object, place, db.get());
            if (!object.isObject())
                in.fail("must be a JSON object");
            const JsonValue t = in.get("type");
            if (!t.present())
                in.fail("\"type\" is missing");
            if (!t.isString())
                in.fail("\"type\" must be a text");
            place.type = t.string();
            // Objects of a kind come in runs.
            if (place.type != lastType) {
                lastType = place.type;
                lastCodec = codecForType(place.type);
            }
            const ObjectCodec* codec = lastCodec;
            if (!codec)
                in.fail("unknown object type \"" + std::string(place.type) + "\"");
            const JsonValue h = in.get("handle");
            if (!h.isString() || !parseHandle(h.string(), place.handle))
                in.fail("\"handle\" must be a handle: 1 to 16 hexadecimal digits, not 0");
            in.setPlace(place);
            if (place.handle.value() <= 2)
                in.fail("handles 1 and 2 belong to the block and layer tables");
            seen.add(place.handle.value(), i);
            highest = std::max({highest, place.handle.value(), highestInObject(in, inner)});
            pending.push_back({codec, object, place.handle, i, nullptr, in.takeReadMarks()});
            ++i;
        });
    } catch (const DrawingError&) {
        failOnRepeat();
        throw;
    }
    failOnRepeat();
    // Saved field and cell handles are checked as they are made; every handle
    // the reader makes up (layouts, layers, a table's block, new fields) goes above all.
    HostAccess::hostReserveHandlesThrough(*db, highest);
    HostAccess::hostReserveObjects(*db, pending.size() + inner + 16);

    // Table records first, so entities find their blocks and layers.
    LastLayer lastLayer;
    for (Pending& p : pending) {
        if (p.codec->owner == ObjectCodec::Owner::kBlockTable)
            addObject(*db, p, name, db->blockTableId(), lastLayer);
        else if (p.codec->owner == ObjectCodec::Owner::kLayerTable)
            addObject(*db, p, name, db->layerTableId(), lastLayer);
    }
    db->addMissingDefaults();

    // Then every object whose owner exists, until none is left.
    std::vector<Pending*> waiting;
    for (Pending& p : pending)
        if (!p.object)
            waiting.push_back(&p);
    const AcDbObjectId modelSpace = db->modelSpaceId();
    // Most entities of a drawing stand in model space; room unused is never touched.
    if (auto* model = AcDbBlockTableRecord::cast(HostAccess::objectAt(*db, modelSpace)))
        HostAccess::hostReserveEntities(*model, waiting.size());
    while (!waiting.empty()) {
        std::vector<Pending*> still;
        for (Pending* p : waiting) {
            AcDbObjectId owner = modelSpace;
            {
                PendingReader r(*p, name, db.get());
                if (const JsonValue o = r.in.get("owner"); o.present()) {
                    AcDbHandle h;
                    if (!o.isString() || !parseHandle(o.string(), h))
                        r.in.fail("\"owner\" must be a handle (hexadecimal text)");
                    const bool added = db->getAcDbObjectId(owner, false, h) == Acad::eOk;
                    if (!added && !seen.contains(h.value()))
                        r.in.fail("\"owner\" names handle " + std::string(o.string()) + ", which no object has");
                    if (!added) {
                        still.push_back(p);
                        continue;
                    }
                }
            }
            addObject(*db, *p, name, owner, lastLayer);
        }
        if (still.size() == waiting.size())
            PendingReader(*still.front(), name, db.get()).in.fail("its owners lead back to itself");
        waiting = std::move(still);
    }
    for (Pending& p : pending) {
        PendingReader r(p, name, db.get());
        if (p.codec->link)
            p.codec->link(r.in, p.object);
        if (Json kept = r.in.unreadKeys(); !kept.empty())
            HostAccess::hostSetKeptKeys(*p.object, kept.dump());
    }

    LoadResult result;
    if (!root["selected"].isNull())
        result.selected = top.objectId("selected");
    result.database = std::move(db);
    return result;
}

}

namespace {

// Room for a file's text and simdjson's padding after it, zeroed. Its pages
// are mapped at once: faulted in one by one, a large text's pages cost more
// than reading the file into them.
class TextBuffer {
public:
    TextBuffer() = default;
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;
    ~TextBuffer() { release(); }
    char* data() const { return m_data; }
    size_t size() const { return m_size; }
    // Room for at least size bytes, the first keep of them kept; false
    // when there is no memory for it (errno says why).
    bool grow(size_t size, size_t keep)
    {
        void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (p == MAP_FAILED)
            return false;
        if (keep)
            std::memcpy(p, m_data, keep);
        release();
        m_data = static_cast<char*>(p);
        m_size = size;
        return true;
    }
    void release()
    {
        if (m_data)
            ::munmap(m_data, m_size);
        m_data = nullptr;
        m_size = 0;
    }
    // Once the text is parsed its pages, touched already, are room for the
    // objects read from it.
    void giveToObjects()
    {
        if (hostdb::takeSpareMemory(m_data, m_size)) {
            m_data = nullptr;
            m_size = 0;
        }
        release();
    }

private:
    char* m_data = nullptr;
    size_t m_size = 0;
};

// nlohmann's reading of text simdjson refused, building nothing. What it
// refuses it throws as its own parse would, so the message stays the one
// users have always had.
struct NlohmannCheck {
    bool null() { return true; }
    bool boolean(bool) { return true; }
    bool number_integer(Json::number_integer_t) { return true; }
    bool number_unsigned(Json::number_unsigned_t) { return true; }
    bool number_float(Json::number_float_t, const std::string&) { return true; }
    bool string(std::string&) { return true; }
    bool binary(Json::binary_t&) { return true; }
    bool start_object(std::size_t) { return true; }
    bool key(std::string&) { return true; }
    bool end_object() { return true; }
    bool start_array(std::size_t) { return true; }
    bool end_array() { return true; }
    template <class Exception> bool parse_error(std::size_t, const std::string&, const Exception& e) { throw e; }
};

// Parses text into doc. Padded: SIMDJSON_PADDING zero bytes follow the text,
// so it is read where it is. Throws what the user is told when it is not JSON.
simdjson::dom::element parse(simdjson::dom::document& doc, std::string_view text, bool padded, const std::string& name)
{
    std::string_view json = text;
    // nlohmann reads past a UTF-8 byte order mark, and so does this.
    if (json.starts_with("\xEF\xBB\xBF"))
        json.remove_prefix(3);
    simdjson::dom::element root;
    simdjson::error_code error = simdjson::SUCCESS;
    {
        // The parser's buffers go when it does; the document stays.
        simdjson::dom::parser parser;
        error = parser.parse_into_document(doc, json.data(), json.size(), !padded).get(root);
        if (!error)
            return root;
        NlohmannCheck check;
        Json::sax_parse(text, &check);
        // nlohmann reads what simdjson refuses in a few cases: integers beyond
        // 64 bits (as reals, as they have always been read) and anything after
        // a zero byte (ignored). Its reading is written out for simdjson.
        if (error != simdjson::DEPTH_ERROR) {
            std::string again = Json::parse(text).dump();
            error = parser.parse_into_document(doc, again).get(root);
            if (!error)
                return root;
        }
    }
    // No drawing nests that deep; a value deeper would take the stack with it.
    if (error == simdjson::DEPTH_ERROR)
        throw DrawingError(name + ": arrays and objects are nested more than " +
                           std::to_string(simdjson::DEFAULT_MAX_DEPTH) + " deep");
    throw DrawingError(name + ": " + simdjson::error_message(error));
}

// Loads the drawing in text; see parse for padded. The owner's text, when
// given, goes to the objects once parsed: nothing is read from it afterwards.
LoadResult loadText(std::string_view text, bool padded, const std::string& name, TextBuffer* owner)
{
    LoadResult result;
    try {
        simdjson::dom::document doc;
        JsonValue root(parse(doc, text, padded, name));
        if (owner)
            owner->giveToObjects();
        result = loadJson(root, name);
    } catch (const Json::parse_error& e) {
        std::string what = e.what();
        // Keep the parser's own words after its "[json.exception...]" tag.
        size_t tag = what.find("] ");
        result.error = name + ": " + (tag == std::string::npos ? what : what.substr(tag + 2));
    } catch (const DrawingError& e) {
        result.error = e.what();
    } catch (const std::exception& e) {
        result.error = name + ": " + e.what();
    }
    if (!result.error.empty())
        result.database.reset();
    return result;
}

}

LoadResult loadFromText(const std::string& text, const std::string& name)
{
    return loadText(text, false, name, nullptr);
}

LoadResult load(const std::string& path)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        LoadResult r;
        r.error = path + ": is a folder, not a drawing file";
        return r;
    }
    auto fail = [&](const char* what) {
        LoadResult r;
        r.error = path + ": " + what + ": " + std::strerror(errno);
        return r;
    };
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fail("cannot open");
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    // Read straight into a buffer with simdjson's padding after the text.
    struct stat st {};
    size_t expected = ::fstat(fd, &st) == 0 && st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0;
    TextBuffer text;
    if (!text.grow(expected + 1 + simdjson::SIMDJSON_PADDING, 0))
        return fail("cannot read");
    size_t used = 0;
    for (;;) {
        if (text.size() - used < 1 + simdjson::SIMDJSON_PADDING && !text.grow(text.size() * 2, used))
            return fail("cannot read");
        ssize_t n = ::read(fd, text.data() + used, text.size() - simdjson::SIMDJSON_PADDING - used);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail("cannot read");
        if (n == 0)
            break;
        used += static_cast<size_t>(n);
    }
    LoadResult r = loadText(std::string_view(text.data(), used), true, path, &text);
    if (r.database)
        r.database->setFilename(utf::toUtf16(path));
    return r;
}

namespace {
// The keys an object kept from its file go back after the written ones, in
// their order; a key a codec wrote wins. An object may keep very many, so
// they are read with simdjson and appended without a search per key
// (nlohmann's ordered objects search on every insert).
void addKeptKeys(Json& j, const std::string& kept)
{
    std::unordered_set<std::string> written;
    for (const auto& member : j.items())
        written.insert(member.key());
    auto& members = static_cast<Json::object_t::Container&>(j.get_ref<Json::object_t&>());
    simdjson::dom::parser parser;
    simdjson::dom::object object;
    if (parser.parse(kept).get(object) == simdjson::SUCCESS) {
        for (simdjson::dom::key_value_pair member : object)
            if (written.emplace(member.key).second)
                members.emplace_back(std::string(member.key), JsonValue(member.value).toJson());
        return;
    }
    // The kept text is nlohmann's own writing, which simdjson reads; should it
    // not, nlohmann reads it, slowly but the same.
    const Json parsed = Json::parse(kept);
    for (auto it = parsed.cbegin(); it != parsed.cend(); ++it)
        if (written.insert(it.key()).second)
            members.emplace_back(it.key(), it.value());
}
}

std::string toText(AcDbDatabase& db, AcDbObjectId selected)
{
    Json objects = Json::array();
    for (AcDbObjectId id : db.objectIds()) {
        AcDbObject* obj = HostAccess::objectAt(db, id);
        if (id == db.blockTableId() || id == db.layerTableId() || AcDbField::cast(obj) ||
            HostAccess::hostWrittenByOwner(*obj))
            continue;  // the tables are implicit; fields and cells are written with what holds them
        const ObjectCodec* codec = codecForObject(obj);
        if (!codec)
            continue;  // kinds without a codec are the host's own bookkeeping
        Json j;
        j["type"] = codec->type;
        j["handle"] = handleText(obj->objectHandle());
        if (codec->owner == ObjectCodec::Owner::kObject)
            j["owner"] = handleText(obj->ownerId().handle());
        if (auto* ent = AcDbEntity::cast(obj))
            j["layer"] = utf8(ent->layerName());
        if (obj->isErased())
            j["erased"] = true;
        codec->write(obj, j);
        writeXdata(obj, j);
        if (!HostAccess::hostKeptKeys(*obj).empty())
            addKeptKeys(j, HostAccess::hostKeptKeys(*obj));
        objects.push_back(std::move(j));
    }
    Json root;
    root["tesslyDrawing"] = kFormatVersion;
    if (!selected.isNull())
        root["selected"] = handleText(selected.handle());
    root["objects"] = std::move(objects);
    return root.dump(1, '\t') + "\n";
}

namespace {
// Why the drawing at target may not be replaced, or empty. The mode bits
// decide, not only the system's answer: root may write anything, but a file
// marked read-only is the user saying "keep this".
std::string refusal(const std::string& path, const std::string& target)
{
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return path + ": is a folder, not a drawing file; nothing was written";
        if ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)
            return path + ": is read-only; not overwritten";
    }
    std::string folder = target.substr(0, target.find_last_of('/') + 1);
    if (folder.empty())
        folder = ".";
    if (::stat(folder.c_str(), &st) == 0 && ((st.st_mode & 0222) == 0 || ::access(folder.c_str(), W_OK) != 0))
        return path + ": cannot write: its folder " + folder + " is read-only";
    return {};
}

// The file a path names: through symbolic links, so saving to a link
// writes the drawing it points to and keeps the link.
std::string resolved(const std::string& path)
{
    std::error_code ec;
    std::string target = path;
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(target, ec); ++hops) {
        std::filesystem::path next = std::filesystem::read_symlink(target, ec);
        if (ec)
            break;
        target = (next.is_absolute() ? next : std::filesystem::path(target).parent_path() / next).string();
    }
    return target;
}
}

std::string save(AcDbDatabase& db, const std::string& path, AcDbObjectId selected)
{
    std::string error = writeAtomically(path, toText(db, selected));
    if (error.empty())
        db.setFilename(utf::toUtf16(path));
    return error;
}

std::string writeAtomically(const std::string& path, const std::string& text)
{
    std::string target = resolved(path);
    if (std::string why = refusal(path, target); !why.empty())
        return why;
    std::string tmp = target + ".tmp-XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0)
        return path + ": cannot write: " + std::strerror(errno);
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            std::string why = n < 0 ? std::strerror(errno) : "nothing written";
            ::close(fd);
            ::unlink(tmp.c_str());
            return path + ": cannot write: " + why + "; the old drawing is unchanged";
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        std::string why = std::strerror(errno);
        ::unlink(tmp.c_str());
        return path + ": cannot write: " + why + "; the old drawing is unchanged";
    }
    // The new file keeps the old one's permissions.
    struct stat old {};
    ::chmod(tmp.c_str(), ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    if (std::rename(tmp.c_str(), target.c_str()) != 0) {
        std::string why = std::strerror(errno);
        ::unlink(tmp.c_str());
        return path + ": cannot replace: " + why + "; the old drawing is unchanged";
    }
    return {};
}

}
