// Reading one object of a drawing file: typed getters that name the object
// and the key in every error, so a user can find what is wrong.
#pragma once

#include "host/AcString.h"
#include "host/dbmain.h"
#include "host/geometry.h"

// Declarations only: the full JSON header is for the files that use it.
#include <nlohmann/json_fwd.hpp>

#include <memory>
#include <set>
#include <stdexcept>
#include <string>

namespace drawingfile {

using Json = nlohmann::ordered_json;

// A problem in the drawing file; the message names where it is.
struct DrawingError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class JsonIn {
public:
    JsonIn(const Json& json, std::string where, AcDbDatabase* db)
        : m_json(json), m_where(std::move(where)), m_db(db), m_read(std::make_shared<std::set<std::string>>())
    {
    }

    const Json& json() const { return m_json; }
    const std::string& where() const { return m_where; }
    AcDbDatabase* database() const { return m_db; }
    bool has(const char* key) const;
    // The keys of the object that nothing has asked for, as an object; copies
    // of this reader share what was asked.
    Json unreadKeys() const;

    double number(const char* key) const;
    double number(const char* key, double fallback) const;
    long long integer(const char* key, long long fallback) const;
    bool boolean(const char* key, bool fallback) const;
    AcString text(const char* key) const;
    AcString text(const char* key, const AcString& fallback) const;
    AcGePoint3d point(const char* key) const;
    AcGePoint3d point(const char* key, const AcGePoint3d& fallback) const;
    // An array under the key; an absent key gives an empty array.
    const Json& array(const char* key) const;
    // The object of the drawing whose handle stands under the key.
    AcDbObjectId objectId(const char* key) const;
    AcDbObjectId objectIdOrNull(const char* key) const;

    JsonIn child(const Json& json, const std::string& suffix) const { return JsonIn(json, m_where + suffix, m_db); }
    [[noreturn]] void fail(const std::string& what) const;

private:
    const Json& at(const char* key) const;
    const Json& m_json;
    std::string m_where;
    AcDbDatabase* m_db;
    std::shared_ptr<std::set<std::string>> m_read;
};

// Handle text: 1 to 16 hexadecimal digits, not zero.
bool parseHandle(const std::string& text, AcDbHandle& handle);

Json pointJson(const AcGePoint3d& p);
std::string utf8(const AcString& text);

}
