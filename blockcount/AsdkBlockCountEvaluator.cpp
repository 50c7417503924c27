// AsdkBlockCountEvaluator: see the header. The walk visits every block
// definition that is listed or anonymous (anonymous copies of dynamic blocks
// hold their changed references), takes its references, filters them by
// space, window and layer, and counts each as a dynamic, plain or nested one.
#include "blockcount/AsdkBlockCountEvaluator.h"

#include "app/EvaluationPass.h"
#include "app/EvaluatorFrame.h"
#include "blockcount/BlockCountCode.h"
#include "blockcount/LeadingNumber.h"
#include "host/acutads.h"
#include "host/dbapserv.h"
#include "host/dbattr.h"
#include "host/dbblkref.h"
#include "host/dbdynblk.h"
#include "host/dbsymtb.h"
#include "util/TextCase.h"

#include <cstdio>
#include <memory>
#include <unordered_map>

namespace {

struct Filters {
    const CStringArrayEx& blockNames;
    const CStringArrayEx& layerNames;
    std::u16string_view tag, op, value;
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
    case AcDbEvalVariant::kText:
        return v.getValue(text) == Acad::eOk;
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
    default:
        return false;
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
        if (textcase::equalsIgnoreCase(p.propertyName(), f.tag) && variantText(p.value(), text) &&
            AsdkBlockCountEvaluator::matchValue(text, f.value, f.op))
            return true;
    }
    return false;
}

// What the walk reads of one block reference, read once when first needed.
struct Reference {
    AcDbObjectId id;
    bool usable = false; // not erased, and opens as a block reference
    AcDbObjectId owner, block;
    bool dynamic = false;
    AcDbObjectId dynamicDef, anonymousDef;
    bool dynamicDefOpens = false;
    bool dynamicDefNamed = false;
    AcString dynamicDefName;
    bool onLayer = false; // the layer name could be read
    AcString layer;
    // Read only for the filters that need them.
    std::optional<AcString> ownerHandle;
    std::optional<std::optional<AcDbExtents>> extents;
    // The attributes that open, in order, with their tags.
    std::optional<std::vector<std::pair<AcDbObjectId, AcString>>> attributes;
};

// What the walk reads of one block definition.
struct Record {
    AcDbObjectId id;
    bool named = false;
    AcString name;
    bool anonymous = false;
    // An anonymous copy of a dynamic block: that block's name.
    bool copyNamed = false;
    AcString copyOf;
    // Indices into the references, direct ones and with nested ones, and
    // each list's live references tallied by owner for nested counts.
    std::optional<std::vector<size_t>> direct, all;
    std::optional<std::unordered_map<AcDbObjectId, Adesk::UInt32>> byOwner[2];
};

// The block table as the walk sees it. One count reads it afresh; inside an
// evaluation pass it is read once and shared by every count of the pass, as
// the drawing does not change while its fields are evaluated.
class BlockTableView {
public:
    explicit BlockTableView(AcDbDatabase* database) : m_database(database) {}
    AcDbDatabase* database() const { return m_database; }
    // False when the block table cannot be read: the count is 0.
    bool load();
    std::vector<Record>& records() { return m_records; }
    const std::vector<size_t>& referencesOf(Record& record, bool nested);
    Reference& reference(size_t index) { return m_references[index]; }
    const AcString& ownerHandle(Reference& ref);
    const std::optional<AcDbExtents>& extents(Reference& ref);
    const std::vector<std::pair<AcDbObjectId, AcString>>& attributes(Reference& ref);
    // The references among the record's ids (nested ones included when
    // asked) that are live and owned by each block.
    const std::unordered_map<AcDbObjectId, Adesk::UInt32>& tally(Record& record, bool nested);
    // Counts already made in this pass, by stored code.
    std::unordered_map<std::u16string, Adesk::UInt32>& counts() { return m_counts; }

private:
    size_t indexOf(AcDbObjectId id);

    AcDbDatabase* m_database;
    bool m_loaded = false, m_readable = false;
    std::vector<Record> m_records;
    std::vector<Reference> m_references;
    std::unordered_map<AcDbObjectId, size_t> m_index;
    std::unordered_map<std::u16string, Adesk::UInt32> m_counts;
};

bool BlockTableView::load()
{
    if (m_loaded)
        return m_readable;
    m_loaded = true;
    AcDbBlockTable* table = nullptr;
    if (!m_database || m_database->getSymbolTable(table, AcDb::kForRead) != Acad::eOk || !table)
        return false;
    AcDbBlockTableIterator* iterator = nullptr;
    if (table->newIterator(iterator, true, true) != Acad::eOk || !iterator) {
        table->close();
        return false;
    }
    for (; !iterator->done(); iterator->step(true, true)) {
        AcDbBlockTableRecord* record = nullptr;
        if (iterator->getRecord(record, AcDb::kForRead) != Acad::eOk || !record)
            continue;
        if (record->isLayout() || record->isUnloaded() || record->isFromOverlayReference()) {
            record->close();
            continue;
        }
        Record r;
        r.id = record->objectId();
        const ACHAR* name = nullptr;
        if (record->getName(name) == Acad::eOk && name) {
            r.named = true;
            r.name = name;
        }
        r.anonymous = record->isAnonymous();
        AcDbObjectId source = record->dynamicBlockId();
        record->close();
        if (r.anonymous && !source.isNull()) {
            AcDbSymbolTableRecordPointer<AcDbBlockTableRecord> def(source, AcDb::kForRead);
            const ACHAR* sourceName = nullptr;
            if (def && def->isDynamicBlock() && def->getName(sourceName) == Acad::eOk && sourceName) {
                r.copyNamed = true;
                r.copyOf = sourceName;
            }
        }
        m_records.push_back(std::move(r));
    }
    delete iterator;
    table->close();
    m_readable = true;
    return true;
}

size_t BlockTableView::indexOf(AcDbObjectId id)
{
    auto [at, added] = m_index.try_emplace(id, m_references.size());
    if (!added)
        return at->second;
    Reference ref;
    ref.id = id;
    if (!id.isEffectivelyErased()) {
        AcDbObjectPointer<AcDbBlockReference> object(id, AcDb::kForRead);
        if (object) {
            ref.usable = true;
            ref.owner = object->ownerId();
            ref.block = object->blockTableRecord();
            if (ACHAR* layer = object->layer()) {
                ref.onLayer = true;
                ref.layer = layer;
                acutDelBuffer(layer);
            }
        }
    }
    if (ref.usable) {
        AcDbDynBlockReference dyn(id);
        ref.dynamic = dyn.isDynamicBlock();
        if (ref.dynamic) {
            ref.dynamicDef = dyn.dynamicBlockTableRecord();
            ref.anonymousDef = dyn.anonymousBlockTableRecord();
            AcDbSymbolTableRecordPointer<AcDbBlockTableRecord> def(ref.dynamicDef, AcDb::kForRead);
            ref.dynamicDefOpens = static_cast<bool>(def);
            const ACHAR* name = nullptr;
            if (def && def->getName(name) == Acad::eOk && name) {
                ref.dynamicDefNamed = true;
                ref.dynamicDefName = name;
            }
        }
    }
    m_references.push_back(std::move(ref));
    return at->second;
}

const std::vector<size_t>& BlockTableView::referencesOf(Record& record, bool nested)
{
    std::optional<std::vector<size_t>>& list = nested ? record.all : record.direct;
    if (!list) {
        std::vector<AcDbObjectId> ids;
        AcDbSymbolTableRecordPointer<AcDbBlockTableRecord> def(record.id, AcDb::kForRead);
        if (def)
            def->getBlockReferenceIds(ids, !nested, false);
        def.close();
        list.emplace();
        list->reserve(ids.size());
        for (AcDbObjectId id : ids)
            list->push_back(indexOf(id));
    }
    return *list;
}

const AcString& BlockTableView::ownerHandle(Reference& ref)
{
    if (!ref.ownerHandle)
        ref.ownerHandle = AsdkBlockCountEvaluator::ownerHandleText(ref.owner);
    return *ref.ownerHandle;
}

const std::optional<AcDbExtents>& BlockTableView::extents(Reference& ref)
{
    if (!ref.extents) {
        ref.extents.emplace();
        AcDbObjectPointer<AcDbBlockReference> object(ref.id, AcDb::kForRead);
        AcDbExtents e;
        if (object && object->getGeomExtents(e) == Acad::eOk)
            *ref.extents = e;
    }
    return *ref.extents;
}

const std::vector<std::pair<AcDbObjectId, AcString>>& BlockTableView::attributes(Reference& ref)
{
    if (!ref.attributes) {
        ref.attributes.emplace();
        AcDbObjectPointer<AcDbBlockReference> object(ref.id, AcDb::kForRead);
        std::unique_ptr<AcDbObjectIterator> it(object ? object->attributeIterator() : nullptr);
        for (; it && !it->done(); it->step()) {
            AcDbObjectPointer<AcDbAttribute> attr(it->objectId(), AcDb::kForRead);
            if (attr)
                ref.attributes->emplace_back(it->objectId(), attr->tagConst());
        }
    }
    return *ref.attributes;
}

// Whether the first attribute with the tag holds a text that matches.
// Texts are read as they are now: a field in one may have changed them.
bool attributeMatches(BlockTableView& view, Reference& ref, const Filters& f)
{
    for (const auto& [id, tag] : view.attributes(ref)) {
        if (!textcase::equalsIgnoreCase(tag, f.tag))
            continue;
        AcDbObjectPointer<AcDbAttribute> attr(id, AcDb::kForRead);
        if (attr && AsdkBlockCountEvaluator::matchValue(attr->textStringConst(), f.value, f.op))
            return true;
    }
    return false;
}

const std::unordered_map<AcDbObjectId, Adesk::UInt32>& BlockTableView::tally(Record& record, bool nested)
{
    auto& byOwner = record.byOwner[nested];
    if (!byOwner) {
        byOwner.emplace();
        for (size_t i : referencesOf(record, nested))
            if (m_references[i].usable)
                ++(*byOwner)[m_references[i].owner];
    }
    return *byOwner;
}

// The view shared by the counts of the pass under way; none outside a pass.
BlockTableView* passViewOf(AcDbDatabase* database)
{
    static std::unique_ptr<BlockTableView> view;
    static unsigned long viewPass = 0;
    if (evaluationpass::flag() != 1) {
        view.reset();
        return nullptr;
    }
    if (!view || viewPass != evaluationpass::number() || view->database() != database) {
        view = std::make_unique<BlockTableView>(database);
        viewPass = evaluationpass::number();
    }
    return view.get();
}

// What one reference of the current record adds to the count.
Adesk::UInt32 countReference(BlockTableView& view, Reference& ref, Record& cur, bool curListed, bool nestedCounts,
                             bool nested, const Filters& f)
{
    if (!ref.usable)
        return 0;
    if (f.space && !textcase::equalsIgnoreCase(view.ownerHandle(ref), *f.space))
        return 0;
    if (f.window) {
        const std::optional<AcDbExtents>& extents = view.extents(ref);
        if (!extents || !inside(*extents, *f.window))
            return 0;
    }
    if (!f.layerNames.empty() && !(ref.onLayer && listed(f.layerNames, ref.layer.c_str())))
        return 0;

    if (ref.dynamic && (ref.dynamicDef == cur.id || ref.anonymousDef == cur.id)) {
        if (!ref.dynamicDefOpens)
            return 0;
        if (ref.dynamicDefNamed && !listed(f.blockNames, ref.dynamicDefName.c_str()))
            return 0;
        return f.tag.empty() || dynamicPropertyMatches(ref.id, f) ? 1 : 0;
    }
    if (ref.block == cur.id) {
        // Leaves out references of anonymous records not listed by name.
        if (!curListed)
            return 0;
        return f.tag.empty() || attributeMatches(view, ref, f) ? 1 : 0;
    }
    // Met through a block that holds the current record: count what that block holds.
    if (!nestedCounts)
        return 0;
    AcDbObjectId outer = ref.block;
    if (ref.dynamic)
        outer = ref.anonymousDef.isNull() ? ref.dynamicDef : ref.anonymousDef;
    const auto& byOwner = view.tally(cur, nested);
    auto it = byOwner.find(outer);
    Adesk::UInt32 n = it == byOwner.end() ? 0 : it->second;
    // The reference itself is in the tally (it is live) when its owner is the definition.
    return ref.owner == outer && n > 0 ? n - 1 : n;
}

Adesk::UInt32 countIn(BlockTableView& view, const Filters& f, bool nested)
{
    if (!view.load())
        return 0;
    Adesk::UInt32 count = 0;
    for (Record& record : view.records()) {
        bool curListed = record.named && listed(f.blockNames, record.name.c_str());
        bool nestedCounts = curListed || (record.anonymous && record.copyNamed && listed(f.blockNames, record.copyOf.c_str()));
        if (!curListed && !record.anonymous)
            continue;
        for (size_t i : view.referencesOf(record, nested))
            count += countReference(view, view.reference(i), record, curListed, nestedCounts, nested, f);
    }
    return count;
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
    const Filters filters{blockNames, layerNames, tag, op, value, window, space};
    if (BlockTableView* view = passViewOf(database))
        return countIn(*view, filters, nested);
    BlockTableView view(database);
    return countIn(view, filters, nested);
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
    using textcase::equalsIgnoreCase;
    const double t = AcGeContext::gTol.equalPoint();
    if (equalsIgnoreCase(op, u">="))
        return leadingNumber(actual) > leadingNumber(expected) - t;
    if (equalsIgnoreCase(op, u"<="))
        return leadingNumber(actual) < leadingNumber(expected) + t;
    if (equalsIgnoreCase(op, u">"))
        return leadingNumber(actual) > leadingNumber(expected) + t;
    if (equalsIgnoreCase(op, u"<"))
        return leadingNumber(actual) < leadingNumber(expected) - t;
    if (equalsIgnoreCase(op, u"!="))
        return !equalsIgnoreCase(actual, expected);
    return equalsIgnoreCase(actual, expected);
}

int AsdkBlockCountEvaluator::evaluateCount(AcDbField* field, AcDbDatabase*, AcFdFieldValue& value)
{
    AcString text;
    int status = frame::readData(field, kDataKey, text);
    if (status != frame::kSuccess)
        return status;
    // The count is always taken in the working drawing. Within a pass, a
    // code without a tag gives what it gave before: it depends only on the
    // block table, which does not change while fields are evaluated.
    BlockTableView* view = passViewOf(acdbHostApplicationServices()->workingDatabase());
    if (view)
        if (auto known = view->counts().find(text); known != view->counts().end()) {
            value.set(static_cast<Adesk::Int32>(known->second));
            return frame::kSuccess;
        }
    BlockCountRequest r = parseBlockCountCode(text);
    Adesk::UInt32 count = r.empty ? 0
                                  : countBlockReferences(r.blockNames, r.layerNames, r.tag, r.op, r.value, r.window,
                                                         r.space, r.nested);
    if (view && r.tag.empty())
        view->counts().emplace(text, count);
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
