// The pass-through DXF writer; see the header. The file is read again as
// lines; records are found by handle; each change is a range of groups
// replaced by new ones, in the file's own line ends, code layout, release
// encoding and escapes. Everything between the changes is copied byte for byte.
#include "replacement_host/dxf/DxfWriter.h"
#include "replacement_host/HostAccess.h"

#include "host/dbfield.h"
#include "host/dbtable.h"
#include "host/dbtext.h"
#include "replacement_host/dxf/DxfFieldRecord.h"
#include "replacement_host/dxf/DxfSource.h"
#include "replacement_host/fields/FieldCode.h"
#include "replacement_host/fields/FieldText.h"
#include "replacement_host/file/DrawingFile.h"
#include "host/dbattr.h"
#include "replacement_host/text/Utf.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

namespace dxf {

namespace {

constexpr size_t kPiece = 250;  // bytes per piece of a long text
constexpr const char* kStampApplication = "5922BCAD362F4a2f85F978E948CC606B";

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// The file as lines, read two at a time as groups.
struct Lines {
    std::string bytes;
    std::vector<size_t> start;  // of each line, then the end of the file
    std::string eol = "\n";
    bool padCodes = false;
    std::vector<int> codes;  // of each group; -1 where the line is not a code

    void index()
    {
        start.clear();
        size_t at = 0;
        while (at < bytes.size()) {
            start.push_back(at);
            size_t nl = bytes.find('\n', at);
            at = nl == std::string::npos ? bytes.size() : nl + 1;
        }
        start.push_back(bytes.size());
        if (start.size() > 1) {
            std::string_view first = raw(0);
            eol = first.ends_with("\r\n") ? "\r\n" : "\n";
            padCodes = !first.empty() && first[0] == ' ';
        }
        codes.resize(pairs());
        for (size_t p = 0; p < codes.size(); ++p) {
            std::string_view c = trimmed(line(2 * p));
            int v = -1;
            auto [end, ec] = std::from_chars(c.data(), c.data() + c.size(), v);
            codes[p] = ec == std::errc() && end == c.data() + c.size() ? v : -1;
        }
    }
    size_t lines() const { return start.size() - 1; }
    size_t pairs() const { return lines() / 2; }
    std::string_view raw(size_t i) const { return std::string_view(bytes).substr(start[i], start[i + 1] - start[i]); }
    std::string_view line(size_t i) const
    {
        std::string_view s = raw(i);
        if (s.ends_with('\n'))
            s.remove_suffix(1);
        if (s.ends_with('\r'))
            s.remove_suffix(1);
        return s;
    }
    int code(size_t p) const { return codes[p]; }
    std::string_view value(size_t p) const { return line(2 * p + 1); }
};

struct Range {
    size_t first = 0, end = 0;  // groups
};

// A record the writer changes: found by handle and type, the first one as
// the reader took it.
struct Wanted {
    std::string type;
    Range range;
};

struct Edit {
    size_t first, end;  // groups replaced; first == end inserts
    std::string text;
};

std::string realText(double v)
{
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    std::string s(buf, ec == std::errc() ? end : buf);
    if (s.find_first_of(".eEni") == std::string::npos)
        s += ".0";
    return s;
}

class Writer {
public:
    Writer(const AcDbDatabase& db, const Source& source) : m_db(db), m_source(source) {}

    WriteResult run()
    {
        WriteResult result;
        std::ifstream in(m_source.path, std::ios::binary);
        if (!in) {
            result.error = m_source.path + ": cannot read the drawing again to write it back";
            return result;
        }
        std::ostringstream all;
        all << in.rdbuf();
        m_lines.bytes = all.str();
        m_lines.index();
        plan();
        indexRecords();
        m_next = std::max<unsigned long long>(m_source.handseed, m_maxHandle + 1);
        if (!m_converts.empty())
            indexForConversion();
        for (auto& job : m_jobs)
            job();
        finishAdded();
        result.text = assemble();
        result.notes = std::move(m_notes);
        return result;
    }

private:
    // ---- formatting ----
    std::string codeText(int code) const
    {
        std::string c = std::to_string(code);
        if (m_lines.padCodes && c.size() < 3)
            c.insert(0, 3 - c.size(), ' ');
        return c;
    }
    std::string group(int code, std::string_view value) const
    {
        return codeText(code) + m_lines.eol + std::string(value) + m_lines.eol;
    }
    std::string intGroup(int code, long long v) const
    {
        std::string s = std::to_string(v);
        size_t width = 0;
        if (m_lines.padCodes) {
            if ((code >= 60 && code <= 79) || (code >= 170 && code <= 179) || (code >= 270 && code <= 289))
                width = 6;
            else if ((code >= 90 && code <= 99) || (code >= 420 && code <= 429))
                width = 9;
        }
        if (s.size() < width)
            s.insert(0, width - s.size(), ' ');
        return group(code, s);
    }
    // An integer in place of one read: the old value's width.
    std::string intLike(std::string_view old, long long v) const
    {
        std::string s = std::to_string(v);
        if (!old.empty() && old[0] == ' ' && s.size() < old.size())
            s.insert(0, old.size() - s.size(), ' ');
        return s;
    }
    // Text in the file's encoding; paragraph texts escape as MTEXT does.
    std::string encode(std::u16string_view s, bool mtext) const
    {
        std::u16string t;
        for (char16_t c : s) {
            if (c == u'\r')
                continue;
            if (c == u'\n') {
                t += mtext ? u"\\P" : u" ";
                continue;
            }
            if (mtext && (c == u'\\' || c == u'{' || c == u'}'))
                t += u'\\';
            t += c;
        }
        return encodeRaw(t);
    }
    // Pieces of at most 250 bytes, never inside a UTF-8 sequence.
    static std::vector<std::string_view> pieces(std::string_view s)
    {
        std::vector<std::string_view> out;
        while (s.size() > kPiece) {
            size_t n = kPiece;
            while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
                --n;
            if (n == 0)
                n = kPiece;
            out.push_back(s.substr(0, n));
            s.remove_prefix(n);
        }
        out.push_back(s);
        return out;
    }
    std::string textGroups(int pieceCode, int lastCode, std::string_view s) const
    {
        std::vector<std::string_view> p = pieces(s);
        std::string out;
        for (size_t i = 0; i + 1 < p.size(); ++i)
            out += group(pieceCode, p[i]);
        return out + group(lastCode, p.back());
    }
    std::string displayGroups(std::string_view s) const
    {
        std::vector<std::string_view> p = pieces(s);
        std::string out = group(301, p[0]);
        for (size_t i = 1; i < p.size(); ++i)
            out += group(9, p[i]);
        return out;
    }

    // ---- records ----
    void want(const std::string& handle, const std::string& type)
    {
        if (unsigned long long h = parseHex(handle))
            m_records.emplace(h, Wanted{type, Range{}});
    }
    // Finds the wanted records, and where sections, the APPID table and the
    // handle seed stand, for the records a save may add.
    void indexRecords()
    {
        size_t n = m_lines.pairs();
        std::string section;
        bool inSection = false, inAppids = false;
        for (size_t p = 0; p < n;) {
            size_t q = p + 1;
            while (q < n && m_lines.code(q) != 0)
                ++q;
            // The record's type as the reader takes it: trailing blanks go.
            std::string_view type = m_lines.value(p);
            while (!type.empty() && type.back() == ' ')
                type.remove_suffix(1);
            // The reader stops at an EOF between sections: what follows is not the drawing.
            if (m_lines.code(p) == 0 && type == "EOF" && !inSection)
                break;
            // A SECTION inside a section is a record of it, as the reader takes it.
            if (m_lines.code(p) == 0 && type == "SECTION" && !inSection) {
                inSection = true;
                section.clear();
                for (size_t k = p + 1; k < q; ++k)
                    if (m_lines.code(k) == 2) {
                        section = trimmed(m_lines.value(k));
                        for (char& c : section)
                            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                        break;
                    }
                if (section == "HEADER")
                    for (size_t k = p + 1; k + 1 < q; ++k)
                        if (m_lines.code(k) == 9 && trimmed(m_lines.value(k)) == "$HANDSEED" &&
                            m_lines.code(k + 1) == 5)
                            m_handseedPair = k + 1;
                if (section == "OBJECTS")
                    m_objectsFirst = q;
                p = q;
                continue;
            }
            if (type == "ENDSEC" && inSection) {
                inSection = false;
                if (section == "OBJECTS")
                    m_objectsEnd = p;
                if (section == "CLASSES")
                    m_classesEnd = p;
                section.clear();
            }
            if (type == "TABLE")
                inAppids = q > p + 1 && m_lines.code(p + 1) == 2 && trimmed(m_lines.value(p + 1)) == "APPID";
            if (type == "ENDTAB" && inAppids) {
                m_appidEnd = p;
                inAppids = false;
            }
            if (section == "CLASSES" && type == "CLASS")
                for (size_t k = p + 1; k < q; ++k)
                    if (m_lines.code(k) == 1)
                        m_classes.insert(std::string(trimmed(m_lines.value(k))));
            for (size_t k = p + 1; k < q; ++k) {
                int c = m_lines.code(k);
                if (c == 5 || c == 105) {
                    unsigned long long h = parseHex(trimmed(m_lines.value(k)));
                    m_maxHandle = std::max(m_maxHandle, h);
                    if (type == "TABLE" && inAppids)
                        m_appidTable = std::string(trimmed(m_lines.value(k)));
                    if (section == "OBJECTS" && m_rootDictionary.empty() && type == "DICTIONARY")
                        m_rootDictionary = std::string(trimmed(m_lines.value(k)));
                    // Objects are read from OBJECTS, texts and tables from ENTITIES and BLOCKS.
                    bool object =
                        type == "FIELD" || type == "DICTIONARY" || type == "TABLECONTENT" || type == "FIELDLIST";
                    bool fits = object ? section == "OBJECTS" : section == "ENTITIES" || section == "BLOCKS";
                    if (auto it = m_records.find(h); it != m_records.end() && it->second.range.end == 0 &&
                        it->second.type == type && fits && inSection)
                        it->second.range = Range{p, q};
                    break;
                }
            }
            if (type == "APPID")
                for (size_t k = p + 1; k < q; ++k)
                    if (m_lines.code(k) == 2)
                        m_appids.insert(std::string(trimmed(m_lines.value(k))));
            p = q;
        }
    }
    const Range* record(const std::string& handle) const
    {
        auto it = m_records.find(parseHex(handle));
        return it == m_records.end() || it->second.range.end == 0 ? nullptr : &it->second.range;
    }
    size_t findCode(const Range& r, size_t from, int code, std::string_view value = {}) const
    {
        for (size_t p = from; p < r.end; ++p)
            if (m_lines.code(p) == code && (value.empty() || trimmed(m_lines.value(p)) == value))
                return p;
        return r.end;
    }
    void replace(size_t first, size_t end, std::string text) { m_edits.push_back({first, end, std::move(text)}); }
    void replaceValue(size_t p, std::string_view value)
    {
        replace(p, p + 1, std::string(m_lines.line(2 * p)) + m_lines.eol + std::string(value) + m_lines.eol);
    }

    // ---- what changes ----
    static bool sameValue(const AcValue& a, const AcValue& b)
    {
        if (a.dataType() != b.dataType())
            return false;
        Adesk::Int32 la = 0, lb = 0;
        double da = 0, db = 0;
        AcString sa, sb;
        switch (a.dataType()) {
        case AcValue::kLong:
            a.get(la);
            b.get(lb);
            return la == lb;
        case AcValue::kDouble:
            a.get(da);
            b.get(db);
            return da == db || (da != da && db != db);
        case AcValue::kString:
            a.get(sa);
            b.get(sb);
            return sa == sb;
        default: return true;
        }
    }
    const AcDbField* field(AcDbObjectId id) const { return AcDbField::cast(HostAccess::objectAt(m_db, id)); }
    bool changed(const FileField& ff) const
    {
        const AcDbField* f = field(ff.id);
        if (!f || HostAccess::hostHasFileDisplay(*f))
            return false;  // not evaluated: as read
        AcValue value;
        f->getValue(value);
        AcString stamp;
        f->getXdataText(utf::toUtf16(kStampApplication), stamp);
        return f->getValue() != ff.display || f->evaluationStatus() != ff.status ||
            (f->evaluationStatus() == AcDbField::kSuccess && !sameValue(value, ff.cached)) || stamp != ff.stamp;
    }

    void plan()
    {
        size_t r12 = 0;
        for (const Holder& h : m_source.holders) {
            if (h.plainCodes && h.type != "ACAD_TABLE") {
                auto* text = AcDbText::cast(HostAccess::objectAt(m_db, h.text));
                if (!text || text->fieldIds().empty())
                    continue;
                if (m_source.release < "AC1015") {
                    ++r12;
                    continue;
                }
                want(h.handle, h.type);
                m_converts.push_back(&h);
                continue;
            }
            if (h.plainCodes || h.fields.empty())
                continue;
            bool any = false;
            for (const FileField& ff : h.fields)
                any = any || changed(ff);
            if (!any)
                continue;
            want(h.handle, h.type);
            want(h.wrapperHandle, "FIELD");
            want(h.blockText, "MTEXT");
            want(h.tableContent, "TABLECONTENT");
            for (const FileField& ff : h.fields)
                if (changed(ff)) {
                    want(ff.handle, "FIELD");
                    m_jobs.push_back([this, &ff] { writeField(ff); });
                }
            m_jobs.push_back([this, &h] { writeHolder(h); });
        }
        if (r12)
            m_notes.push_back(std::to_string(r12) + " text" + (r12 == 1 ? "" : "s") +
                              " keep their field codes as text: R12 drawings have no FIELD objects");
    }

    // ---- codes typed as text become FIELD objects ----
    void indexForConversion()
    {
        if (m_objectsEnd == 0 || m_rootDictionary.empty()) {
            m_notes.push_back("the drawing has no OBJECTS section; field codes typed as text stay text");
            m_converts.clear();
            return;
        }
        // The root dictionary's field list, when the drawing has one, and the
        // texts' own extension dictionaries.
        want(m_rootDictionary, "DICTIONARY");
        for (const Holder* h : m_converts)
            if (const Range* r = record(h->handle))
                want(xdictionaryOf(*r), "DICTIONARY");
        indexRecords();
        if (const Range* root = record(m_rootDictionary)) {
            size_t key = findCode(*root, root->first, 3, "ACAD_FIELDLIST");
            if (key + 1 < root->end)
                m_fieldList = std::string(trimmed(m_lines.value(key + 1)));
        }
        if (!m_fieldList.empty()) {
            want(m_fieldList, "FIELDLIST");
            indexRecords();
        }
        for (const Holder* h : m_converts)
            m_jobs.push_back([this, h] { convert(*h); });
    }

    std::string xdictionaryOf(const Range& r) const
    {
        size_t bracket = findCode(r, r.first, 102, "{ACAD_XDICTIONARY");
        if (bracket + 1 < r.end && m_lines.code(bracket + 1) == 360)
            return std::string(trimmed(m_lines.value(bracket + 1)));
        return {};
    }

    std::string newHandle()
    {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%llX", m_next++);
        return buf;
    }
    // Text in the file's encoding, as it stands: UTF-8 from R2007 on, else
    // ASCII with \U+XXXX for every other character.
    std::string encodeRaw(std::u16string_view s) const
    {
        if (m_source.utf8)
            return utf::toUtf8(s);
        std::string out;
        for (char16_t c : s) {
            if (c < 0x80) {
                out += static_cast<char>(c);
            } else {
                char buf[16];
                std::snprintf(buf, sizeof buf, "\\U+%04X", static_cast<unsigned>(c));
                out += buf;
            }
        }
        return out;
    }
    std::string codeGroups(std::string_view code) const { return textGroups(3, 2, code); }

    std::string dataEntry(const std::string& key, const AcValue& value) const
    {
        return group(6, key) + valueRecord(value, "", 0, 0);
    }

    // A FIELD record for one of our fields, its nested fields first; gives its handle.
    std::string emitField(const AcDbField& f, const std::string& owner)
    {
        std::string handle = newHandle();
        std::u16string code = f.getFieldCode(AcDbField::kTextField);
        if (code.starts_with(u"%<") && code.ends_with(u">%"))
            code = code.substr(2, code.size() - 4);
        std::vector<std::string> children, objects;
        std::u16string marked;
        size_t at = 0, child = 0;
        std::vector<fieldcode::Span> spans = fieldcode::findCodes(code);
        size_t nested = 0;
        for (const fieldcode::Span& sp : spans)
            nested += !fieldcode::isObjectReference(std::u16string_view(code).substr(sp.begin, sp.end - sp.begin));
        bool withChildren = nested == f.children().size();
        for (const fieldcode::Span& sp : spans) {
            std::u16string_view inner = std::u16string_view(code).substr(sp.begin, sp.end - sp.begin);
            std::u16string replacement(inner);
            if (fieldcode::isObjectReference(inner)) {
                // "%<\_ObjId N>%" names an object by id; the file names it by handle.
                size_t d = inner.find_first_of(u"0123456789");
                long long id = 0;
                for (; d < inner.size() && inner[d] >= u'0' && inner[d] <= u'9'; ++d)
                    id = id * 10 + (inner[d] - u'0');
                AcDbObject* obj = HostAccess::objectAt(m_db, AcDbObjectId::fromOldId(id));
                if (obj && inner.starts_with(u"%<\\_ObjId ")) {
                    replacement = u"%<\\_ObjIdx " + utf::toUtf16(std::to_string(objects.size())) + u">%";
                    objects.push_back(utf::toUtf8(obj->objectHandle().text()));
                }
            } else if (withChildren) {
                replacement = u"%<\\_FldIdx " + utf::toUtf16(std::to_string(child)) + u">%";
                children.push_back("");
                ++child;
            }
            marked.append(code, at, sp.begin - at);
            marked += replacement;
            at = sp.end;
        }
        marked.append(code, at);
        // Handles of nested fields come after this one's.
        for (size_t k = 0; k < children.size(); ++k)
            children[k] = emitField(*f.children()[k], handle);

        const ACHAR* id = f.evaluatorId();
        std::string out = group(0, "FIELD") + group(5, handle) + group(330, owner) + group(100, "AcDbField") +
            group(1, utf::toUtf8(id ? id : u"")) + codeGroups(encodeRaw(marked)) +
            intGroup(90, static_cast<long long>(children.size()));
        for (const std::string& c : children)
            out += group(360, c);
        out += intGroup(97, static_cast<long long>(objects.size()));
        for (const std::string& o : objects)
            out += group(331, o);
        if (!m_source.valueRecords() && !f.format().empty())
            out += group(4, encodeRaw(f.format()));
        bool ok = f.evaluationStatus() == AcDbField::kSuccess;
        out += intGroup(91, 63) + intGroup(92, 0) + intGroup(94, ok ? 59 : 3) + intGroup(95, f.evaluationStatus()) +
            intGroup(96, 0) + group(300, "");
        out += intGroup(93, static_cast<long long>(HostAccess::allData(f).size()));
        for (auto& [key, value] : HostAccess::allData(f))
            out += dataEntry(encodeRaw(key), value);
        AcValue value;
        f.getValue(value);
        std::string shown = encode(f.getValue(), false);
        if (ok)
            out += group(7, "ACFD_FIELD_VALUE") + valueRecord(value, shown, 0, 0);
        out +=
            displayGroups(shown) + intGroup(98, static_cast<long long>(utf::toUtf16(utf::toUtf8(f.getValue())).size()));
        AcString stamp;
        if (f.getXdataText(utf::toUtf16(kStampApplication), stamp)) {
            out += group(1001, kStampApplication);
            for (;;) {
                size_t nl = stamp.find(u'\n');
                out += group(1000, encode(stamp.substr(0, nl), false));
                if (nl == AcString::npos)
                    break;
                stamp.erase(0, nl + 1);
            }
            m_stampUsed = true;
        }
        m_added += out;
        m_newFields.push_back(handle);
        return handle;
    }

    void convert(const Holder& h)
    {
        const Range* r = record(h.handle);
        auto* text = AcDbText::cast(HostAccess::objectAt(m_db, h.text));
        if (!r || !text)
            return;
        std::u16string contents = text->textStringConst();
        std::vector<fieldcode::Span> spans = fieldtext::fieldSpans(contents);
        const std::vector<AcDbObjectId>& ids = text->fieldIds();
        if (spans.size() != ids.size())
            return;
        bool mtext = h.type == "MTEXT";
        // The wrapper's code: the text with a marker for each field.
        std::u16string wrapper;
        std::string shown;
        size_t at = 0;
        for (size_t k = 0; k < spans.size(); ++k) {
            std::u16string_view between = std::u16string_view(contents).substr(at, spans[k].begin - at);
            wrapper += between;
            wrapper += u"%<\\_FldIdx " + utf::toUtf16(std::to_string(k)) + u">%";
            shown += encodeRaw(between);
            const AcDbField* f = field(ids[k]);
            shown += encode(f ? f->getValue() : AcString(), mtext);
            at = spans[k].end;
        }
        wrapper += std::u16string_view(contents).substr(at);
        shown += encodeRaw(std::u16string_view(contents).substr(at));

        // The host's extension dictionary: its own, or a new one. One that
        // names no dictionary, or already has fields the reader could not
        // take, is left alone, and so is the text.
        std::string xdictionary = xdictionaryOf(*r);
        if (!xdictionary.empty()) {
            const Range* d = record(xdictionary);
            if (!d || findCode(*d, d->first, 3, "ACAD_FIELD") < d->end) {
                m_notes.push_back(h.type + " " + h.handle +
                                  " keeps its field codes as text: its extension dictionary " + xdictionary +
                                  (d ? " holds fields that could not be read" : " is missing"));
                return;
            }
        }
        bool newXdictionary = xdictionary.empty();
        if (newXdictionary)
            xdictionary = newHandle();
        std::string fieldDictionary = newHandle();
        std::string wrapperHandle = newHandle();
        std::vector<std::string> children;
        std::string wrapperText = m_added;
        m_added.clear();
        for (AcDbObjectId id : ids)
            children.push_back(emitField(*field(id), wrapperHandle));
        std::string childRecords = std::move(m_added);
        m_added = std::move(wrapperText);

        Record decoder;
        decoder.utf8Text = m_source.utf8;
        std::u16string hostText = decoder.decode(shown);
        double sum = 0;
        for (size_t i = 0; i < hostText.size(); ++i)
            sum += static_cast<double>(i + 1) * hostText[i];
        AcValue checksum;
        checksum.set(sum);
        std::string out;
        if (newXdictionary)
            out += group(0, "DICTIONARY") + group(5, xdictionary) + group(330, h.handle) +
                group(100, "AcDbDictionary") + intGroup(280, 1) + intGroup(281, 1) + group(3, "ACAD_FIELD") +
                group(360, fieldDictionary);
        out += group(0, "DICTIONARY") + group(5, fieldDictionary) + group(330, xdictionary) +
            group(100, "AcDbDictionary") + intGroup(280, 1) + intGroup(281, 1) + group(3, "TEXT") +
            group(360, wrapperHandle);
        out += group(0, "FIELD") + group(5, wrapperHandle) + group(330, fieldDictionary) + group(100, "AcDbField") +
            group(1, "_text") + codeGroups(encodeRaw(wrapper)) + intGroup(90, static_cast<long long>(children.size()));
        for (const std::string& c : children)
            out += group(360, c);
        bool attdef = h.type == "ATTDEF";
        out += intGroup(97, 0) + intGroup(91, 63) + intGroup(92, 0) + intGroup(94, 41) + intGroup(95, 2) +
            intGroup(96, 0) + group(300, "") + intGroup(93, attdef ? 2 : 1) +
            dataEntry("ACFD_FIELDTEXT_CHECKSUM", checksum);
        if (attdef) {
            AcValue one;
            one.set(static_cast<Adesk::Int32>(1));
            out += dataEntry("ACFD_FIELDTEXT_ATTDEF", one);
        }
        out += group(7, "ACFD_FIELD_VALUE") + valueRecord(AcValue(), "", 0, 0) + group(301, "") + intGroup(98, 0);
        m_added += out + childRecords;
        m_newFields.insert(m_newFields.begin() + static_cast<long>(m_newFields.size() - children.size()),
                           wrapperHandle);

        // The host: its text shows the values, its dictionary holds the fields.
        writeText(*r, mtext, shown);
        if (newXdictionary) {
            // Skip a reactor bracket: the dictionary bracket follows it.
            size_t p = r->first + 1;
            size_t insertAt = r->end;
            int depth = 0;
            for (; p < r->end; ++p) {
                int c = m_lines.code(p);
                if (c == 102) {
                    depth += trimmed(m_lines.value(p)).starts_with("{") ? 1 : -1;
                    continue;
                }
                if (depth == 0 && (c == 330 || c == 100)) {
                    insertAt = p;
                    break;
                }
            }
            replace(insertAt, insertAt, group(102, "{ACAD_XDICTIONARY") + group(360, xdictionary) + group(102, "}"));
        } else {
            m_entryAdds.emplace_back(xdictionary, group(3, "ACAD_FIELD") + group(360, fieldDictionary));
        }
    }

    // The records a save adds, the field list, the classes, the handle seed.
    void finishAdded()
    {
        if (m_stampUsed && !m_appids.count(kStampApplication) && m_appidEnd) {
            std::string h = newHandle();
            replace(m_appidEnd, m_appidEnd,
                    group(0, "APPID") + group(5, h) + group(330, m_appidTable) + group(100, "AcDbSymbolTableRecord") +
                        group(100, "AcDbRegAppTableRecord") + group(2, kStampApplication) + intGroup(70, 0));
        }
        if (!m_newFields.empty()) {
            if (const Range* list = m_fieldList.empty() ? nullptr : record(m_fieldList)) {
                size_t count = findCode(*list, list->first, 90);
                size_t tail = findCode(*list, list->first, 100, "AcDbFieldList");
                long long n = 0;
                if (count < list->end) {
                    std::string_view v = trimmed(m_lines.value(count));
                    std::from_chars(v.data(), v.data() + v.size(), n);
                    replaceValue(count, intLike(m_lines.value(count), n + static_cast<long long>(m_newFields.size())));
                }
                std::string entries;
                for (const std::string& f : m_newFields)
                    entries += group(330, f);
                replace(tail, tail, entries);
            } else {
                std::string listHandle = newHandle();
                std::string out = group(0, "FIELDLIST") + group(5, listHandle) + group(330, m_rootDictionary) +
                    group(100, "AcDbIdSet") + intGroup(90, static_cast<long long>(m_newFields.size()));
                for (const std::string& f : m_newFields)
                    out += group(330, f);
                m_added += out + group(100, "AcDbFieldList");
                m_entryAdds.emplace_back(m_rootDictionary, group(3, "ACAD_FIELDLIST") + group(350, listHandle));
                m_classesWanted.push_back("FIELDLIST");
            }
            m_classesWanted.push_back("FIELD");
            if (m_classesEnd) {
                std::string classes;
                std::set<std::string> done;
                for (const std::string& name : m_classesWanted) {
                    if (m_classes.count(name) || !done.insert(name).second)
                        continue;
                    classes += group(0, "CLASS") + group(1, name) +
                        group(2, name == "FIELD" ? "AcDbField" : "AcDbFieldList") + group(3, "ObjectDBX Classes") +
                        intGroup(90, 1152) + (m_source.valueRecords() ? intGroup(91, 0) : std::string()) +
                        intGroup(280, 0) + intGroup(281, 0);
                }
                if (!classes.empty())
                    replace(m_classesEnd, m_classesEnd, classes);
            }
        }
        // Entries added to dictionaries that the file has.
        for (auto& [dictionary, entry] : m_entryAdds) {
            want(dictionary, "DICTIONARY");
        }
        if (!m_entryAdds.empty())
            indexRecords();
        for (auto& [dictionary, entry] : m_entryAdds) {
            if (const Range* d = record(dictionary)) {
                size_t at = d->end;
                for (size_t p = d->first; p < d->end; ++p)
                    if (m_lines.code(p) >= 1000) {
                        at = p;
                        break;
                    }
                replace(at, at, entry);
            } else if (!m_added.empty()) {
                m_notes.push_back("dictionary " + dictionary + " was not found; its new entry is left out");
            }
        }
        if (!m_added.empty())
            replace(m_objectsEnd, m_objectsEnd, m_added);
        if (m_next > std::max<unsigned long long>(m_source.handseed, m_maxHandle + 1) && m_handseedPair) {
            char buf[24];
            std::snprintf(buf, sizeof buf, "%llX", m_next);
            replaceValue(m_handseedPair, buf);
        }
    }

    // A value record; the flags, unit and format of the old one at
    // [oldFirst, oldEnd) are kept.
    std::string valueRecord(const AcValue& value, std::string_view display, size_t oldFirst, size_t oldEnd) const
    {
        std::string flags, unit, format;
        for (size_t p = oldFirst; p < oldEnd; ++p) {
            int c = m_lines.code(p);
            if (c == 93 && p == oldFirst)
                flags = m_lines.value(p);
            if (c == 94)
                unit = m_lines.value(p);
            if (c == 300)
                format = m_lines.value(p);
        }
        std::string out;
        bool records = m_source.valueRecords();
        if (records)
            out += flags.empty() ? intGroup(93, 0) : group(93, flags);
        Adesk::Int32 l = 0;
        double d = 0;
        AcString s;
        switch (value.dataType()) {
        case AcValue::kLong:
            value.get(l);
            out += intGroup(90, 1) + intGroup(91, l);
            break;
        case AcValue::kDouble:
            value.get(d);
            out += intGroup(90, 2) + group(140, realText(d));
            break;
        case AcValue::kString:
            value.get(s);
            out += intGroup(90, 4) + textGroups(2, 1, encode(s, false));
            break;
        default: out += intGroup(90, 0); break;
        }
        if (records) {
            out += unit.empty() ? intGroup(94, 0) : group(94, unit);
            out += group(300, format) + group(302, display) + group(304, "ACVALUE_END");
        }
        return out;
    }
    size_t valueEnd(const Range& r, size_t from) const
    {
        if (m_source.valueRecords())
            return std::min(findCode(r, from, 304) + 1, r.end);
        size_t p = from + 1;
        while (p < r.end) {
            int c = m_lines.code(p);
            if (c == 0 || c == 6 || c == 7 || c == 9 || c == 98 || c == 301 || c >= 1000)
                break;
            ++p;
        }
        return p;
    }

    void writeField(const FileField& ff)
    {
        const Range* r = record(ff.handle);
        const AcDbField* f = field(ff.id);
        if (!r || !f) {
            m_notes.push_back("FIELD " + ff.handle + " was not found again in the file; left as it was");
            return;
        }
        size_t head = findCode(*r, r->first, 100, "AcDbField");
        size_t status = r->end, dataCount = r->end;
        for (size_t p = head; p < r->end; ++p) {
            int c = m_lines.code(p);
            if (c == 95 && status == r->end)
                status = p;
            if (c == 93) {
                dataCount = p;
                break;
            }
        }
        size_t xdata = r->end;
        for (size_t p = head; p < r->end; ++p)
            if (m_lines.code(p) >= 1000) {
                xdata = p;
                break;
            }
        Range body{head, xdata};
        size_t cache = findCode(body, dataCount == r->end ? head : dataCount, 7);
        size_t cacheEnd = cache == body.end ? cache : valueEnd(body, cache + 1);
        size_t display = findCode(body, cache == body.end ? head : cacheEnd, 301);
        size_t displayEnd = display;
        if (display < body.end) {
            ++displayEnd;
            while (displayEnd < body.end && m_lines.code(displayEnd) == 9)
                ++displayEnd;
        }
        size_t length = findCode(body, display == body.end ? head : displayEnd, 98);

        int newStatus = f->evaluationStatus();
        if (status < r->end)
            replaceValue(status, intLike(m_lines.value(status), newStatus));
        std::string shown = encode(f->getValue(), false);
        AcValue value;
        f->getValue(value);
        if (newStatus == AcDbField::kSuccess) {
            if (cache < body.end)
                replace(cache + 1, cacheEnd, valueRecord(value, shown, cache + 1, cacheEnd));
            else
                replace(display < body.end      ? display
                            : length < body.end ? length
                                                : xdata,
                        display < body.end      ? display
                            : length < body.end ? length
                                                : xdata,
                        group(7, "ACFD_FIELD_VALUE") + valueRecord(value, shown, 0, 0));
        }
        size_t characters = utf::toUtf16(utf::toUtf8(f->getValue())).size();
        if (display < body.end) {
            replace(display, displayEnd, displayGroups(shown));
            if (length < body.end)
                replaceValue(length, intLike(m_lines.value(length), static_cast<long long>(characters)));
        } else {
            replace(xdata, xdata, displayGroups(shown) + intGroup(98, static_cast<long long>(characters)));
        }
        writeStamp(*f, xdata, r->end);
    }

    // The change stamp of file fields, as the field's extended data.
    void writeStamp(const AcDbField& f, size_t xdata, size_t end)
    {
        AcString stamp;
        if (!f.getXdataText(utf::toUtf16(kStampApplication), stamp))
            return;
        std::string groups = group(1001, kStampApplication);
        for (;;) {
            size_t nl = stamp.find(u'\n');
            groups += group(1000, encode(stamp.substr(0, nl), false));
            if (nl == AcString::npos)
                break;
            stamp.erase(0, nl + 1);
        }
        // The application's old group goes; others stay.
        size_t p = xdata, oldFirst = end, oldEnd = end;
        while (p < end) {
            if (m_lines.code(p) == 1001 && trimmed(m_lines.value(p)) == kStampApplication) {
                oldFirst = p;
                oldEnd = p + 1;
                while (oldEnd < end && m_lines.code(oldEnd) != 1001)
                    ++oldEnd;
                break;
            }
            ++p;
        }
        if (oldFirst < end)
            replace(oldFirst, oldEnd, groups);
        else
            replace(end, end, groups);
        m_stampUsed = true;
    }

    // The holder's new text as written: the wrapper code with each child's display.
    std::string holderText(const Holder& h, bool mtext) const
    {
        if (h.wrapperHandle.empty()) {
            const AcDbField* f = h.fields.empty() ? nullptr : field(h.fields[0].id);
            return encode(f ? f->getValue() : AcString(), mtext);
        }
        std::string code = h.wrapperCode, out;
        const std::string marker = "%<\\_FldIdx ";
        size_t at = 0;
        for (;;) {
            size_t p = code.find(marker, at);
            if (p == std::string::npos)
                break;
            size_t d = p + marker.size(), n = 0;
            while (d < code.size() && code[d] >= '0' && code[d] <= '9')
                n = n * 10 + static_cast<size_t>(code[d++] - '0');
            out.append(code, at, p - at);
            const AcDbField* f = n < h.fields.size() ? field(h.fields[n].id) : nullptr;
            out += encode(f ? f->getValue() : AcString(), mtext);
            at = d + 2;
        }
        out.append(code, at);
        return out;
    }

    void writeText(const Range& r, bool mtext, const std::string& text)
    {
        if (!mtext) {
            size_t head = findCode(r, r.first, 100, "AcDbText");
            size_t one = findCode(r, head, 1);
            if (one < r.end)
                replaceValue(one, text);
            return;
        }
        size_t head = findCode(r, r.first, 100, "AcDbMText");
        size_t a = head;
        while (a < r.end && m_lines.code(a) != 3 && m_lines.code(a) != 1)
            ++a;
        size_t b = a;
        while (b < r.end && m_lines.code(b) == 3)
            ++b;
        if (b < r.end && m_lines.code(b) == 1)
            replace(a, b + 1, textGroups(3, 1, text));
    }

    void writeHolder(const Holder& h)
    {
        const Range* r = record(h.handle);
        if (!r) {
            m_notes.push_back(h.type + " " + h.handle + " was not found again in the file; its text is as it was");
            return;
        }
        std::string text;
        if (h.type == "ACAD_TABLE") {
            auto* cell = AcDbText::cast(HostAccess::objectAt(m_db, h.text));
            ACHAR* shown = cell ? cell->textString() : nullptr;
            AcString s = shown ? AcString(shown) : AcString();
            delete[] shown;
            writeCell(*r, h, s);
            if (const Range* content = h.tableContent.empty() ? nullptr : record(h.tableContent))
                writeContentCell(*content, h, s);
            if (const Range* drawn = h.blockText.empty() ? nullptr : record(h.blockText))
                writeText(*drawn, true, encode(s, true));
            text = utf::toUtf8(s);
        } else {
            text = holderText(h, h.type == "MTEXT");
            writeText(*r, h.type == "MTEXT", text);
        }
        if (const Range* w = h.wrapperHandle.empty() ? nullptr : record(h.wrapperHandle)) {
            size_t key = findCode(*w, w->first, 6, "ACFD_FIELDTEXT_CHECKSUM");
            size_t real = findCode(*w, key, 140);
            if (key < w->end && real < w->end) {
                // A text and its field graph agree when this sum over the text matches.
                Record decoder;
                decoder.utf8Text = m_source.utf8;
                std::u16string t = h.type == "ACAD_TABLE" ? utf::toUtf16(text) : decoder.decode(text);
                double sum = 0;
                for (size_t i = 0; i < t.size(); ++i)
                    sum += static_cast<double>(i + 1) * t[i];
                replaceValue(real, realText(sum));
            }
        }
    }

    void writeCell(const Range& r, const Holder& h, const AcString& shown)
    {
        size_t p = findCode(r, r.first, 100, "AcDbTable");
        int seen = -1;
        size_t cell = r.end;
        for (; p < r.end; ++p)
            if (m_lines.code(p) == 171 && ++seen == h.cellIndex) {
                cell = p;
                break;
            }
        if (cell == r.end)
            return;
        Range c{cell, r.end};
        size_t next = findCode(c, cell + 1, 171);
        c.end = next;
        if (m_source.valueRecords()) {
            size_t v = findCode(c, cell, 301, "CELL_VALUE");
            if (v < c.end) {
                size_t end = std::min(findCode(c, v + 1, 304) + 1, c.end);
                AcValue value(shown.c_str());
                replace(v + 1, end, valueRecord(value, encode(shown, false), v + 1, end));
            }
        } else {
            size_t one = findCode(c, cell, 1);
            if (one < c.end) {
                size_t a = one;
                while (a > cell + 1 && (m_lines.code(a - 1) == 2 || m_lines.code(a - 1) == 3))
                    --a;
                replace(a, one + 1, textGroups(2, 1, encode(shown, false)));
            }
        }
    }

    // The cell's value in TABLECONTENT, when the cell holds one.
    void writeContentCell(const Range& r, const Holder& h, const AcString& shown)
    {
        int seen = -1;
        size_t cell = r.end;
        for (size_t p = r.first; p < r.end; ++p)
            if (m_lines.code(p) == 1 && trimmed(m_lines.value(p)) == "LINKEDTABLEDATACELL_BEGIN" &&
                ++seen == h.cellIndex) {
                cell = p;
                break;
            }
        if (cell == r.end)
            return;
        Range c{cell, findCode(r, cell, 309, "LINKEDTABLEDATACELL_END")};
        size_t v = findCode(c, cell, 300, "VALUE");
        if (v >= c.end)
            return;
        if (m_source.valueRecords()) {
            size_t end = std::min(findCode(c, v + 1, 304) + 1, c.end);
            AcValue value(shown.c_str());
            replace(v + 1, end, valueRecord(value, encode(shown, false), v + 1, end));
        } else if (v + 2 < c.end && m_lines.code(v + 1) == 90 && trimmed(m_lines.value(v + 1)) == "4" &&
                   m_lines.code(v + 2) == 1) {
            replaceValue(v + 2, encode(shown, false));
        }
    }

    std::string assemble()
    {
        std::stable_sort(m_edits.begin(), m_edits.end(), [](const Edit& a, const Edit& b) {
            return a.first != b.first ? a.first < b.first : a.end < b.end;
        });
        std::string out;
        out.reserve(m_lines.bytes.size() + 4096);
        size_t cursor = 0;  // group
        auto copy = [&](size_t from, size_t to) {
            if (to > from)
                out.append(m_lines.bytes, m_lines.start[2 * from], m_lines.start[2 * to] - m_lines.start[2 * from]);
        };
        for (const Edit& e : m_edits) {
            if (e.first < cursor)
                continue;  // overlaps one already made
            copy(cursor, e.first);
            out += e.text;
            cursor = e.end;
        }
        copy(cursor, m_lines.pairs());
        out.append(m_lines.bytes, m_lines.start[2 * m_lines.pairs()], std::string::npos);
        return out;
    }

    const AcDbDatabase& m_db;
    const Source& m_source;
    Lines m_lines;
    std::unordered_map<unsigned long long, Wanted> m_records;
    std::vector<std::function<void()>> m_jobs;
    std::vector<Edit> m_edits;
    std::vector<std::string> m_notes;
    bool m_stampUsed = false;
    // What a save adds.
    std::vector<const Holder*> m_converts;
    unsigned long long m_maxHandle = 0, m_next = 0;
    size_t m_handseedPair = 0, m_objectsFirst = 0, m_objectsEnd = 0, m_classesEnd = 0, m_appidEnd = 0;
    std::string m_rootDictionary, m_fieldList, m_appidTable, m_added;
    std::set<std::string> m_classes, m_appids;
    std::vector<std::string> m_newFields, m_classesWanted;
    std::vector<std::pair<std::string, std::string>> m_entryAdds;  // dictionary, entry groups
};

}  // namespace

WriteResult write(const AcDbDatabase& db)
{
    const Source* source = sourceOf(db);
    if (!source) {
        WriteResult r;
        r.error = "the drawing was not read from a DXF file, so it cannot be written as DXF";
        return r;
    }
    return Writer(db, *source).run();
}

std::string save(const AcDbDatabase& db, const std::string& path, std::vector<std::string>* notes)
{
    WriteResult r = write(db);
    if (!r.error.empty())
        return path + ": " + r.error;
    if (notes)
        *notes = r.notes;
    return drawingfile::writeAtomically(path, r.text);
}

}
