// Loading and saving drawing files; see the header.
#include "replacement_host/file/DrawingFile.h"
#include "replacement_host/HostAccess.h"

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
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sstream>
#include <unistd.h>

namespace drawingfile {

namespace {

constexpr int kFormatVersion = 1;

struct Pending {
    const ObjectCodec* codec;
    JsonIn in;
    AcDbHandle handle;
    AcDbObject* object = nullptr;
};

std::string handleText(AcDbHandle h) { return utf8(h.text()); }

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
Adesk::UInt64 highestInside(const Json& j, int depth = 0)
{
    Adesk::UInt64 highest = 0;
    if (!j.is_object() || depth > 2 * fieldcode::kMaxNesting)
        return highest;
    AcDbHandle h;
    if (j.contains("handle") && j["handle"].is_string() && parseHandle(j["handle"].get<std::string>(), h))
        highest = h.value();
    for (const char* key : {"fields", "children", "cells"})
        if (j.contains(key) && j[key].is_array())
            for (const Json& inner : j[key])
                highest = std::max(highest, highestInside(inner, depth + 1));
    return highest;
}

void addObject(AcDbDatabase& db, Pending& p, AcDbObjectId owner)
{
    // Held until the database takes it, so a bad key later frees it.
    std::unique_ptr<AcDbObject> obj(p.codec->create(p.in));
    if (auto* ent = AcDbEntity::cast(obj.get())) {
        AcString layer = p.in.text("layer", u"0");
        if (layer.empty())
            p.in.fail("\"layer\" must not be empty");
        ent->setLayer(layer.c_str());
        addLayerIfMissing(db, layer);
    }
    if (p.in.boolean("erased", false))
        obj->erase();
    readXdata(p.in, obj.get());
    AcDbObjectId id;
    if (db.addObject(obj.get(), owner, id, p.handle) != Acad::eOk)
        p.in.fail("handle " + handleText(p.handle) + " is used twice");
    p.object = obj.release();
}

LoadResult loadJson(const Json& root, const std::string& name)
{
    auto db = std::make_unique<AcDbDatabase>(false);
    JsonIn top(root, name, db.get());
    if (!root.is_object())
        top.fail("a drawing must be a JSON object");
    if (!root.contains("tesslyDrawing"))
        top.fail("not a TesslyEval drawing: \"tesslyDrawing\": 1 is missing");
    if (top.integer("tesslyDrawing", 0) != kFormatVersion)
        top.fail("\"tesslyDrawing\" must be 1, the only version this program reads");
    for (auto& [key, value] : root.items()) {
        static const std::vector<std::string> known{"tesslyDrawing", "selected", "objects"};
        if (std::find(known.begin(), known.end(), key) == known.end()) {
            std::string near = nearestword::nearest(key, known);
            top.fail("unknown key \"" + key + "\"" + (near.empty() ? "" : "; did you mean \"" + near + "\"?"));
        }
    }
    const Json& objects = top.array("objects");

    // Read kind and handle of every object first, so handles can be checked
    // and new objects never take a handle the file uses.
    std::vector<Pending> pending;
    std::map<Adesk::UInt64, size_t> seen;
    Adesk::UInt64 highest = 2;
    for (size_t i = 0; i < objects.size(); ++i) {
        JsonIn in(objects[i], name + ": objects[" + std::to_string(i) + "]", db.get());
        if (!objects[i].is_object())
            in.fail("must be a JSON object");
        std::string type = utf8(in.text("type"));
        const ObjectCodec* codec = codecForType(type);
        if (!codec)
            in.fail("unknown object type \"" + type + "\"");
        AcDbHandle handle;
        const Json* h = objects[i].contains("handle") ? &objects[i]["handle"] : nullptr;
        if (!h || !h->is_string() || !parseHandle(h->get<std::string>(), handle))
            in.fail("\"handle\" must be a handle: 1 to 16 hexadecimal digits, not 0");
        JsonIn named(objects[i], in.where() + " (" + type + " " + handleText(handle) + ")", db.get());
        if (handle.value() <= 2)
            named.fail("handles 1 and 2 belong to the block and layer tables");
        if (auto [it, fresh] = seen.emplace(handle.value(), i); !fresh)
            named.fail("handle " + handleText(handle) + " is used by objects[" + std::to_string(it->second) + "] too");
        highest = std::max({highest, handle.value(), highestInside(objects[i])});
        pending.push_back({codec, named, handle});
    }
    // Saved field and cell handles are checked as they are made; every handle
    // the reader makes up (layouts, layers, a table's block, new fields) goes above all.
    HostAccess::hostReserveHandlesThrough(*db, highest);

    // Table records first, so entities find their blocks and layers.
    for (Pending& p : pending) {
        if (p.codec->owner == ObjectCodec::Owner::kBlockTable)
            addObject(*db, p, db->blockTableId());
        else if (p.codec->owner == ObjectCodec::Owner::kLayerTable)
            addObject(*db, p, db->layerTableId());
    }
    db->addMissingDefaults();

    // Then every object whose owner exists, until none is left.
    std::vector<Pending*> waiting;
    for (Pending& p : pending)
        if (!p.object)
            waiting.push_back(&p);
    const AcDbObjectId modelSpace = db->modelSpaceId();
    while (!waiting.empty()) {
        std::vector<Pending*> still;
        for (Pending* p : waiting) {
            AcDbObjectId owner = modelSpace;
            if (p->in.has("owner")) {
                AcDbHandle h;
                const Json& o = p->in.json()["owner"];
                if (!o.is_string() || !parseHandle(o.get<std::string>(), h))
                    p->in.fail("\"owner\" must be a handle (hexadecimal text)");
                if (!seen.count(h.value()) && db->getAcDbObjectId(owner, false, h) != Acad::eOk)
                    p->in.fail("\"owner\" names handle " + o.get<std::string>() + ", which no object has");
                if (db->getAcDbObjectId(owner, false, h) != Acad::eOk) {
                    still.push_back(p);
                    continue;
                }
            }
            addObject(*db, *p, owner);
        }
        if (still.size() == waiting.size())
            still.front()->in.fail("its owners lead back to itself");
        waiting = std::move(still);
    }
    for (Pending& p : pending) {
        if (p.codec->link)
            p.codec->link(p.in, p.object);
        p.in.has("type");
        p.in.has("handle");
        if (Json kept = p.in.unreadKeys(); !kept.empty())
            HostAccess::hostSetKeptKeys(*p.object, kept.dump());
    }

    LoadResult result;
    if (root.contains("selected") && !root["selected"].is_null())
        result.selected = top.objectId("selected");
    result.database = std::move(db);
    return result;
}

}

LoadResult loadFromText(const std::string& text, const std::string& name)
{
    LoadResult result;
    try {
        Json root = Json::parse(text);
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

LoadResult load(const std::string& path)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        LoadResult r;
        r.error = path + ": is a folder, not a drawing file";
        return r;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        LoadResult r;
        r.error = path + ": cannot open: " + std::strerror(errno);
        return r;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        LoadResult r;
        r.error = path + ": cannot read: " + std::strerror(errno);
        return r;
    }
    LoadResult r = loadFromText(text.str(), path);
    if (r.database)
        r.database->setFilename(utf::toUtf16(path));
    return r;
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
        if (!HostAccess::hostKeptKeys(*obj).empty()) {
            const Json kept = Json::parse(HostAccess::hostKeptKeys(*obj));
            for (auto it = kept.cbegin(); it != kept.cend(); ++it)
                if (!j.contains(it.key()))
                    j[it.key()] = it.value();
        }
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
