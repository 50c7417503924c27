// Typed reading of drawing-file objects; see the header.
#include "replacement_host/file/JsonIn.h"

#include "replacement_host/text/Utf.h"

#include <nlohmann/json.hpp>
#include <algorithm>
#include <bit>
#include <cmath>
#include <unordered_map>

namespace drawingfile {

namespace {
// A key as messages show it; built in steps, as GCC 12's -O3 misreads literal + string.
std::string quoted(std::string_view key)
{
    std::string out;
    out.reserve(key.size() + 2);
    out += '"';
    out += key;
    out += '"';
    return out;
}
}

long long JsonValue::integer() const
{
    // Above the signed range it wraps, as nlohmann's get<long long> did.
    if (m_element.is_uint64())
        return static_cast<long long>(m_element.get_uint64().value_unsafe());
    return m_element.get_int64().value_unsafe();
}

std::vector<JsonValue> JsonValue::elements() const
{
    std::vector<JsonValue> out;
    simdjson::dom::array a;
    if (!m_present || m_element.get(a))
        return out;
    out.reserve(a.size());
    for (simdjson::dom::element e : a)
        out.emplace_back(e);
    return out;
}

size_t JsonValue::size() const
{
    simdjson::dom::array a;
    return m_present && !m_element.get(a) ? a.size() : 0;
}

JsonValue JsonValue::operator[](std::string_view key) const
{
    JsonValue found;
    simdjson::dom::object o;
    if (m_present && !m_element.get(o))
        for (simdjson::dom::key_value_pair member : o)
            if (member.key == key)
                found = JsonValue(member.value);
    return found;
}

std::vector<std::pair<std::string_view, JsonValue>> JsonValue::members() const
{
    std::vector<std::pair<std::string_view, JsonValue>> out;
    simdjson::dom::object o;
    if (!m_present || m_element.get(o))
        return out;
    out.reserve(o.size());
    // A few keys are searched; many are indexed, so an object of a great
    // many keys costs no more than one pass.
    const bool indexed = o.size() > 16;
    std::unordered_map<std::string_view, size_t> index;
    for (simdjson::dom::key_value_pair member : o) {
        size_t at = out.size();
        if (indexed)
            at = index.emplace(member.key, at).first->second;
        else
            at = static_cast<size_t>(
                std::find_if(out.begin(), out.end(), [&](const auto& m) { return m.first == member.key; }) -
                out.begin());
        if (at == out.size())
            out.emplace_back(member.key, JsonValue(member.value));
        else
            out[at].second = JsonValue(member.value);
    }
    return out;
}

Json JsonValue::toJson() const
{
    // The parser's depth limit bounds this recursion.
    if (!m_present)
        return Json();
    switch (m_element.type()) {
    case simdjson::dom::element_type::ARRAY: {
        Json out = Json::array();
        for (const JsonValue& e : elements())
            out.push_back(e.toJson());
        return out;
    }
    case simdjson::dom::element_type::OBJECT: {
        Json out = Json::object();
        for (const auto& [key, value] : members())
            out[std::string(key)] = value.toJson();
        return out;
    }
    case simdjson::dom::element_type::INT64: return m_element.get_int64().value_unsafe();
    case simdjson::dom::element_type::UINT64: return m_element.get_uint64().value_unsafe();
    case simdjson::dom::element_type::DOUBLE: return m_element.get_double().value_unsafe();
    case simdjson::dom::element_type::STRING: return std::string(string());
    case simdjson::dom::element_type::BOOL: return boolean();
    case simdjson::dom::element_type::NULL_VALUE: break;
    }
    return Json();
}

std::string JsonIn::where() const
{
    if (m_parent)
        return m_parent->where() + m_where;
    if (!m_place.file)
        return m_where;
    std::string out = *m_place.file + ": objects[" + std::to_string(m_place.index) + "]";
    if (!m_place.handle.isNull())
        out += " (" + std::string(m_place.type) + " " + utf8(m_place.handle.text()) + ")";
    return out;
}

void JsonIn::fail(const std::string& what) const { throw DrawingError(where() + ": " + what); }

void JsonIn::walkKeys(simdjson::dom::object o) const
{
    m_read.walked = true;
    // Whether a key repeats is told exactly in small objects: a key whose
    // bit is taken is compared with those before it. A large object is
    // searched to its end, as it may repeat any key.
    constexpr size_t kCompared = 32;
    size_t n = 0;
    for (auto it = o.begin(); it != o.end(); ++it, ++n) {
        const std::string_view key = it.key();
        const std::uint64_t bit = keyBit(key);
        if ((m_read.keys & bit) && !m_read.repeats) {
            if (n >= kCompared)
                m_read.repeats = true;
            else
                for (auto before = o.begin(); before != it && !m_read.repeats; ++before)
                    m_read.repeats = before.key_equals(key);
        }
        m_read.keys |= bit;
    }
    m_read.count = static_cast<std::uint32_t>(n);
}

JsonValue JsonIn::search(std::string_view key, bool mark) const
{
    JsonValue found;
    simdjson::dom::object o;
    if (!m_json.m_present || m_json.m_element.get(o))
        return found;
    if (!m_read.walked)
        walkKeys(o);
    const std::string_view wanted = key;
    if (!(m_read.keys & keyBit(wanted)))
        return found;
    size_t i = 0;
    for (auto it = o.begin(); it != o.end(); ++it, ++i) {
        if (!it.key_equals(wanted))
            continue;
        found = JsonValue(it.value());
        if (mark) {
            if (i < 64) {
                m_read.first |= std::uint64_t{1} << i;
            } else {
                if (!m_read.more)
                    m_read.more = std::make_unique<std::vector<bool>>();
                if (m_read.more->size() <= i - 64)
                    m_read.more->resize(i - 63);
                (*m_read.more)[i - 64] = true;
            }
        }
        if (!m_read.repeats)
            break;
    }
    return found;
}

bool JsonIn::has(std::string_view key) const { return find(key).present(); }

Json JsonIn::unreadKeys() const
{
    // Null, which is empty, until a key is kept: most objects keep none.
    Json out;
    // Every member read, as in most objects: nothing to look through. A
    // walked object tells its count without being looked at again.
    auto allRead = [this](size_t members) {
        return members <= 64 && static_cast<size_t>(std::popcount(m_read.first)) == members;
    };
    if (m_read.walked && allRead(m_read.count))
        return out;
    simdjson::dom::object o;
    if (!m_json.m_present || m_json.m_element.get(o))
        return out;
    if (allRead(o.size()))
        return out;
    // Added to the object's list of members directly, each key's place
    // indexed here: a search per key would make many kept keys quadratic.
    Json::object_t::Container* kept = nullptr;
    std::unordered_map<std::string_view, size_t> placeOf;
    size_t i = 0;
    for (simdjson::dom::key_value_pair member : o) {
        bool read = i < 64 ? (m_read.first >> i & 1) != 0
                           : m_read.more && i - 64 < m_read.more->size() && (*m_read.more)[i - 64];
        ++i;
        if (read)
            continue;
        if (!kept) {
            out = Json::object();
            kept = &out.get_ref<Json::object_t&>();
        }
        // A key given twice keeps its first place and takes its last value.
        auto [at, fresh] = placeOf.emplace(member.key, kept->size());
        if (fresh)
            kept->emplace_back(std::string(member.key), JsonValue(member.value).toJson());
        else
            (*kept)[at->second].second = JsonValue(member.value).toJson();
    }
    return out;
}

JsonValue JsonIn::at(std::string_view key) const
{
    JsonValue v = find(key);
    if (!v.present())
        fail(quoted(key) + " is missing");
    return v;
}

double JsonIn::numberOf(std::string_view key, JsonValue v) const
{
    if (!v.isNumber())
        fail(quoted(key) + " must be a number");
    double d = v.number();
    if (!std::isfinite(d))
        fail(quoted(key) + " must be a finite number");
    return d;
}

double JsonIn::number(std::string_view key) const { return numberOf(key, at(key)); }

double JsonIn::number(std::string_view key, double fallback) const
{
    JsonValue v = find(key);
    return v.present() ? numberOf(key, v) : fallback;
}

long long JsonIn::integer(std::string_view key, long long fallback) const
{
    JsonValue v = find(key);
    if (!v.present())
        return fallback;
    if (!v.isInteger())
        fail(quoted(key) + " must be a whole number");
    return v.integer();
}

bool JsonIn::boolean(std::string_view key, bool fallback) const
{
    JsonValue v = find(key);
    if (!v.present())
        return fallback;
    if (!v.isBool())
        fail(quoted(key) + " must be true or false");
    return v.boolean();
}

AcString JsonIn::textOf(std::string_view key, JsonValue v) const
{
    if (!v.isString())
        fail(quoted(key) + " must be a text");
    return utf::toUtf16(v.string());
}

AcString JsonIn::text(std::string_view key) const { return textOf(key, at(key)); }

AcString JsonIn::textToZero(std::string_view key) const
{
    const JsonValue v = at(key);
    if (!v.isString())
        fail(quoted(key) + " must be a text");
    const std::string_view s = v.string();
    return utf::toUtf16(s.substr(0, s.find('\0')));
}

AcString JsonIn::text(std::string_view key, const AcString& fallback) const
{
    JsonValue v = find(key);
    return v.present() ? textOf(key, v) : fallback;
}

AcGePoint3d JsonIn::pointOf(std::string_view key, JsonValue v) const
{
    simdjson::dom::array xyz;
    if (!v.m_present || v.m_element.get(xyz) || xyz.size() < 2 || xyz.size() > 3)
        fail(quoted(key) + " must be a point [x, y] or [x, y, z]");
    double c[3] = {0, 0, 0};
    size_t i = 0;
    for (simdjson::dom::element e : xyz) {
        if (e.get_double().get(c[i]) || !std::isfinite(c[i]))
            fail(quoted(key) + " must hold finite numbers");
        ++i;
    }
    return {c[0], c[1], c[2]};
}

AcGePoint3d JsonIn::point(std::string_view key) const { return pointOf(key, at(key)); }

AcGePoint3d JsonIn::point(std::string_view key, const AcGePoint3d& fallback) const
{
    JsonValue v = find(key);
    return v.present() ? pointOf(key, v) : fallback;
}

std::vector<JsonValue> JsonIn::array(std::string_view key) const
{
    JsonValue v = find(key);
    if (!v.present())
        return {};
    if (!v.isArray())
        fail(quoted(key) + " must be an array");
    return v.elements();
}

AcDbObjectId JsonIn::objectIdOrNull(std::string_view key) const
{
    JsonValue v = find(key);
    return v.isNull() ? AcDbObjectId() : objectIdOf(key, v);
}

AcDbObjectId JsonIn::objectId(std::string_view key) const { return objectIdOf(key, at(key)); }

AcDbObjectId JsonIn::objectIdOf(std::string_view key, JsonValue v) const
{
    AcDbHandle handle;
    if (!v.isString() || !parseHandle(v.string(), handle))
        fail(quoted(key) + " must be a handle (hexadecimal text)");
    AcDbObjectId id;
    if (m_db->getAcDbObjectId(id, false, handle) != Acad::eOk)
        fail(quoted(key) + " names handle " + std::string(v.string()) + ", which no object has");
    return id;
}

bool parseHandle(std::string_view text, AcDbHandle& handle)
{
    if (text.empty() || text.size() > 16)
        return false;
    Adesk::UInt64 value = 0;
    for (char c : text) {
        int digit = c >= '0' && c <= '9' ? c - '0'
            : c >= 'a' && c <= 'f'       ? c - 'a' + 10
            : c >= 'A' && c <= 'F'       ? c - 'A' + 10
                                         : -1;
        if (digit < 0)
            return false;
        value = value << 4 | static_cast<Adesk::UInt64>(digit);
    }
    handle = AcDbHandle(value);
    return !handle.isNull();
}

Json pointJson(const AcGePoint3d& p) { return Json::array({p.x, p.y, p.z}); }

std::string utf8(const AcString& text) { return utf::toUtf8(text); }

}
