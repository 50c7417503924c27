// Current property values of dynamic block references. The reference's
// extension dictionary holds AcDbBlockRepresentation: AcDbRepData names the
// dynamic definition, AppDataCache / ACAD_ENHANCEDBLOCKDATA holds one XRECORD
// per parameter node of the definition's evaluation graph. Read: visibility
// (the state name), linear (the distance between the first two points),
// rotation (the angle from the first point to the second, in radians) and
// flip (the last 70, 0 or 1). Other parameters are left out: what their
// records hold is not known well enough.
#include "replacement_host/dxf/DxfFieldRecord.h"
#include "replacement_host/HostAccess.h"

#include "host/dbblkref.h"
#include "host/dbsymtb.h"

#include <charconv>
#include <cmath>
#include <map>
#include <numbers>

namespace dxf {

namespace {

struct Parameter {
    std::string kind;  // "visibility", "linear", "rotation", "flip"
    AcString name;
};

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// The parameters of an evaluation graph, by node id.
std::map<long long, Parameter> parametersOf(const std::unordered_map<unsigned long long, StoredRecord>& records,
                                            unsigned long long graph, const Record& decoder)
{
    static const std::map<std::string, std::pair<std::string, std::pair<const char*, int>>> kinds = {
        {"BLOCKVISIBILITYPARAMETER", {"visibility", {"AcDbBlockVisibilityParameter", 301}}},
        {"BLOCKLINEARPARAMETER", {"linear", {"AcDbBlockLinearParameter", 305}}},
        {"BLOCKROTATIONPARAMETER", {"rotation", {"AcDbBlockRotationParameter", 305}}},
        {"BLOCKFLIPPARAMETER", {"flip", {"AcDbBlockFlipParameter", 305}}},
    };
    std::map<long long, Parameter> out;
    for (auto& [handle, rec] : records) {
        auto kind = kinds.find(rec.type);
        if (kind == kinds.end())
            continue;
        const Record::Item* owner = nullptr;
        long long node = -1;
        std::string part;
        AcString name;
        for (const Record::Item& item : rec.items) {
            if (item.code == 330 && !owner)
                owner = &item;
            else if (item.code == 100)
                part = item.value;
            else if (item.code == 90 && part == "AcDbEvalExpr" && node < 0) {
                std::string_view v = trimmed(item.value);
                std::from_chars(v.data(), v.data() + v.size(), node);
            } else if (item.code == kind->second.second.second && part == kind->second.second.first && name.empty())
                name = decoder.decode(item.value);
        }
        if (owner && parseHex(owner->value) == graph && node >= 0 && !name.empty())
            out[node] = {kind->second.first, name};
    }
    return out;
}

// The value a parameter's XRECORD holds; false when it holds none readable.
bool valueOf(const StoredRecord& rec, const Parameter& p, const Record& decoder, AcDbEvalVariant& value)
{
    std::vector<double> coords;
    const Record::Item* lastFlag = nullptr;
    const Record::Item* text = nullptr;
    bool body = false;
    int header70 = 0;
    for (const Record::Item& item : rec.items) {
        if (item.code == 100 && item.value == "AcDbXrecord") {
            body = true;
            continue;
        }
        if (!body)
            continue;
        if (item.code == 10 || item.code == 20 || item.code == 30) {
            double v = 0;
            std::string_view s = trimmed(item.value);
            if (std::from_chars(s.data(), s.data() + s.size(), v).ec != std::errc())
                return false;
            coords.push_back(v);
        } else if (item.code == 70) {
            // The first two 70s are the record's header.
            if (++header70 > 2)
                lastFlag = &item;
        } else if (item.code == 1 && !text) {
            text = &item;
        }
    }
    if (p.kind == "visibility") {
        if (!text)
            return false;
        value = AcDbEvalVariant(decoder.decode(text->value).c_str());
        return true;
    }
    if (p.kind == "flip") {
        if (!lastFlag)
            return false;
        long long v = 0;
        std::string_view s = trimmed(lastFlag->value);
        std::from_chars(s.data(), s.data() + s.size(), v);
        value = AcDbEvalVariant(static_cast<Adesk::Int16>(v));
        return true;
    }
    if (coords.size() < 6)
        return false;
    double dx = coords[3] - coords[0], dy = coords[4] - coords[1], dz = coords[5] - coords[2];
    if (p.kind == "linear") {
        value = AcDbEvalVariant(std::sqrt(dx * dx + dy * dy + dz * dz));
        return true;
    }
    double angle = std::atan2(dy, dx);
    if (angle < 0)
        angle += 2 * std::numbers::pi;
    value = AcDbEvalVariant(angle);
    return true;
}

}  // namespace

void FileObjects::noteInsert(AcDbBlockReference* ref, const Record& record)
{
    if (!record.xdictionary.empty())
        m_inserts.push_back({ref, record.xdictionary});
}

void FileObjects::noteBlockRecord(const Record& record)
{
    if (!record.xdictionary.empty())
        m_blockDictionaries[parseHex(record.text(5))] = record.xdictionary;
}

void FileObjects::finishInserts(AcDbDatabase& db, const Resolve& resolve, const Record& decoder)
{
    std::map<unsigned long long, std::map<long long, Parameter>> graphs;
    for (const PendingInsert& insert : m_inserts) {
        std::string representation = dictionaryEntry(*this, insert.xdictionary, "AcDbBlockRepresentation");
        if (representation.empty())
            continue;
        const StoredRecord* data = find(dictionaryEntry(*this, representation, "AcDbRepData"));
        std::string cache = dictionaryEntry(*this, representation, "AppDataCache");
        std::string states = cache.empty() ? std::string() : dictionaryEntry(*this, cache, "ACAD_ENHANCEDBLOCKDATA");
        if (!data || states.empty())
            continue;
        unsigned long long definition = 0;
        for (const Record::Item& item : data->items)
            if (item.code == 340)
                definition = parseHex(item.value);
        auto dictionary = m_blockDictionaries.find(definition);
        if (dictionary == m_blockDictionaries.end())
            continue;
        unsigned long long graph = parseHex(dictionaryEntry(*this, dictionary->second, "ACAD_ENHANCEDBLOCK"));
        if (!graphs.count(graph))
            graphs[graph] = parametersOf(m_records, graph, decoder);
        const StoredRecord* statesRecord = find(states);
        if (!statesRecord)
            continue;
        std::vector<HostAccess::DynamicProperty> properties;
        for (auto& [key, handle] : dictionaryEntries(*statesRecord)) {
            long long node = -1;
            std::from_chars(key.data(), key.data() + key.size(), node);
            auto p = graphs[graph].find(node);
            const StoredRecord* rec = find(handle);
            AcDbEvalVariant value;
            if (p != graphs[graph].end() && rec && valueOf(*rec, p->second, decoder, value))
                properties.push_back({p->second.name, value});
        }
        if (properties.empty())
            continue;
        // The reference shows the definition or an anonymous copy of it; both are dynamic.
        auto* defined = AcDbBlockTableRecord::cast(HostAccess::objectAt(db, resolve(definition)));
        auto* shown = AcDbBlockTableRecord::cast(HostAccess::objectAt(db, insert.ref->blockTableRecord()));
        if (!defined || !shown)
            continue;
        defined->setIsDynamicBlock(true);
        if (shown != defined && shown->dynamicBlockId().isNull())
            shown->setDynamicBlockId(defined->objectId());
        HostAccess::hostSetDynamicProperties(*insert.ref, std::move(properties));
    }
}

}
