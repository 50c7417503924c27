// AsdkBlockCountEvaluator: see the header. The walk visits every block
// definition that is listed or anonymous (anonymous copies of dynamic blocks
// hold their changed references), takes its references, filters them by
// space, window and layer, and counts each as a dynamic, plain or nested one.
#include "blockcount/AsdkBlockCountEvaluator.h"

#include "app/EvaluatorFrame.h"
#include "blockcount/BlockCountCode.h"
#include "blockcount/LeadingNumber.h"
#include "host/dbapserv.h"
#include "host/dbattr.h"
#include "host/dbblkref.h"
#include "host/dbdynblk.h"
#include "host/dbsymtb.h"
#include "util/TextCase.h"

#include <cstdio>
#include <unordered_map>

namespace {

// The definition being walked.
struct CurrentRecord {
    AcDbObjectId id;
    bool listed = false;
    // References met through a block that holds this one count only when
    // this record is listed, or is an anonymous copy of a listed dynamic block.
    bool nestedCounts = false;
};

// A \value test with its operator read and, for the numeric ones, its
// number taken once per walk rather than once per attribute.
class ValueTest {
public:
    ValueTest(std::u16string_view expected, std::u16string_view op) : m_expected(expected)
    {
        using textcase::equalsIgnoreCase;
        const double t = AcGeContext::gTol.equalPoint();
        if (equalsIgnoreCase(op, u">="))
            m_kind = kAbove, m_bound = leadingNumber(expected) - t;
        else if (equalsIgnoreCase(op, u"<="))
            m_kind = kBelow, m_bound = leadingNumber(expected) + t;
        else if (equalsIgnoreCase(op, u">"))
            m_kind = kAbove, m_bound = leadingNumber(expected) + t;
        else if (equalsIgnoreCase(op, u"<"))
            m_kind = kBelow, m_bound = leadingNumber(expected) - t;
        else if (equalsIgnoreCase(op, u"!="))
            m_kind = kDiffers;
    }
    // An attribute's text, zero-ended: measured only when read as a number.
    bool holds(const ACHAR* actual) const
    {
        switch (m_kind) {
        case kAbove:
        case kBelow: return holds(std::u16string_view(actual));
        case kDiffers: return !textcase::equalsIgnoreCase(actual, m_expected);
        case kEquals: break;
        }
        return textcase::equalsIgnoreCase(actual, m_expected);
    }
    bool holds(std::u16string_view actual) const
    {
        switch (m_kind) {
        case kAbove: return leadingNumber(actual) > m_bound;
        case kBelow: return leadingNumber(actual) < m_bound;
        case kDiffers: return !textcase::equalsIgnoreCase(actual, m_expected);
        case kEquals: break;
        }
        return textcase::equalsIgnoreCase(actual, m_expected);
    }

private:
    enum Kind { kEquals, kDiffers, kAbove, kBelow };
    Kind m_kind = kEquals;
    double m_bound = 0;
    std::u16string_view m_expected;
};

// Entities on one layer share its name, so a walk remembers the answer for
// the last few names it met: references often alternate between layers.
class LayerTest {
public:
    explicit LayerTest(const CStringArrayEx& names) : m_names(names) {}
    bool passes(const AcDbEntity& entity)
    {
        const AcString* layer = &entity.layerName();
        for (const Answer& a : m_recent)
            if (a.layer == layer)
                return a.listed;
        Answer& slot = m_recent[m_next++ % kRecent];
        slot = {layer, m_names.find(*layer, false) >= 0};
        return slot.listed;
    }

private:
    static constexpr size_t kRecent = 4;
    struct Answer {
        const AcString* layer = nullptr;
        bool listed = false;
    };
    const CStringArrayEx& m_names;
    Answer m_recent[kRecent];
    size_t m_next = 0;
};

struct Filters {
    const CStringArrayEx& blockNames;
    const CStringArrayEx& layerNames;
    std::u16string_view tag;
    ValueTest test;
    const std::optional<AcDbExtents>& window;
    const std::optional<AcString>& space;
};

bool listed(const CStringArrayEx& names, const ACHAR* name) { return names.find(name, false) >= 0; }

// Inside in x and y, boundaries included; a not-a-number fails every test.
bool inside(const AcDbExtents& e, const AcDbExtents& w)
{
    const AcGePoint3d &emin = e.minPoint(), &emax = e.maxPoint(), &wmin = w.minPoint(), &wmax = w.maxPoint();
    return emin.x >= wmin.x && emin.y >= wmin.y && wmax.x >= emin.x && wmax.y >= emin.y && emax.x >= wmin.x &&
        emax.y >= wmin.y && wmax.x >= emax.x && wmax.y >= emax.y;
}

std::u16string widen(const char* s)
{
    std::u16string out;
    for (; *s; ++s)
        out += static_cast<char16_t>(static_cast<unsigned char>(*s));
    return out;
}

// A property value as text; false for types that are passed over.
bool variantText(const AcDbEvalVariant& v, AcString& text)
{
    char buf[64];
    double real;
    Adesk::Int16 i16;
    Adesk::Int32 i32;
    switch (v.getType()) {
    case AcDbEvalVariant::kText: return v.getValue(text) == Acad::eOk;
    case AcDbEvalVariant::kReal:
        if (v.getValue(real) != Acad::eOk)
            return false;
        std::snprintf(buf, sizeof buf, "%g", real);
        break;
    case AcDbEvalVariant::kInt16:
        if (v.getValue(i16) != Acad::eOk)
            return false;
        std::snprintf(buf, sizeof buf, "%d", static_cast<int>(i16));
        break;
    case AcDbEvalVariant::kInt32:
        if (v.getValue(i32) != Acad::eOk)
            return false;
        std::snprintf(buf, sizeof buf, "%ld", static_cast<long>(i32));
        break;
    default: return false;
    }
    text = widen(buf);
    return true;
}

bool dynamicPropertyMatches(AcDbObjectId refId, const Filters& f)
{
    AcDbDynBlockReferencePropertyArray properties;
    AcDbDynBlockReference(refId).getBlockProperties(properties);
    for (const AcDbDynBlockReferenceProperty& p : properties) {
        AcString text;
        if (textcase::equalsIgnoreCase(p.propertyName(), f.tag) && variantText(p.value(), text) && f.test.holds(text))
            return true;
    }
    return false;
}

bool attributeMatches(const AcDbBlockReference& ref, const Filters& f)
{
    // The same walk as attributeIterator's, held here rather than on the heap.
    const std::vector<AcDbObjectId>& ids = ref.attributeIds();
    for (AcDbObjectIterator it(ids.data(), ids.size()); !it.done(); it.step()) {
        AcDbObjectPointer<AcDbAttribute> attr(it.objectId(), AcDb::kForRead);
        if (attr && textcase::equalsIgnoreCase(attr->tagConst(), f.tag) && f.test.holds(attr->textStringConst()))
            return true;
    }
    return false;
}

// The nested count of every reference met through one holder block is the
// same apart from the reference itself: how many of the current record's
// live references the holder owns. The walk opens every one of those
// references anyway, so it notes each one's owner as it goes and settles the
// nested counts when the record's walk is over; the result equals
// countNestedReferences.
class NestedTally {
public:
    // Begins the next record; one tally serves a whole walk, keeping its room.
    void begin(bool noting)
    {
        m_noting = noting;
        m_runs.clear();
        m_pending.clear();
    }
    bool noting() const { return m_noting; }
    // A reference of the record that opened, in the walk's order.
    void noteOwner(AcDbObjectId owner)
    {
        // References come in runs of one owner: kept as runs.
        if (m_runs.empty() || !(m_runs.back().owner == owner))
            m_runs.push_back({owner, 0});
        ++m_runs.back().count;
    }
    // A reference met through the holder definitionId; ownedByHolder: its
    // own owner is that holder, so it is in the holder's tally itself.
    void defer(AcDbObjectId definitionId, bool ownedByHolder) { m_pending.push_back({definitionId, ownedByHolder}); }
    Adesk::UInt32 settle() const
    {
        if (m_pending.empty())
            return 0;
        std::unordered_map<AcDbObjectId, Adesk::UInt32> byOwner;
        for (const Run& r : m_runs)
            byOwner[r.owner] += r.count;
        Adesk::UInt32 total = 0;
        for (const Pending& p : m_pending) {
            auto it = byOwner.find(p.definitionId);
            Adesk::UInt32 n = it == byOwner.end() ? 0 : it->second;
            total += p.ownedByHolder && n > 0 ? n - 1 : n;
        }
        return total;
    }

private:
    struct Run {
        AcDbObjectId owner;
        Adesk::UInt32 count;
    };
    struct Pending {
        AcDbObjectId definitionId;
        bool ownedByHolder;
    };
    bool m_noting = false;
    std::vector<Run> m_runs;
    std::vector<Pending> m_pending;
};

// Which dynamic definition and anonymous copy a reference shows follows from
// the block it names alone, so one walk asks once per block rather than once
// per reference; the answers live only as long as the walk.
struct DynamicKind {
    AcDbObjectId dynamicDef, anonymousDef;
};

class DynamicKinds {
public:
    const DynamicKind& of(AcDbObjectId refId, AcDbObjectId block)
    {
        // References of one block mostly come one after another.
        if (m_last && m_lastBlock == block)
            return *m_last;
        auto [it, added] = m_kinds.try_emplace(block);
        if (added) {
            AcDbDynBlockReference dyn(refId);
            it->second.dynamicDef = dyn.dynamicBlockTableRecord();
            if (!it->second.dynamicDef.isNull())
                it->second.anonymousDef = dyn.anonymousBlockTableRecord();
        }
        m_lastBlock = block;
        return *(m_last = &it->second);
    }

private:
    std::unordered_map<AcDbObjectId, DynamicKind> m_kinds;
    AcDbObjectId m_lastBlock;
    const DynamicKind* m_last = nullptr;
};

// What one reference of the current record adds to the count.
Adesk::UInt32 countReference(AcDbObjectId id, const CurrentRecord& cur, const Filters& f, LayerTest& layers,
                             NestedTally& tally, DynamicKinds& kinds)
{
    if (id.isEffectivelyErased())
        return 0;
    AcDbObjectPointer<AcDbBlockReference> ref(id, AcDb::kForRead);
    if (!ref)
        return 0;
    if (tally.noting())
        tally.noteOwner(ref->ownerId());

    if (f.space && !textcase::equalsIgnoreCase(AsdkBlockCountEvaluator::ownerHandleText(ref->ownerId()), *f.space))
        return 0;
    if (f.window) {
        AcDbExtents extents;
        if (ref->getGeomExtents(extents) != Acad::eOk || !inside(extents, *f.window))
            return 0;
    }
    if (!f.layerNames.empty() && !layers.passes(*ref.object()))
        return 0;

    const DynamicKind& kind = kinds.of(id, ref->blockTableRecord());
    const AcDbObjectId dynamicDef = kind.dynamicDef, anonymousDef = kind.anonymousDef;
    const bool dynamic = !dynamicDef.isNull();

    if (dynamic && (dynamicDef == cur.id || anonymousDef == cur.id)) {
        AcDbSymbolTableRecordPointer<AcDbBlockTableRecord> def(dynamicDef, AcDb::kForRead);
        if (!def)
            return 0;
        const ACHAR* name = nullptr;
        if (def->getName(name) == Acad::eOk && name && !listed(f.blockNames, name))
            return 0;
        def.close();
        return f.tag.empty() || dynamicPropertyMatches(id, f) ? 1 : 0;
    }
    if (ref->blockTableRecord() == cur.id) {
        // Leaves out references of anonymous records not listed by name.
        if (!cur.listed)
            return 0;
        return f.tag.empty() || attributeMatches(*ref.object(), f) ? 1 : 0;
    }
    // Met through a block that holds the current record: count what that block holds.
    if (!cur.nestedCounts)
        return 0;
    AcDbObjectId outer = ref->blockTableRecord();
    if (dynamic)
        outer = anonymousDef.isNull() ? dynamicDef : anonymousDef;
    tally.defer(outer, ref->ownerId() == outer);
    return 0;
}

// Whether an anonymous record is a copy of a dynamic block listed by name.
bool copyOfListedDynamicBlock(const AcDbBlockTableRecord& record, const CStringArrayEx& blockNames)
{
    if (record.dynamicBlockId().isNull())
        return false;
    AcDbSymbolTableRecordPointer<AcDbBlockTableRecord> source(record.dynamicBlockId(), AcDb::kForRead);
    const ACHAR* name = nullptr;
    return source && source->isDynamicBlock() && source->getName(name) == Acad::eOk && name && listed(blockNames, name);
}

}

Adesk::UInt32 AsdkBlockCountEvaluator::countBlockReferences(const CStringArrayEx& blockNames,
                                                            const CStringArrayEx& layerNames, std::u16string_view tag,
                                                            std::u16string_view op, std::u16string_view value,
                                                            const std::optional<AcDbExtents>& window,
                                                            const std::optional<AcString>& space, bool nested,
                                                            AcDbDatabase* database)
{
    if (!database)
        database = acdbHostApplicationServices()->workingDatabase();
    if (!database)
        return 0;
    AcDbBlockTable* table = nullptr;
    if (database->getSymbolTable(table, AcDb::kForRead) != Acad::eOk || !table)
        return 0;
    AcDbBlockTableIterator* iterator = nullptr;
    if (table->newIterator(iterator, true, true) != Acad::eOk || !iterator) {
        table->close();
        return 0;
    }

    const Filters filters{blockNames, layerNames, tag, ValueTest(value, op), window, space};
    Adesk::UInt32 count = 0;
    std::vector<AcDbObjectId> ids;
    DynamicKinds kinds;
    LayerTest layers(layerNames);
    NestedTally tally;
    for (; !iterator->done(); iterator->step(true, true)) {
        AcDbBlockTableRecord* record = nullptr;
        if (iterator->getRecord(record, AcDb::kForRead) != Acad::eOk || !record)
            continue;
        if (record->isLayout() || record->isUnloaded() || record->isFromOverlayReference()) {
            record->close();
            continue;
        }
        CurrentRecord cur;
        cur.id = record->objectId();
        const ACHAR* name = nullptr;
        cur.listed = record->getName(name) == Acad::eOk && name && listed(blockNames, name);
        cur.nestedCounts = cur.listed || (record->isAnonymous() && copyOfListedDynamicBlock(*record, blockNames));
        ids.clear();
        if (cur.listed || record->isAnonymous())
            record->getBlockReferenceIds(ids, !nested, false);
        record->close();

        // References met through holders count only for such a record.
        tally.begin(cur.nestedCounts);
        for (AcDbObjectId id : ids)
            count += countReference(id, cur, filters, layers, tally, kinds);
        count += tally.settle();
    }
    delete iterator;
    table->close();
    return count;
}

Adesk::UInt32 AsdkBlockCountEvaluator::countNestedReferences(AcDbObjectId definitionId, AcDbObjectId currentId,
                                                             const std::vector<AcDbObjectId>& referenceIds)
{
    Adesk::UInt32 n = 0;
    for (AcDbObjectId id : referenceIds) {
        if (id == currentId || id.isEffectivelyErased())
            continue;
        AcDbObjectPointer<AcDbBlockReference> ref(id, AcDb::kForRead);
        if (ref && ref->ownerId() == definitionId)
            ++n;
    }
    return n;
}

AcString AsdkBlockCountEvaluator::ownerHandleText(AcDbObjectId objectId)
{
    AcDbObject* object = nullptr;
    if (acdbOpenAcDbObject(object, objectId, AcDb::kForRead) != Acad::eOk || !object)
        return AcString();
    AcDbHandle handle;
    object->getAcDbHandle(handle);
    object->close();
    ACHAR buffer[256];
    handle.getIntoAsciiBuffer(buffer, 256);
    return AcString(buffer);
}

bool AsdkBlockCountEvaluator::parsePoint(std::u16string_view text, AcGePoint3d& point)
{
    return parseWindowPoint(text, point);
}

bool AsdkBlockCountEvaluator::matchValue(std::u16string_view actual, std::u16string_view expected,
                                         std::u16string_view op)
{
    return ValueTest(expected, op).holds(actual);
}

int AsdkBlockCountEvaluator::evaluateCount(AcDbField* field, AcDbDatabase*, AcFdFieldValue& value)
{
    AcString text;
    int status = frame::readData(field, kDataKey, text);
    if (status != frame::kSuccess)
        return status;
    BlockCountRequest r = parseBlockCountCode(text);
    // The count is always taken in the working drawing.
    Adesk::UInt32 count = r.empty
        ? 0
        : countBlockReferences(r.blockNames, r.layerNames, r.tag, r.op, r.value, r.window, r.space, r.nested);
    value.set(static_cast<Adesk::Int32>(count));
    return frame::kSuccess;
}

Acad::ErrorStatus AsdkBlockCountEvaluator::compile(AcDbField* field, AcDbDatabase*, AcFdFieldResult* result)
{
    return frame::compile(field, kDataKey, result);
}

Acad::ErrorStatus AsdkBlockCountEvaluator::evaluate(AcDbField* field, int, AcDbDatabase* database,
                                                    AcFdFieldResult* result)
{
    return frame::evaluate(field, database, result, evaluateCount);
}
