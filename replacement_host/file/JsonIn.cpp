// Typed reading of drawing-file objects; see the header.
#include "replacement_host/file/JsonIn.h"

#include "replacement_host/text/Utf.h"

#include <nlohmann/json.hpp>
#include <cmath>

namespace drawingfile {

void JsonIn::fail(const std::string& what) const { throw DrawingError(m_where + ": " + what); }

bool JsonIn::has(const char* key) const
{
    m_read->insert(key);
    return m_json.contains(key);
}

Json JsonIn::unreadKeys() const
{
    Json out = Json::object();
    if (m_json.is_object())
        for (auto& [key, value] : m_json.items())
            if (!m_read->count(key))
                out[key] = value;
    return out;
}

const Json& JsonIn::at(const char* key) const
{
    if (!has(key))
        fail(std::string("\"") + key + "\" is missing");
    return m_json[key];
}

double JsonIn::number(const char* key) const
{
    const Json& v = at(key);
    if (!v.is_number())
        fail(std::string("\"") + key + "\" must be a number");
    double d = v.get<double>();
    if (!std::isfinite(d))
        fail(std::string("\"") + key + "\" must be a finite number");
    return d;
}

double JsonIn::number(const char* key, double fallback) const { return has(key) ? number(key) : fallback; }

long long JsonIn::integer(const char* key, long long fallback) const
{
    if (!has(key))
        return fallback;
    const Json& v = m_json[key];
    if (!v.is_number_integer())
        fail(std::string("\"") + key + "\" must be a whole number");
    return v.get<long long>();
}

bool JsonIn::boolean(const char* key, bool fallback) const
{
    if (!has(key))
        return fallback;
    const Json& v = m_json[key];
    if (!v.is_boolean())
        fail(std::string("\"") + key + "\" must be true or false");
    return v.get<bool>();
}

AcString JsonIn::text(const char* key) const
{
    const Json& v = at(key);
    if (!v.is_string())
        fail(std::string("\"") + key + "\" must be a text");
    return utf::toUtf16(v.get_ref<const std::string&>());
}

AcString JsonIn::text(const char* key, const AcString& fallback) const { return has(key) ? text(key) : fallback; }

AcGePoint3d JsonIn::point(const char* key) const
{
    const Json& v = at(key);
    if (!v.is_array() || v.size() < 2 || v.size() > 3)
        fail(std::string("\"") + key + "\" must be a point [x, y] or [x, y, z]");
    double c[3] = {0, 0, 0};
    for (size_t i = 0; i < v.size(); ++i) {
        if (!v[i].is_number() || !std::isfinite(v[i].get<double>()))
            fail(std::string("\"") + key + "\" must hold finite numbers");
        c[i] = v[i].get<double>();
    }
    return {c[0], c[1], c[2]};
}

AcGePoint3d JsonIn::point(const char* key, const AcGePoint3d& fallback) const
{
    return has(key) ? point(key) : fallback;
}

const Json& JsonIn::array(const char* key) const
{
    static const Json empty = Json::array();
    if (!has(key))
        return empty;
    const Json& v = m_json[key];
    if (!v.is_array())
        fail(std::string("\"") + key + "\" must be an array");
    return v;
}

AcDbObjectId JsonIn::objectIdOrNull(const char* key) const
{
    if (!has(key) || m_json[key].is_null())
        return AcDbObjectId();
    return objectId(key);
}

AcDbObjectId JsonIn::objectId(const char* key) const
{
    const Json& v = at(key);
    AcDbHandle handle;
    if (!v.is_string() || !parseHandle(v.get<std::string>(), handle))
        fail(std::string("\"") + key + "\" must be a handle (hexadecimal text)");
    AcDbObjectId id;
    if (m_db->getAcDbObjectId(id, false, handle) != Acad::eOk)
        fail(std::string("\"") + key + "\" names handle " + v.get<std::string>() + ", which no object has");
    return id;
}

bool parseHandle(const std::string& text, AcDbHandle& handle)
{
    if (text.empty() || text.size() > 16)
        return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    handle = AcDbHandle(std::stoull(text, nullptr, 16));
    return !handle.isNull();
}

Json pointJson(const AcGePoint3d& p) { return Json::array({p.x, p.y, p.z}); }

std::string utf8(const AcString& text) { return utf::toUtf8(text); }

}
