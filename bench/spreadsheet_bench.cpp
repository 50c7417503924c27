// Cost of the spreadsheet stand-in on a workbook of 200,000 cells: opening it
// cold and reading the first cell (which parses the sheet only that far) or
// the last (the whole sheet), and then reading cells from the parsed sheet.
#include "bench/BigWorkbook.h"
#include "spreadsheet_app/Spreadsheet.h"
#include "spreadsheet_app/TextConvert.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace tessly::spreadsheet;

namespace {

using bigworkbook::kColumns;
using bigworkbook::kRows;

const std::string& workbookPath() { return bigworkbook::path(); }

std::u16string cellName(int row, int col)
{
    std::string letters;
    for (int c = col; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    return toUtf16(letters + std::to_string(row));
}

void BM_ColdOpenFirstCell(benchmark::State& state)
{
    std::u16string path = toUtf16(workbookPath());
    for (auto _ : state) {
        Workbook book = Workbook::open(path);
        benchmark::DoNotOptimize(book.worksheet(1).range(u"A1").text());
    }
}
BENCHMARK(BM_ColdOpenFirstCell)->Unit(benchmark::kMillisecond);

// The last cell: the whole sheet is read.
void BM_ColdOpenLastCell(benchmark::State& state)
{
    std::u16string path = toUtf16(workbookPath());
    std::u16string last = cellName(kRows, kColumns);
    for (auto _ : state) {
        Workbook book = Workbook::open(path);
        benchmark::DoNotOptimize(book.worksheet(1).range(last).text());
    }
}
BENCHMARK(BM_ColdOpenLastCell)->Unit(benchmark::kMillisecond);

void BM_ThousandCellReads(benchmark::State& state)
{
    Workbook book = Workbook::open(toUtf16(workbookPath()));
    Worksheet sheet = book.worksheet(1);
    sheet.range(cellName(kRows, kColumns)).text();  // the whole sheet read first
    std::vector<std::u16string> refs;
    unsigned seed = 1;
    for (int i = 0; i < 1000; ++i) {
        seed = seed * 1103515245u + 12345u;
        refs.push_back(cellName(static_cast<int>(seed % kRows) + 1, static_cast<int>((seed >> 16) % kColumns) + 1));
    }
    for (auto _ : state) {
        for (const auto& ref : refs)
            benchmark::DoNotOptimize(sheet.range(ref).text());
    }
}
BENCHMARK(BM_ThousandCellReads)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
