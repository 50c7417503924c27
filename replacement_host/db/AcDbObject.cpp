// Database objects, entities and curves: identity, ownership, erasure and the
// open count that every open raises and every close lowers.
#include "host/acutads.h"
#include "host/dbarc.h"
#include "host/dbcircle.h"
#include "host/dbmain.h"
#include "replacement_host/db/ObjectRegistry.h"
#include "replacement_host/text/TextCase.h"

#include <cstring>
#include <unordered_set>

ACRX_DEFINE_MEMBERS(AcDbObject, AcRxObject)
ACRX_DEFINE_MEMBERS(AcDbEntity, AcDbObject)
ACRX_DEFINE_MEMBERS(AcDbCurve, AcDbEntity)

struct AcDbObject::Extra {
    std::map<AcString, AcString> xdata;
    std::string keptKeys;
};

AcDbObject::AcDbObject() = default;
AcDbObject::~AcDbObject() = default;

namespace {
// Layer names, each held once for the life of the process: entities of any
// drawing point into it, and a drawing names few layers. Never freed, so
// no entity outlives its name at exit. The database is used from one thread.
const AcString* internLayer(std::u16string_view name)
{
    static auto* pool = new std::unordered_set<AcString, std::hash<std::u16string>>;
    static const AcString* last = nullptr;
    if (last && *last == name)
        return last;
    last = &*pool->emplace(name).first;
    return last;
}
}

const AcString* AcDbEntity::layerZero()
{
    static const AcString* zero = internLayer(u"0");
    return zero;
}

const std::map<AcString, AcString>& AcDbObject::xdata() const
{
    static const std::map<AcString, AcString> none;
    return m_extra ? m_extra->xdata : none;
}

void AcDbObject::setXdataText(const AcString& appName, AcString text)
{
    if (!m_extra)
        m_extra = std::make_unique<Extra>();
    m_extra->xdata[appName] = std::move(text);
}

void AcDbObject::hostSetKeptKeys(std::string json)
{
    if (!m_extra && json.empty())
        return;
    if (!m_extra)
        m_extra = std::make_unique<Extra>();
    m_extra->keptKeys = std::move(json);
}

const std::string& AcDbObject::hostKeptKeys() const
{
    static const std::string none;
    return m_extra ? m_extra->keptKeys : none;
}

bool AcDbObject::hostGetProperty(std::u16string_view name, AcValue& value) const
{
    if (hosttext::equalsIgnoreCase(name, u"Handle"))
        return value.set(m_handle.text().c_str());
    if (hosttext::equalsIgnoreCase(name, u"ObjectName"))
        return value.set(isA()->name());
    if (auto* ent = AcDbEntity::cast(this); ent && hosttext::equalsIgnoreCase(name, u"Layer"))
        return value.set(ent->layerName().c_str());
    if (auto* curve = AcDbCurve::cast(this); curve && hosttext::equalsIgnoreCase(name, u"Area")) {
        double area = 0.0;
        return curve->getArea(area) == Acad::eOk && value.set(area);
    }
    if (auto* curve = AcDbCurve::cast(this); curve && hosttext::equalsIgnoreCase(name, u"Length")) {
        double length = 0.0;
        return curve->getLength(length) == Acad::eOk && value.set(length);
    }
    if (hosttext::equalsIgnoreCase(name, u"Radius")) {
        if (auto* circle = AcDbCircle::cast(this))
            return value.set(circle->radius());
        if (auto* arc = AcDbArc::cast(this))
            return value.set(arc->radius());
    }
    return false;
}

Acad::ErrorStatus AcDbObject::setOwnerId(AcDbObjectId owner)
{
    m_ownerId = owner;
    return Acad::eOk;
}

Acad::ErrorStatus AcDbObject::erase(bool erasing)
{
    m_erased = erasing;
    hostdb::g_anyErased = hostdb::g_anyErased || erasing;
    return Acad::eOk;
}

Acad::ErrorStatus AcDbObject::close()
{
    if (m_openCount > 0)
        --m_openCount;
    return Acad::eOk;
}

bool AcDbObject::getXdataText(const AcString& appName, AcString& text) const
{
    if (!m_extra)
        return false;
    auto it = m_extra->xdata.find(appName);
    if (it == m_extra->xdata.end())
        return false;
    text = it->second;
    return true;
}

void AcDbObject::hostSetIdentity(AcDbDatabase* db, AcDbObjectId id, AcDbHandle handle)
{
    m_database = db;
    m_id = id;
    m_handle = handle;
}

ACHAR* AcDbEntity::layer() const
{
    auto* copy = new ACHAR[m_layer->size() + 1];
    std::copy(m_layer->begin(), m_layer->end(), copy);
    copy[m_layer->size()] = 0;
    return copy;
}

Acad::ErrorStatus AcDbEntity::setLayer(const ACHAR* name)
{
    if (!name || !*name)
        return Acad::eInvalidInput;
    m_layer = internLayer(name);
    return Acad::eOk;
}

Acad::ErrorStatus AcDbEntity::getGeomExtents(AcDbExtents&) const { return Acad::eInvalidExtents; }

Acad::ErrorStatus AcDbCurve::getArea(double& area) const
{
    area = 0.0;
    return Acad::eOk;
}

Acad::ErrorStatus AcDbCurve::getLength(double& length) const
{
    length = 0.0;
    return Acad::eNotApplicable;
}

void acutDelBuffer(ACHAR*& buffer)
{
    delete[] buffer;
    buffer = nullptr;
}
