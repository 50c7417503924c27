// Reading one object of a drawing file: typed getters that name the object
// and the key in every error, so a user can find what is wrong. Values are
// views into the document simdjson parsed (DrawingFile.cpp says why
// simdjson); writing builds nlohmann::json objects, declared here only.
#pragma once

#include "host/AcString.h"
#include "host/dbmain.h"
#include "host/geometry.h"

#include <nlohmann/json_fwd.hpp>
#include <simdjson.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace drawingfile {

using Json = nlohmann::ordered_json;

// A problem in the drawing file; the message names where it is.
struct DrawingError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A value of the file as parsed, valid while its document lives; an absent
// one reads as null. Of a key given twice in one object the last counts, as
// it always has.
class JsonValue {
public:
    JsonValue() = default;
    explicit JsonValue(simdjson::dom::element e) : m_element(e), m_present(true) {}

    bool present() const { return m_present; }
    bool isNull() const { return !m_present || m_element.is_null(); }
    bool isObject() const { return m_present && m_element.is_object(); }
    bool isArray() const { return m_present && m_element.is_array(); }
    bool isString() const { return m_present && m_element.is_string(); }
    bool isBool() const { return m_present && m_element.is_bool(); }
    bool isNumber() const { return m_present && m_element.is_number(); }
    // A number written without fraction or exponent.
    bool isInteger() const { return m_present && (m_element.is_int64() || m_element.is_uint64()); }

    // These take a value of their type; the caller has asked.
    double number() const { return m_element.get_double().value_unsafe(); }
    long long integer() const;
    bool boolean() const { return m_element.get_bool().value_unsafe(); }
    std::string_view string() const { return m_element.get_string().value_unsafe(); }
    // The elements of an array, in order; none for anything else.
    std::vector<JsonValue> elements() const;
    // Calls f with each element of an array, in order; with none for anything else.
    template <class F> void eachElement(F&& f) const
    {
        simdjson::dom::array a;
        if (m_present && !m_element.get(a))
            for (simdjson::dom::element e : a)
                f(JsonValue(e));
    }
    // Calls f with each key and value of an object, as written, a key given
    // twice twice; with none for anything else.
    template <class F> void eachMember(F&& f) const
    {
        simdjson::dom::object o;
        if (m_present && !m_element.get(o))
            for (simdjson::dom::key_value_pair m : o)
                f(m.key, JsonValue(m.value));
    }
    size_t size() const;

    // The value under the key in an object, or an absent one.
    JsonValue operator[](std::string_view key) const;
    // The members of an object: each key once, at its first place, with its last value.
    std::vector<std::pair<std::string_view, JsonValue>> members() const;
    // A copy as nlohmann JSON, for what is kept to be written again.
    Json toJson() const;

private:
    friend class JsonIn;
    simdjson::dom::element m_element;
    bool m_present = false;
};

// An object of a drawing's list: its place, kind and handle, put into
// words only for a message.
struct ObjectPlace {
    const std::string* file = nullptr;
    size_t index = 0;
    std::string_view type;
    AcDbHandle handle;
};

// What of an object its readers asked for, kept while no reader of it is,
// with what one walk over its keys learnt: a key whose bit is clear in keys
// is not there, and a key found ends the search unless some key repeats.
struct ReadMarks {
    std::uint64_t first = 0;                  // bit i: the i-th member
    std::uint64_t keys = 0;                   // a bit per key of the object, by keyBit
    std::uint32_t count = 0;                  // members of the object
    bool walked = false;                      // keys, count and repeats are known
    bool repeats = false;                     // some key may be given twice
    std::unique_ptr<std::vector<bool>> more;  // beyond the first 64, seldom any
};

// The bit of ReadMarks::keys a key sets: of its length and its first and
// last bytes, which tell the keys of a drawing apart well enough.
inline std::uint64_t keyBit(std::string_view key)
{
    if (key.empty())
        return 1;
    const std::uint32_t h = static_cast<std::uint32_t>(key.size()) * 0x9E3779B1u ^
        static_cast<unsigned char>(key.front()) * 0x85EBCA77u ^ static_cast<unsigned char>(key.back()) * 0xC2B2AE3Du;
    return std::uint64_t{1} << ((h * 0x27D4EB2Fu) >> 26);
}

class JsonIn {
public:
    JsonIn(JsonValue json, std::string where, AcDbDatabase* db) : m_json(json), m_where(std::move(where)), m_db(db) {}
    JsonIn(JsonValue json, const ObjectPlace& place, AcDbDatabase* db, ReadMarks read = {})
        : m_json(json), m_db(db), m_place(place), m_read(std::move(read))
    {
    }
    // What was asked of this reader, for a later one of the same object.
    ReadMarks takeReadMarks() { return std::move(m_read); }
    // One reader per object, so what was asked is known in one place.
    JsonIn(const JsonIn&) = delete;
    JsonIn& operator=(const JsonIn&) = delete;
    JsonIn(JsonIn&&) = default;
    JsonIn& operator=(JsonIn&&) = default;

    JsonValue json() const { return m_json; }
    std::string where() const;
    AcDbDatabase* database() const { return m_db; }
    bool has(std::string_view key) const;
    // The value under the key, marked read; absent when there is none.
    JsonValue get(std::string_view key) const { return find(key); }
    // The value under the key, not marked read.
    JsonValue peek(std::string_view key) const { return find(key, false); }
    void setPlace(const ObjectPlace& place) { m_place = place; }
    // The keys of the object that nothing has asked for, as an object (null
    // when there are none).
    Json unreadKeys() const;

    double number(std::string_view key) const;
    double number(std::string_view key, double fallback) const;
    long long integer(std::string_view key, long long fallback) const;
    bool boolean(std::string_view key, bool fallback) const;
    AcString text(std::string_view key) const;
    // The text under the key up to its first zero character, where a host text ends.
    AcString textToZero(std::string_view key) const;
    AcString text(std::string_view key, const AcString& fallback) const;
    AcGePoint3d point(std::string_view key) const;
    AcGePoint3d point(std::string_view key, const AcGePoint3d& fallback) const;
    // The elements of an array under the key; an absent key gives none.
    std::vector<JsonValue> array(std::string_view key) const;
    // The object of the drawing whose handle stands under the key.
    AcDbObjectId objectId(std::string_view key) const;
    AcDbObjectId objectIdOrNull(std::string_view key) const;

    // A value inside this one, named by this one's place and the suffix, made
    // only for a message; it must not outlive this reader.
    JsonIn child(JsonValue json, std::string suffix) const
    {
        JsonIn c(json, std::move(suffix), m_db);
        c.m_parent = this;
        return c;
    }
    [[noreturn]] void fail(const std::string& what) const;

private:
    // The value under the key, each member of that key marked read; absent
    // when there is none.
    JsonValue find(std::string_view key, bool mark = true) const
    {
        // A key the object lacks, as most asked for, is told without a search.
        if (m_read.walked && !(m_read.keys & keyBit(key)))
            return {};
        return search(key, mark);
    }
    JsonValue search(std::string_view key, bool mark) const;
    // Learns the object's keys, once.
    void walkKeys(simdjson::dom::object o) const;
    JsonValue at(std::string_view key) const;
    // The getters' checks of a value found under the key.
    double numberOf(std::string_view key, JsonValue v) const;
    AcString textOf(std::string_view key, JsonValue v) const;
    AcGePoint3d pointOf(std::string_view key, JsonValue v) const;
    AcDbObjectId objectIdOf(std::string_view key, JsonValue v) const;
    JsonValue m_json;
    std::string m_where;  // after the parent's, when there is one
    AcDbDatabase* m_db;
    const JsonIn* m_parent = nullptr;
    ObjectPlace m_place;  // used when it names a file
    mutable ReadMarks m_read;
};

// Handle text: 1 to 16 hexadecimal digits, not zero.
bool parseHandle(std::string_view text, AcDbHandle& handle);

Json pointJson(const AcGePoint3d& p);
std::string utf8(const AcString& text);

}
