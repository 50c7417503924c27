// Loading a large DXF drawing (200,000 curves and 50,000 block references
// with attributes, written here) and writing it back; one evaluation pass
// over a drawing with 10,000 fields of all seven kinds, with the module
// loaded as the host loads it; and a DXF drawing with 10,000 FIELD objects
// and a table of 1,000 cells loaded, evaluated and written back. The load
// reports the file size and the peak memory it added ("peak_per_file": peak
// resident growth over the file size).
#include "command/ModuleLoader.h"
#include "host/AcFdEval.h"
#include "host/dbapserv.h"
#include "host/dbfield.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/dxf/DxfFile.h"
#include "replacement_host/dxf/DxfSource.h"
#include "replacement_host/dxf/DxfWriter.h"
#include "replacement_host/file/DrawingFile.h"

#include <benchmark/benchmark.h>

#include "bench/BenchSupport.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using benchsupport::statusKb;

constexpr int kCurves = 200000;
constexpr int kReferences = 50000;
constexpr int kFields = 10000;

fs::path benchFolder() { return benchsupport::scratchFolder("tessly-dxf-bench-"); }

// Written as a CAD program writes R2018: handles, owners, subclass markers.
std::string writeLargeDxf()
{
    fs::path path = benchFolder() / "large.dxf";
    if (fs::exists(path))
        return path.string();
    std::ofstream out(path);
    unsigned handle = 0x100;
    auto hex = [](unsigned h) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%X", h);
        return std::string(buf);
    };
    out << "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1032\n9\n$HANDSEED\n5\nFFFFFF\n0\nENDSEC\n"
        << "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n5\n2\n0\nLAYER\n5\n10\n330\n2\n100\nAcDbSymbolTableRecord\n"
        << "100\nAcDbLayerTableRecord\n2\n0\n70\n0\n0\nLAYER\n5\n11\n330\n2\n2\nWALLS\n70\n0\n0\nENDTAB\n"
        << "0\nTABLE\n2\nBLOCK_RECORD\n5\n1\n"
        << "0\nBLOCK_RECORD\n5\n1F\n330\n1\n2\n*Model_Space\n340\n22\n"
        << "0\nBLOCK_RECORD\n5\n1B\n330\n1\n2\n*Paper_Space\n340\n1E\n"
        << "0\nBLOCK_RECORD\n5\n30\n330\n1\n2\nDOOR\n340\n0\n0\nENDTAB\n0\nENDSEC\n"
        << "0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n5\n31\n330\n30\n8\n0\n2\nDOOR\n70\n2\n10\n0\n20\n0\n30\n0\n"
        << "0\nLINE\n5\n32\n330\n30\n8\n0\n10\n0\n20\n0\n30\n0\n11\n0.9\n21\n0\n31\n0\n"
        << "0\nENDBLK\n5\n33\n330\n30\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n";
    for (int i = 0; i < kCurves; ++i) {
        double x = (i % 1000) * 10.0, y = (i / 1000) * 10.0;
        std::string common = "5\n" + hex(handle++) + "\n330\n1F\n100\nAcDbEntity\n8\nWALLS\n";
        switch (i % 4) {
        case 0:
            out << "0\nLINE\n"
                << common << "100\nAcDbLine\n10\n"
                << x << "\n20\n"
                << y << "\n30\n0.0\n11\n"
                << x + 5 << "\n21\n"
                << y + 5 << "\n31\n0.0\n";
            break;
        case 1:
            out << "0\nCIRCLE\n" << common << "100\nAcDbCircle\n10\n" << x << "\n20\n" << y << "\n30\n0.0\n40\n2.5\n";
            break;
        case 2:
            out << "0\nARC\n"
                << common << "100\nAcDbCircle\n10\n"
                << x << "\n20\n"
                << y << "\n30\n0.0\n40\n3.0\n"
                << "100\nAcDbArc\n50\n0.0\n51\n120.0\n";
            break;
        default:
            out << "0\nLWPOLYLINE\n"
                << common << "100\nAcDbPolyline\n90\n4\n70\n1\n43\n0.0\n10\n"
                << x << "\n20\n"
                << y << "\n10\n"
                << x + 4 << "\n20\n"
                << y << "\n42\n0.5\n10\n"
                << x + 4 << "\n20\n"
                << y + 3 << "\n10\n"
                << x << "\n20\n"
                << y + 3 << "\n";
        }
    }
    for (int i = 0; i < kReferences; ++i) {
        double x = (i % 500) * 20.0, y = (i / 500) * 20.0;
        unsigned ref = handle++, attrib = handle++, seqend = handle++;
        out << "0\nINSERT\n5\n"
            << hex(ref) << "\n330\n1F\n100\nAcDbEntity\n8\n0\n100\nAcDbBlockReference\n66\n1\n2\nDOOR\n10\n"
            << x << "\n20\n"
            << y << "\n30\n0.0\n"
            << "0\nATTRIB\n5\n"
            << hex(attrib) << "\n330\n"
            << hex(ref) << "\n100\nAcDbEntity\n8\n0\n100\nAcDbText\n10\n"
            << x << "\n20\n"
            << y << "\n30\n0.0\n40\n0.2\n1\nA" << (i % 7) << "\n100\nAcDbAttribute\n2\nTYPE\n70\n0\n"
            << "0\nSEQEND\n5\n"
            << hex(seqend) << "\n330\n"
            << hex(ref) << "\n8\n0\n";
    }
    out << "0\nENDSEC\n0\nEOF\n";
    return path.string();
}

void BM_LoadDxf(benchmark::State& state)
{
    std::string path = writeLargeDxf();
    double fileMb = static_cast<double>(fs::file_size(path)) / (1 << 20);
    double peakMb = 0;
    for (auto _ : state) {
        // Reset the high-water mark, so it shows this load only.
        std::ofstream("/proc/self/clear_refs") << "5";
        long before = statusKb("VmRSS:");
        dxf::LoadResult r = dxf::load(path);
        if (!r.drawing.database)
            state.SkipWithError(r.drawing.error.c_str());
        peakMb = std::max(peakMb, static_cast<double>(statusKb("VmHWM:") - before) / 1024);
        benchmark::DoNotOptimize(r);
    }
    state.counters["file_MB"] = fileMb;
    state.counters["peak_MB"] = peakMb;
    state.counters["peak_per_file"] = peakMb / fileMb;
}
BENCHMARK(BM_LoadDxf)->Unit(benchmark::kMillisecond)->Iterations(3);

// The large drawing written back with nothing changed: the file passes through.
void BM_WriteDxf(benchmark::State& state)
{
    std::string path = writeLargeDxf();
    dxf::LoadResult r = dxf::load(path);
    if (!r.drawing.database) {
        state.SkipWithError(r.drawing.error.c_str());
        return;
    }
    for (auto _ : state) {
        dxf::WriteResult w = dxf::write(*r.drawing.database);
        if (!w.error.empty())
            state.SkipWithError(w.error.c_str());
        std::ofstream(benchFolder() / "large-out.dxf", std::ios::binary) << w.text;
    }
    state.counters["file_MB"] = static_cast<double>(fs::file_size(path)) / (1 << 20);
}
BENCHMARK(BM_WriteDxf)->Unit(benchmark::kMillisecond)->Iterations(3);

// 10,000 texts, one field each, the seven kinds in turn, over a drawing of
// curves, block references, a table, a text file and a workbook.
std::string fieldDrawing()
{
    fs::path dir = benchFolder();
    std::ofstream(dir / "notes.txt") << "surveyed 12/1/2026";
    fs::copy_file(fs::path(TESSLY_EXAMPLES) / "site-areas.xlsx", dir / "book.xlsx",
                  fs::copy_options::overwrite_existing);
    std::string objects = R"({"type": "block", "handle": "20", "name": "TREE"},
        {"type": "point", "handle": "21", "owner": "20", "position": [0, 0]},
        {"type": "table", "handle": "30", "rows": 2, "columns": 2, "cells": [{"row": 1, "column": 1, "text": "6"}]},
        {"type": "line", "handle": "40", "start": [0, 0], "end": [3, 4]},
        {"type": "lwpolyline", "handle": "41", "vertices": [[0, 0], [4, 0, 0.5], [4, 3], [0, 3]], "closed": true},
        {"type": "circle", "handle": "42", "center": [0, 0], "radius": 2})";
    for (int i = 0; i < 500; ++i)
        objects += R"(, {"type": "insert", "handle": ")" + std::to_string(1000 + i) +
            R"(", "block": "20", "position": [)" + std::to_string(i) + ", 0]}";
    const char* codes[] = {
        R"(%<\\AcLength Object(<40;41;42>)>%)",  R"(%<\\AcArea Object(<41;42>)>%)",
        R"(%<\\AcBlockCount \"TREE\">%)",        R"(%<\\TextField notes.txt>%)",
        R"(%<\\TableCell TABLE(<30>).$B$2>%)",   R"(%<\\ExcelCell book.xlsx:Areas:B2>%)",
        R"(%<\\TsExpr ROUND(1234.5678*3, 2)>%)",
    };
    for (int i = 0; i < kFields; ++i)
        objects +=
            R"(, {"type": "text", "handle": ")" + std::to_string(100000 + i) + R"(", "text": ")" + codes[i % 7] + "\"}";
    std::string text = "{\"tesslyDrawing\": 1, \"objects\": [" + objects + "]}";
    std::ofstream(dir / "fields.json") << text;
    return (dir / "fields.json").string();
}

void BM_EvaluationPass(benchmark::State& state)
{
    static ModuleLoader* module = [] {
        auto* m = new ModuleLoader;
        std::string error = m->load(TESSLY_MODULE_PATH);
        if (!error.empty())
            std::fprintf(stderr, "%s\n", error.c_str());
        return m;
    }();
    std::string path = fieldDrawing();
    int failed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        drawingfile::LoadResult r = drawingfile::load(path);
        if (!r.database) {
            state.SkipWithError(r.error.c_str());
            break;
        }
        r.database->setFilename(fs::absolute(path).u16string());
        acdbHostApplicationServices()->setWorkingDatabase(r.database.get());
        state.ResumeTiming();
        acdbGetFieldEngine()->evaluateFields(AcDbField::kDemand, r.database.get());
        state.PauseTiming();
        failed = 0;
        for (AcDbObjectId id : r.database->objectIds())
            if (auto* f = AcDbField::cast(HostAccess::objectAt(*r.database, id)))
                failed += f->evaluationStatus() != AcDbField::kSuccess;
        acdbHostApplicationServices()->setWorkingDatabase(nullptr);
        r.database.reset();
        state.ResumeTiming();
    }
    benchmark::DoNotOptimize(module);
    state.counters["fields"] = kFields;
    state.counters["failed"] = failed;
    state.counters["per_field_us"] =
        benchmark::Counter(kFields, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_EvaluationPass)->Unit(benchmark::kMillisecond);

ModuleLoader& loadedModule()
{
    static ModuleLoader* module = [] {
        auto* m = new ModuleLoader;
        std::string error = m->load(TESSLY_MODULE_PATH);
        if (!error.empty())
            std::fprintf(stderr, "%s\n", error.c_str());
        return m;
    }();
    return *module;
}

// A DXF drawing whose 10,000 fields are FIELD objects and whose table has
// 1,000 cells: written with plain codes, then saved once by the writer,
// which turns them into FIELD objects.
std::string fieldObjectDrawing()
{
    fs::path dir = benchFolder();
    fs::path done = dir / "field-objects.dxf";
    if (fs::exists(done))
        return done.string();
    std::ofstream(dir / "notes.txt") << "surveyed 12/1/2026";
    constexpr int kRows = 100, kColumns = 10;
    std::ostringstream out;
    out << "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1032\n9\n$HANDSEED\n5\n100000\n0\nENDSEC\n"
        << "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nBLOCK_RECORD\n5\n1\n"
        << "0\nBLOCK_RECORD\n5\n1F\n330\n1\n2\n*Model_Space\n340\n22\n"
        << "0\nBLOCK_RECORD\n5\n1B\n330\n1\n2\n*Paper_Space\n340\n1E\n"
        << "0\nBLOCK_RECORD\n5\n20\n330\n1\n2\nTREE\n340\n0\n"
        << "0\nBLOCK_RECORD\n5\n23\n330\n1\n2\n*T1\n340\n0\n0\nENDTAB\n0\nENDSEC\n"
        << "0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n5\n24\n330\n20\n8\n0\n2\nTREE\n70\n0\n10\n0\n20\n0\n30\n0\n"
        << "0\nPOINT\n5\n21\n330\n20\n8\n0\n10\n0\n20\n0\n30\n0\n0\nENDBLK\n5\n25\n330\n20\n"
        << "0\nBLOCK\n5\n26\n330\n23\n8\n0\n2\n*T1\n70\n1\n10\n0\n20\n0\n30\n0\n0\nENDBLK\n5\n27\n330\n23\n"
        << "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n"
        << "0\nLINE\n5\n40\n330\n1F\n8\n0\n10\n0\n20\n0\n30\n0\n11\n3\n21\n4\n31\n0\n"
        << "0\nCIRCLE\n5\n42\n330\n1F\n8\n0\n10\n0\n20\n0\n30\n0\n40\n2\n";
    for (int i = 0; i < 500; ++i)
        out << "0\nINSERT\n5\n"
            << std::hex << 0x1000 + i << std::dec << "\n330\n1F\n8\n0\n2\nTREE\n10\n"
            << i << "\n20\n0\n30\n0\n";
    out << "0\nACAD_TABLE\n5\n30\n330\n1F\n100\nAcDbEntity\n8\n0\n100\nAcDbBlockReference\n2\n*T1\n10\n0\n20\n0\n"
        << "30\n0\n100\nAcDbTable\n280\n0\n343\n23\n11\n1\n21\n0\n31\n0\n90\n22\n91\n"
        << kRows << "\n92\n"
        << kColumns << "\n93\n0\n94\n0\n95\n0\n96\n0\n";
    for (int r = 0; r < kRows; ++r)
        out << "141\n4.0\n";
    for (int c = 0; c < kColumns; ++c)
        out << "142\n10.0\n";
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kColumns; ++c)
            out << "171\n1\n172\n0\n173\n0\n174\n0\n175\n1\n176\n1\n91\n0\n178\n0\n145\n0.0\n92\n0\n"
                << "301\nCELL_VALUE\n93\n2\n90\n4\n1\n"
                << r * c << "\n94\n0\n300\n\n302\n"
                << r * c << "\n304\nACVALUE_END\n";
    const char* codes[] = {
        R"(%<\AcLength Object(<40;42>)>%)",   R"(%<\AcArea Object(<42>)>%)",
        R"(%<\AcBlockCount "TREE">%)",        R"(%<\TextField notes.txt>%)",
        R"(%<\TableCell TABLE(<30>).$B$2>%)", R"(%<\TsExpr ROUND(1234.5678*3, 2)>%)",
    };
    for (int i = 0; i < kFields; ++i)
        out << "0\nTEXT\n5\n"
            << std::hex << 0x10000 + i << std::dec << "\n330\n1F\n100\nAcDbEntity\n8\n0\n"
            << "100\nAcDbText\n10\n0\n20\n"
            << i << "\n30\n0\n40\n1\n1\n"
            << codes[i % 6] << "\n100\nAcDbText\n";
    out << "0\nENDSEC\n0\nSECTION\n2\nOBJECTS\n0\nDICTIONARY\n5\nC\n330\n0\n100\nAcDbDictionary\n281\n1\n"
        << "0\nENDSEC\n0\nEOF\n";
    fs::path plain = dir / "plain-codes.dxf";
    std::ofstream(plain, std::ios::binary) << out.str();
    loadedModule();
    dxf::LoadResult r = dxf::load(plain.string());
    if (!r.drawing.database)
        return {};
    r.drawing.database->setFilename(fs::absolute(plain).u16string());
    acdbHostApplicationServices()->setWorkingDatabase(r.drawing.database.get());
    acdbGetFieldEngine()->evaluateFields(AcDbField::kDemand, r.drawing.database.get());
    acdbHostApplicationServices()->setWorkingDatabase(nullptr);
    dxf::save(*r.drawing.database, done.string());
    // The text file changes after the save: those fields write new values.
    std::ofstream(dir / "notes.txt") << "surveyed again 2/2/2027";
    return done.string();
}

void BM_DxfFieldObjects(benchmark::State& state)
{
    loadedModule();
    std::string path = fieldObjectDrawing();
    if (path.empty()) {
        state.SkipWithError("the field drawing did not load");
        return;
    }
    size_t fields = 0, changedBytes = 0;
    for (auto _ : state) {
        dxf::LoadResult r = dxf::load(path);
        if (!r.drawing.database) {
            state.SkipWithError(r.drawing.error.c_str());
            break;
        }
        r.drawing.database->setFilename(fs::absolute(path).u16string());
        acdbHostApplicationServices()->setWorkingDatabase(r.drawing.database.get());
        acdbGetFieldEngine()->evaluateFields(AcDbField::kDemand, r.drawing.database.get());
        dxf::WriteResult w = dxf::write(*r.drawing.database);
        std::ofstream(benchFolder() / "field-objects-out.dxf", std::ios::binary) << w.text;
        acdbHostApplicationServices()->setWorkingDatabase(nullptr);
        fields = dxf::sourceOf(*r.drawing.database)->holderOfField.size();
        changedBytes = w.text.size();
    }
    state.counters["fields"] = static_cast<double>(fields);
    state.counters["file_MB"] = static_cast<double>(changedBytes) / (1 << 20);
}
BENCHMARK(BM_DxfFieldObjects)->Unit(benchmark::kMillisecond)->Iterations(3);

}

BENCHMARK_MAIN();
