// Cost of spreadsheet cell fields over a workbook of 200,000 cells, through
// the real path (module loaded, field engine pass, automation server):
// 1,000 fields of the workbook in one pass, one field alone, which starts
// the application and opens the workbook cold, and starting and quitting
// the application. Each for both applications side by side: the built-in
// one (argument 0) and LibreOffice Calc (argument 1, when installed).
#include "bench/BigWorkbook.h"
#include "command/ModuleLoader.h"
#include "host/AcFdEval.h"
#include "host/ExcelTypeLib.h"
#include "host/dbapserv.h"
#include "replacement_host/file/DrawingFile.h"
#include "replacement_host/platform/SpreadsheetServer.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using bigworkbook::kColumns;
using bigworkbook::kRows;

const std::string& workbookPath() { return bigworkbook::path(); }

std::string cellName(int row, int col)
{
    std::string letters;
    for (int c = col; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    return letters + std::to_string(row);
}

ModuleLoader& module()
{
    static ModuleLoader loader;
    if (!loader.loaded() && !loader.load(TESSLY_MODULE_PATH).empty())
        std::abort();
    return loader;
}

// A drawing whose texts hold one field each, spread over the sheet.
std::unique_ptr<AcDbDatabase> drawing(int fields)
{
    std::string objects;
    for (int i = 0; i < fields; ++i) {
        std::string cell = cellName(1 + (i * 7) % kRows, 1 + (i * 13) % kColumns);
        objects += std::string(i ? "," : "") + R"({"type": "text", "handle": ")" + std::to_string(0x100 + i) +
            R"(", "text": "%<\\ExcelCell )" + workbookPath() + ":Big:" + cell + R"(>%"})";
    }
    auto r = drawingfile::loadFromText(R"({"tesslyDrawing": 1, "objects": [)" + objects + "]}", "bench");
    if (!r.database)
        std::abort();
    return std::move(r.database);
}

// Argument 0 the built-in application, 1 LibreOffice; false when that one
// cannot run here.
bool choose(benchmark::State& state)
{
    bool calc = state.range(0) == 1;
    if (calc && std::system("command -v soffice >/dev/null 2>&1") != 0) {
        state.SkipWithError("LibreOffice (soffice) is not installed");
        return false;
    }
    ::setenv(spreadsheetserver::kChoiceVariable, calc ? "libreoffice" : "builtin", 1);
    return true;
}

void evaluatePass(benchmark::State& state, int fields)
{
    module();
    if (!choose(state))
        return;
    for (auto _ : state) {
        state.PauseTiming();
        // A fresh drawing each time: no change stamps, every field reads.
        auto db = drawing(fields);
        acdbHostApplicationServices()->setWorkingDatabase(db.get());
        state.ResumeTiming();
        acdbGetFieldEngine()->evaluateFields(0, db.get());
        state.PauseTiming();
        acdbHostApplicationServices()->setWorkingDatabase(nullptr);
        db.reset();
        state.ResumeTiming();
    }
}

// LibreOffice takes seconds a start: a few rounds are enough.
void BM_ThousandFieldsOnePass(benchmark::State& state) { evaluatePass(state, 1000); }
BENCHMARK(BM_ThousandFieldsOnePass)
    ->Unit(benchmark::kMillisecond)
    ->ArgName("libreoffice")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3);

void BM_ColdOpenOneField(benchmark::State& state) { evaluatePass(state, 1); }
BENCHMARK(BM_ColdOpenOneField)->Unit(benchmark::kMillisecond)->ArgName("libreoffice")->Arg(0)->Arg(1)->Iterations(3);

void BM_StartAndQuit(benchmark::State& state)
{
    if (!choose(state))
        return;
    CLSID clsid;
    if (CLSIDFromProgID(u"Excel.Application", &clsid) < 0)
        std::abort();
    for (auto _ : state) {
        IDispatch* app = nullptr;
        if (CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, &app) < 0 || !app)
            std::abort();
        DISPPARAMS none;
        app->Invoke(exceltypelib::kQuit, DISPATCH_METHOD, &none, nullptr, nullptr);
        app->Release();
    }
}
BENCHMARK(BM_StartAndQuit)->Unit(benchmark::kMillisecond)->ArgName("libreoffice")->Arg(0)->Arg(1)->Iterations(3);

}

BENCHMARK_MAIN();
