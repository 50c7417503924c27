// Cost of a block count over a drawing of 100,000 block references in 500
// definitions: one name, every name, every name with layer, window, space and
// attribute filters, and every name with nested references. Reports the time
// per reference taken from the definitions' reference lists ("per_ref").
#include "blockcount/AsdkBlockCountEvaluator.h"
#include "host/dbapserv.h"
#include "host/dbattr.h"
#include "host/dbblkref.h"
#include "host/dbpoint.h"
#include "host/dbsymtb.h"
#include "replacement_host/HostAccess.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

constexpr int kDefinitions = 500;
constexpr int kReferences = 100000;
// The last definitions are assemblies, each holding this many other blocks.
constexpr int kAssemblies = 50;
constexpr int kPartsPerAssembly = 4;

std::u16string numbered(char16_t prefix, int n)
{
    std::u16string s(1, prefix);
    for (char c : std::to_string(n))
        s += static_cast<char16_t>(c);
    return s;
}

struct BenchDrawing {
    std::unique_ptr<AcDbDatabase> db = std::make_unique<AcDbDatabase>();
    std::vector<AcDbObjectId> blocks;

    // interleaved: reference i shows block i mod 500, so one block's
    // references lie far apart in memory; otherwise they are added together.
    explicit BenchDrawing(bool interleaved)
    {
        AcDbObjectId id;
        for (int b = 0; b < kDefinitions; ++b) {
            auto* rec = new AcDbBlockTableRecord;
            rec->setName(numbered(u'B', b).c_str());
            db->addObject(rec, db->blockTableId(), id);
            blocks.push_back(id);
            db->addObject(new AcDbPoint({0, 0, 0}), id, id);
            db->addObject(new AcDbPoint({1, 1, 0}), blocks.back(), id);
        }
        int placed = 0;
        for (int a = kDefinitions - kAssemblies; a < kDefinitions; ++a)
            for (int p = 0; p < kPartsPerAssembly; ++p, ++placed)
                addReference(blocks[(a * 7 + p) % (kDefinitions - kAssemblies)], blocks[a], placed);
        const int first = placed, perBlock = (kReferences - first + kDefinitions - 1) / kDefinitions;
        for (; placed < kReferences; ++placed) {
            int k = placed - first;
            addReference(blocks[interleaved ? k % kDefinitions : k / perBlock], db->modelSpaceId(), placed);
        }
    }

    void addReference(AcDbObjectId block, AcDbObjectId owner, int i)
    {
        auto* ref = new AcDbBlockReference;
        ref->setBlockTableRecord(block);
        ref->setPosition({double(i % 1000) * 2, double(i / 1000) * 2, 0});
        ref->setLayer(numbered(u'L', i % 10).c_str());
        AcDbObjectId id, attrId;
        db->addObject(ref, owner, id);
        auto* attr = new AcDbAttribute;
        attr->setTag(u"TYPE");
        attr->setTextString(numbered(u'L', i % 10).substr(1).c_str());
        db->addObject(attr, id, attrId);
    }

    // How many references the walk takes from the lists of these definitions.
    size_t visited(int firstBlock, int lastBlock, bool nested) const
    {
        size_t n = 0;
        for (int b = firstBlock; b <= lastBlock; ++b) {
            std::vector<AcDbObjectId> ids;
            AcDbBlockTableRecord::cast(HostAccess::objectAt(*db, blocks[b]))->getBlockReferenceIds(ids, !nested);
            n += ids.size();
        }
        return n;
    }
};

BenchDrawing& drawing(bool interleaved = true)
{
    static BenchDrawing apart(true);
    static BenchDrawing together(false);
    BenchDrawing& d = interleaved ? apart : together;
    acdbHostApplicationServices()->setWorkingDatabase(d.db.get());
    return d;
}

CStringArrayEx names(int first, int last)
{
    CStringArrayEx list;
    for (int b = first; b <= last; ++b)
        list.push_back(numbered(u'B', b));
    return list;
}

void run(benchmark::State& state, const CStringArrayEx& blockNames, const CStringArrayEx& layers,
         std::u16string_view tag, std::u16string_view op, std::u16string_view value,
         const std::optional<AcDbExtents>& window, const std::optional<AcString>& space, bool nested, size_t visited)
{
    Adesk::UInt32 count = 0;
    for (auto _ : state) {
        count =
            AsdkBlockCountEvaluator::countBlockReferences(blockNames, layers, tag, op, value, window, space, nested);
        benchmark::DoNotOptimize(count);
    }
    state.counters["count"] = count;
    state.counters["visited"] = static_cast<double>(visited);
    state.counters["per_ref"] = benchmark::Counter(
        static_cast<double>(visited), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_OneName(benchmark::State& state)
{
    BenchDrawing& d = drawing();
    run(state, names(7, 7), {}, u"", u"", u"", {}, {}, false, d.visited(7, 7, false));
}
BENCHMARK(BM_OneName)->Unit(benchmark::kMicrosecond);

void BM_EveryName(benchmark::State& state)
{
    BenchDrawing& d = drawing();
    run(state, names(0, kDefinitions - 1), {}, u"", u"", u"", {}, {}, false, d.visited(0, kDefinitions - 1, false));
}
BENCHMARK(BM_EveryName)->Unit(benchmark::kMillisecond);

// The same with each block's references added one after another.
void BM_EveryNameGrouped(benchmark::State& state)
{
    BenchDrawing& d = drawing(false);
    run(state, names(0, kDefinitions - 1), {}, u"", u"", u"", {}, {}, false, d.visited(0, kDefinitions - 1, false));
}
BENCHMARK(BM_EveryNameGrouped)->Unit(benchmark::kMillisecond);

void BM_EveryNameFiltered(benchmark::State& state)
{
    BenchDrawing& d = drawing();
    AcString ms = d.db->modelSpaceId().handle().text();
    run(state, names(0, kDefinitions - 1), CStringArrayEx{u"L1", u"L3", u"L5", u"L7", u"L9"}, u"TYPE", u">=", u"5",
        AcDbExtents({0, 0, 0}, {1000, 200, 0}), ms, false, d.visited(0, kDefinitions - 1, false));
}
BENCHMARK(BM_EveryNameFiltered)->Unit(benchmark::kMillisecond);

void BM_EveryNameNested(benchmark::State& state)
{
    BenchDrawing& d = drawing();
    run(state, names(0, kDefinitions - 1), {}, u"", u"", u"", {}, {}, true, d.visited(0, kDefinitions - 1, true));
}
BENCHMARK(BM_EveryNameNested)->Unit(benchmark::kMillisecond);

}

BENCHMARK_MAIN();
