// Fields read from FIELD objects: a holder's extension dictionary leads
// through ACAD_FIELD / TEXT to a _text wrapper whose children are the fields.
// Each child becomes a field of the holder, with its handle, data, status,
// cached value and display; the holder's contents become the wrapper's code
// with every child's code in place, as a user would have typed it.
#include "replacement_host/dxf/DxfFieldRecord.h"
#include "replacement_host/HostAccess.h"

#include "host/dbfield.h"
#include "host/dbtext.h"
#include "replacement_host/fields/FieldText.h"

#include <algorithm>
#include <charconv>
#include <set>

namespace dxf {

namespace {

bool keptType(std::string_view type)
{
    return type == "DICTIONARY" || type == "FIELD" || type == "XRECORD" || type == "TABLECONTENT" ||
        type == "FIELDLIST" || type == "ACDB_BLOCKREPRESENTATION_DATA" ||
        (type.starts_with("BLOCK") && type.ends_with("PARAMETER"));
}

bool parseInt(std::string_view s, long long& v)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return !s.empty() && ec == std::errc() && end == s.data() + s.size();
}

bool parseReal(std::string_view s, double& v)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return !s.empty() && ec == std::errc() && end == s.data() + s.size();
}

bool knownValueType(long long type)
{
    switch (type) {
    case 0:
    case 1:
    case 2:
    case 4:
    case 8:
    case 16:
    case 32:
    case 64:
    case 128:
    case 256:
    case 512: return true;
    default: return false;
    }
}

}  // namespace

unsigned long long parseHex(std::string_view text)
{
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    unsigned long long v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, 16);
    return ec == std::errc() && end == text.data() + text.size() ? v : 0;
}

void FileObjects::keep(const Record& record)
{
    if (!keptType(record.type))
        return;
    unsigned long long handle = parseHex(record.text(5));
    if (handle == 0)
        return;
    // The first record of a handle counts, as for the writer.
    auto [it, added] = m_records.try_emplace(handle);
    if (!added)
        return;
    StoredRecord& stored = it->second;
    stored.type = record.type;
    stored.line = record.line;
    stored.xdictionary = record.xdictionary;
    size_t total = 0;
    for (size_t i = 0; i < record.size; ++i)
        total += record.items[i].value.size();
    stored.bytes.reserve(total);
    stored.items.reserve(record.size);
    for (size_t i = 0; i < record.size; ++i) {
        const Record::Item& item = record.items[i];
        const char* at = stored.bytes.data() + stored.bytes.size();
        stored.bytes.append(item.value);
        stored.items.push_back({item.code, std::string_view(at, item.value.size()), item.line});
    }
}

const StoredRecord* FileObjects::find(std::string_view handle) const
{
    auto it = m_records.find(parseHex(handle));
    return it == m_records.end() ? nullptr : &it->second;
}

void FileObjects::noteText(AcDbText* text, const Record& record)
{
    if (!record.xdictionary.empty())
        m_texts.push_back({text, record.type, std::string(record.text(5)), record.xdictionary, record.line});
}

// ---- value records ----

size_t readValue(const std::vector<Record::Item>& items, size_t i, bool valueRecords, const Record& decoder,
                 ValueRecord& out)
{
    out = ValueRecord();
    out.line = i < items.size() ? items[i].line : 0;
    auto fail = [&](const std::string& what) -> void {
        throw FieldError{i < items.size() ? items[i].line : out.line, what};
    };
    std::string text;
    bool haveText = false;
    auto payload = [&](const Record::Item& item) {
        long long n = 0;
        double d = 0;
        switch (item.code) {
        case 91:
            if (!parseInt(item.value, n))
                fail("value record group 91 is not a whole number");
            out.longValue = n;
            out.hasPayload = true;
            break;
        case 140:
            if (!parseReal(item.value, d))
                fail("value record group 140 is not a number");
            out.realValue = d;
            out.hasPayload = true;
            break;
        case 1:
        case 2:
            text += item.value;
            haveText = true;
            out.hasPayload = true;
            break;
        default: out.hasPayload = true;  // dates, points, ids, buffers: kept in the file only
        }
    };
    if (valueRecords) {
        if (i < items.size() && items[i].code == 93)
            ++i;
        bool typed = false;
        for (; i < items.size(); ++i) {
            const Record::Item& item = items[i];
            if (item.code == 304) {
                ++i;
                break;
            }
            if (item.code == 0 || item.code == 6 || item.code == 7 || item.code >= 1000)
                fail("value record ends before 304 ACVALUE_END");
            if (!typed) {
                if (item.code != 90)
                    fail("value record has no data type (90)");
                long long type = 0;
                if (!parseInt(item.value, type) || !knownValueType(type))
                    fail("value record has data type \"" + std::string(item.value) + "\", which is not known");
                out.type = static_cast<int>(type);
                typed = true;
            } else if (item.code == 300) {
                out.format = decoder.decode(item.value);
            } else if (item.code == 302) {
                out.shown = decoder.decode(item.value);
                out.hasShown = true;
            } else if (item.code != 94) {
                payload(item);
            }
            if (i + 1 == items.size())
                fail("value record ends before 304 ACVALUE_END");
        }
        if (!typed)
            fail("value record is empty");
    } else {
        if (i >= items.size() || items[i].code != 90)
            fail("value record has no data type (90)");
        long long type = 0;
        if (!parseInt(items[i].value, type) || !knownValueType(type))
            fail("value record has data type \"" + std::string(items[i].value) + "\", which is not known");
        out.type = static_cast<int>(type);
        for (++i; i < items.size(); ++i) {
            int c = items[i].code;
            if (c == 0 || c == 6 || c == 7 || c == 9 || c == 98 || c == 301 || c >= 1000)
                break;
            payload(items[i]);
        }
    }
    switch (out.type) {
    case 1: out.value.set(static_cast<Adesk::Int32>(out.longValue)); break;
    case 2: out.value.set(out.realValue); break;
    case 4:
        if (haveText)
            out.value.set(decoder.decode(text).c_str());
        break;
    default: break;
    }
    return i;
}

// ---- FIELD records ----

FieldRecord readFieldRecord(const StoredRecord& rec, const std::string& handle, bool valueRecords,
                            const Record& decoder)
{
    FieldRecord f;
    f.handle = handle;
    f.line = rec.line;
    const auto& items = rec.items;
    size_t i = 0;
    while (i < items.size() && !(items[i].code == 100 && items[i].value == "AcDbField"))
        ++i;
    if (i == items.size())
        throw FieldError{rec.line, "has no AcDbField part"};
    ++i;
    auto at = [&](int code) { return i < items.size() && items[i].code == code; };
    auto integer = [&](const char* what) {
        long long v = 0;
        if (!parseInt(items[i].value, v))
            throw FieldError{items[i].line, std::string(what) + " is not a whole number"};
        ++i;
        return v;
    };
    if (!at(1))
        throw FieldError{rec.line, "has no evaluator id (1)"};
    f.evaluator = items[i++].value;
    while (at(2) || at(3))
        f.code += items[i++].value;
    // A count, then that many handles: the children (90/360), the objects
    // named by the code (97/331).
    auto handles = [&](int countCode, int handleCode, const std::string& what, std::vector<std::string>& list) {
        if (!at(countCode))
            return;
        long long n = integer(("the number of " + what + " (" + std::to_string(countCode) + ")").c_str());
        for (long long k = 0; k < n; ++k) {
            if (!at(handleCode))
                throw FieldError{i < items.size() ? items[i].line : rec.line,
                                 "names " + std::to_string(n) + " " + what + ", " + std::to_string(k) + " follow"};
            list.emplace_back(items[i++].value);
        }
    };
    handles(90, 360, "child fields", f.children);
    handles(97, 331, "objects", f.objects);
    if (at(4))
        f.format = items[i++].value;
    for (int code : {91, 92, 94, 95, 96}) {
        if (!at(code))
            continue;
        long long v = integer("an option word");
        if (code == 91)
            f.evaluationOption = static_cast<int>(v);
        if (code == 95)
            f.status = static_cast<int>(v);
    }
    if (at(300))
        ++i;
    if (at(93)) {
        long long n = integer("the number of data entries (93)");
        for (long long k = 0; k < n; ++k) {
            if (!at(6))
                throw FieldError{i < items.size() ? items[i].line : rec.line,
                                 "names " + std::to_string(n) + " data entries, " + std::to_string(k) + " follow"};
            std::string key(items[i++].value);
            ValueRecord value;
            i = readValue(items, i, valueRecords, decoder, value);
            f.data.emplace_back(std::move(key), std::move(value));
        }
    }
    if (at(7)) {
        ++i;
        i = readValue(items, i, valueRecords, decoder, f.cache);
        f.hasCache = true;
    }
    if (at(301)) {
        f.display = items[i++].value;
        f.hasDisplay = true;
        while (at(9))
            f.display += items[i++].value;
    }
    for (; i < items.size(); ++i) {
        if (items[i].code == 1001) {
            f.xdata.emplace_back(items[i].value, "");
        } else if (items[i].code == 1000 && !f.xdata.empty()) {
            if (!f.xdata.back().second.empty())
                f.xdata.back().second += '\n';
            f.xdata.back().second += items[i].value;
        }
    }
    return f;
}

namespace {

constexpr std::u16string_view kFldIdx = u"%<\\_FldIdx ";
constexpr std::u16string_view kObjIdx = u"%<\\_ObjIdx ";

// Replaces the markers "%<\_FldIdx n>%" and "%<\_ObjIdx n>%" of a code;
// each child marker is handed to child(n), each object marker to object(n).
template <class Child, class Object>
std::u16string replaceMarkers(std::u16string_view code, size_t line, Child child, Object object)
{
    std::u16string out;
    size_t at = 0;
    for (;;) {
        size_t p = code.find(u"%<\\_", at);
        if (p == std::u16string_view::npos)
            break;
        bool isChild = code.substr(p).starts_with(kFldIdx), isObject = code.substr(p).starts_with(kObjIdx);
        if (!isChild && !isObject) {
            out.append(code.substr(at, p + 4 - at));
            at = p + 4;
            continue;
        }
        size_t d = p + kFldIdx.size();
        size_t n = 0, digits = 0;
        while (d < code.size() && code[d] >= u'0' && code[d] <= u'9' && digits < 9) {
            n = n * 10 + (code[d] - u'0');
            ++d;
            ++digits;
        }
        if (digits == 0 || code.substr(d, 2) != u">%")
            throw FieldError{line, "the code holds a malformed marker"};
        out.append(code.substr(at, p - at));
        out += isChild ? child(n) : object(n);
        at = d + 2;
    }
    out.append(code.substr(at));
    return out;
}

}  // namespace

namespace {

struct FieldBuilder {
    FileObjects& objects;
    AcDbDatabase& db;
    const FileObjects::Resolve& resolve;
    const Record& decoder;
    bool valueRecords;

    FieldRecord read(const std::string& handle, size_t fromLine)
    {
        const StoredRecord* rec = objects.find(handle);
        if (!rec)
            throw FieldError{fromLine, "the field handle " + handle + " names no object"};
        if (rec->type != "FIELD")
            throw FieldError{fromLine, "the field handle " + handle + " names a " + rec->type + ", not a FIELD"};
        return readFieldRecord(*rec, handle, valueRecords, decoder);
    }

    // The code of a field with its children's codes and its objects in place.
    std::u16string expand(const FieldRecord& f, std::vector<std::string>& path, std::vector<FieldRecord>* childrenOut)
    {
        if (std::find(path.begin(), path.end(), f.handle) != path.end())
            throw FieldError{f.line, "the child fields form a cycle through " + f.handle};
        if (path.size() > 32)
            throw FieldError{f.line, "the child fields nest too deep"};
        path.push_back(f.handle);
        std::vector<FieldRecord> kids;
        for (const std::string& h : f.children)
            kids.push_back(read(h, f.line));
        std::vector<int> used(kids.size(), 0);
        std::u16string code = replaceMarkers(
            decoder.decode(f.code), f.line,
            [&](size_t n) -> std::u16string {
                if (n >= kids.size())
                    throw FieldError{f.line,
                                     "marker _FldIdx " + std::to_string(n) + " names no child field (it has " +
                                         std::to_string(kids.size()) + ")"};
                ++used[n];
                return u"%<" + expand(kids[n], path, nullptr) + u">%";
            },
            [&](size_t n) -> std::u16string {
                AcDbObjectId id = n < f.objects.size() ? resolve(parseHex(f.objects[n])) : AcDbObjectId();
                return u"%<\\_ObjId " + utf16(std::to_string(id.asOldId())) + u">%";
            });
        for (size_t k = 0; k < used.size(); ++k)
            if (used[k] != 1)
                throw FieldError{f.line,
                                 "the code's markers do not match its " + std::to_string(kids.size()) +
                                     " child fields (child " + std::to_string(k) + " is marked " +
                                     std::to_string(used[k]) + " times)"};
        path.pop_back();
        if (childrenOut)
            *childrenOut = std::move(kids);
        return code;
    }

    static std::u16string utf16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

    void wishHandles(AcDbField* field, const FieldRecord& f)
    {
        HostAccess::hostWishHandle(*field, AcDbHandle(parseHex(f.handle)));
        if (field->children().size() != f.children.size())
            return;
        for (size_t k = 0; k < f.children.size(); ++k)
            wishHandles(field->children()[k], read(f.children[k], f.line));
    }

    void restore(AcDbField* field, const FieldRecord& f)
    {
        for (auto& [key, value] : f.data)
            if (value.value.isValid())
                field->setData(decoder.decode(key).c_str(), &value.value);
        for (auto& [app, text] : f.xdata)
            field->setXdataText(decoder.decode(app), decoder.decode(text));
        HostAccess::hostRestoreState(*field, f.cache.value, f.status ? f.status : AcDbField::kNotYetEvaluated);
        if (f.hasDisplay)
            HostAccess::hostSetFileDisplay(*field, decoder.decode(f.display));
        if (field->children().size() == f.children.size())
            for (size_t k = 0; k < f.children.size(); ++k)
                restore(field->children()[k], read(f.children[k], f.line));
    }

    AcDbObjectId add(AcDbField* field, AcDbObjectId owner)
    {
        AcDbObjectId id;
        if (db.addObject(field, owner, id) != Acad::eOk) {
            HostAccess::hostWishHandle(*field, AcDbHandle());
            db.addObject(field, owner, id);
        }
        return id;
    }

    // Reads the field tree whose top FIELD is `top` into the holder.
    void build(Source& source, size_t holderIndex, const std::string& top, size_t line)
    {
        Holder& holder = source.holders[holderIndex];
        FieldRecord wrapper = read(top, line);
        std::vector<FieldRecord> children;
        std::u16string contents;
        std::vector<std::string> path;
        if (wrapper.evaluator == "_text") {
            contents = expand(wrapper, path, &children);
            holder.wrapperHandle = wrapper.handle;
            holder.wrapperCode = wrapper.code;
        } else {
            // A field on its own: the holder shows it alone.
            contents = u"%<" + expand(wrapper, path, nullptr) + u">%";
            children.push_back(wrapper);
        }
        auto* text = AcDbText::cast(HostAccess::objectAt(db, holder.text));
        if (fieldtext::fieldSpans(contents).size() != children.size())
            throw FieldError{wrapper.line, "the text around the fields holds field codes of its own"};
        std::vector<std::unique_ptr<AcDbField>> made;
        for (const FieldRecord& child : children) {
            path.clear();
            auto field = std::make_unique<AcDbField>((u"%<" + expand(child, path, nullptr) + u">%").c_str());
            wishHandles(field.get(), child);
            made.push_back(std::move(field));
        }
        holder.shown = text->textStringConst();
        HostAccess::hostSetMakesOwnFields(*text, false);
        text->setTextString(contents.c_str());
        for (size_t k = 0; k < made.size(); ++k) {
            AcDbField* field = made[k].release();
            AcDbObjectId id = add(field, text->objectId());
            restore(field, children[k]);
            HostAccess::hostAddField(*text, id);
            FileField ff;
            ff.id = id;
            ff.handle = children[k].handle;
            ff.status = children[k].status;
            ff.cached = children[k].cache.value;
            ff.display = decoder.decode(children[k].display);
            field->getXdataText(u"5922BCAD362F4a2f85F978E948CC606B", ff.stamp);
            holder.fields.push_back(std::move(ff));
            source.holderOfField[id.asOldId()] = holderIndex;
        }
        HostAccess::hostSetMakesOwnFields(*text, true);
        source.holderOfText[text->objectId().asOldId()] = holderIndex;
    }
};

}  // namespace

std::vector<std::pair<std::string, std::string>> dictionaryEntries(const StoredRecord& rec)
{
    std::vector<std::pair<std::string, std::string>> out;
    std::string key;
    bool haveKey = false;
    for (const Record::Item& item : rec.items) {
        if (item.code == 3) {
            key = item.value;
            haveKey = true;
        } else if ((item.code == 350 || item.code == 360) && haveKey) {
            out.emplace_back(key, item.value);
            haveKey = false;
        }
    }
    return out;
}

std::string dictionaryEntry(const FileObjects& objects, std::string_view dictionary, std::string_view key)
{
    const StoredRecord* rec = objects.find(dictionary);
    if (!rec || rec->type != "DICTIONARY")
        return {};
    for (auto& [k, v] : dictionaryEntries(*rec))
        if (k == key)
            return v;
    return {};
}

bool readFieldTree(FileObjects& objects, AcDbDatabase& db, const FileObjects::Resolve& resolve, const Record& decoder,
                   Source& source, Holder holder, const std::string& top, size_t line)
{
    FieldBuilder builder{objects, db, resolve, decoder, source.valueRecords()};
    source.holders.push_back(std::move(holder));
    size_t index = source.holders.size() - 1;
    try {
        builder.build(source, index, top, line);
        return true;
    } catch (const FieldError& e) {
        Holder& h = source.holders[index];
        std::string where = h.type + " " + h.handle;
        if (h.row >= 0)
            where += " cell " + std::to_string(h.row) + "," + std::to_string(h.column);
        source.problems.push_back("line " + std::to_string(e.line) + ": the field of " + where +
                                  " cannot be read: " + e.what);
        // Fields made before the fault go with it: the holder stays as read.
        for (const FileField& f : h.fields) {
            source.holderOfField.erase(f.id.asOldId());
            if (AcDbObject* obj = HostAccess::objectAt(db, f.id))
                obj->erase();
        }
        if (auto* text = AcDbText::cast(HostAccess::objectAt(db, h.text)); text && !h.fields.empty()) {
            HostAccess::hostSetMakesOwnFields(*text, false);
            text->setTextString(h.shown.c_str());
        }
        source.holderOfText.erase(h.text.asOldId());
        source.holders.pop_back();
        return false;
    }
}

std::vector<AcDbText*> FileObjects::finish(AcDbDatabase& db, const Resolve& resolve, const Record& decoder)
{
    std::vector<AcDbText*> done;
    for (const PendingText& t : m_texts) {
        std::string fieldDictionary = dictionaryEntry(*this, t.xdictionary, "ACAD_FIELD");
        if (fieldDictionary.empty())
            continue;
        std::string top = dictionaryEntry(*this, fieldDictionary, "TEXT");
        if (top.empty())
            continue;
        Holder holder;
        holder.type = t.type;
        holder.handle = t.handle;
        holder.text = t.text->objectId();
        if (readFieldTree(*this, db, resolve, decoder, m_source, std::move(holder), top, t.line))
            done.push_back(t.text);
    }
    finishTables(db, resolve, decoder);
    finishInserts(db, resolve, decoder);
    return done;
}

}
