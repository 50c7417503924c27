// Reading JSON drawings of N fields, as tessly saves them: the whole load
// from a file (time per field; and, in a fresh process, the peak memory it
// adds over what the loaded drawing holds, per byte of file), and the parse alone with
// nlohmann's tree, nlohmann's SAX reader and simdjson's DOM parser, the
// choices the reader was picked from.
#include "bench/BenchSupport.h"
#include "replacement_host/file/DrawingFile.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>
#include <simdjson.h>

#include <cstdio>
#include <filesystem>
#include <malloc.h>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using benchsupport::statusKb;

// A drawing of n fields, one per multiline text, over a line, a circle and a
// polyline per four fields, saved by the reader itself so the file holds
// what a saved drawing holds (field handles, values, states).
const std::string& drawingOf(int n)
{
    static std::map<int, std::string> made;
    if (auto it = made.find(n); it != made.end())
        return it->second;
    std::ostringstream objects;
    objects << R"({"tesslyDrawing": 1, "objects": [{"type": "layer", "handle": "10", "name": "NOTES"})";
    auto hex = [](unsigned v) {
        std::ostringstream out;
        out << std::hex << std::uppercase << v;
        return out.str();
    };
    unsigned h = 0x100;
    for (int i = 0; i < n; i += 4) {
        std::string line = hex(h), circle = hex(h + 1), poly = hex(h + 2);
        h += 3;
        objects << R"(, {"type": "line", "handle": ")" << line << R"(", "start": [0, 0], "end": [)" << i % 100
                << R"(, 3]}, {"type": "circle", "handle": ")" << circle << R"(", "center": [)" << i % 50
                << R"(, 0], "radius": )" << 1 + i % 7 << R"(}, {"type": "lwpolyline", "handle": ")" << poly
                << R"(", "vertices": [[0, 0], [4, 0], [4, 4, 0.5], [0, 4]], "closed": true})";
        const std::string codes[] = {
            "\\\\AcLength Object(<" + line + ">)",
            "\\\\AcArea Object(<" + circle + ">) \\\\f \\\"%lu2%pr1\\\"",
            "\\\\TsExpr SUM(1,2," + std::to_string(i % 10) + ")*2",
            "\\\\TsExpr ROUND(%<\\\\AcArea Object(<" + poly + ">)>%/100, 3)",
        };
        for (int k = 0; k < 4 && i + k < n; ++k)
            objects << R"(, {"type": "mtext", "handle": ")" << hex(h++) << R"(", "layer": "NOTES", "text": "Note %<)"
                    << codes[k] << R"(>% here"})";
    }
    objects << "]}";
    drawingfile::LoadResult r = drawingfile::loadFromText(objects.str(), "bench.json");
    if (!r.database)
        throw std::runtime_error(r.error);
    return made[n] = drawingfile::toText(*r.database);
}

std::string drawingFile(int n)
{
    fs::path path = benchsupport::scratchFolder("tessly-json-bench-") / ("fields" + std::to_string(n) + ".json");
    if (!fs::exists(path))
        std::ofstream(path) << drawingOf(n);
    return path.string();
}

void perField(benchmark::State& state)
{
    state.counters["per_field"] =
        benchmark::Counter(static_cast<double>(state.range(0)),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Loads the drawing at path in this fresh process and prints the peak
// resident growth during the load and the growth the loaded drawing holds.
int measureLoad(const char* path)
{
    long before = statusKb("VmRSS:");
    drawingfile::LoadResult r = drawingfile::load(path);
    if (!r.database) {
        std::fprintf(stderr, "%s\n", r.error.c_str());
        return 1;
    }
    long peak = statusKb("VmHWM:") - before;
    ::malloc_trim(0);
    std::printf("%ld %ld\n", peak, statusKb("VmRSS:") - before);
    return 0;
}

void BM_LoadJsonDrawing(benchmark::State& state)
{
    std::string path = drawingFile(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        drawingfile::LoadResult r = drawingfile::load(path);
        if (!r.database)
            state.SkipWithError(r.error.c_str());
        // Freeing the drawing is not reading it.
        state.PauseTiming();
        r = {};
        state.ResumeTiming();
    }
    perField(state);
    // Memory in a process of its own: in this one, freed memory of earlier
    // runs would be taken again and hide what the load needs.
    double fileMb = static_cast<double>(fs::file_size(path)) / (1 << 20);
    long peakKb = 0, heldKb = 0;
    std::string command = "/proc/" + std::to_string(::getpid()) + "/exe --measure-load " + path;
    if (std::FILE* child = ::popen(command.c_str(), "r")) {
        if (std::fscanf(child, "%ld %ld", &peakKb, &heldKb) != 2)
            state.SkipWithError("the measuring process failed");
        ::pclose(child);
    }
    state.counters["file_MB"] = fileMb;
    state.counters["peak_MB"] = static_cast<double>(peakKb) / 1024;
    state.counters["held_MB"] = static_cast<double>(heldKb) / 1024;
    // What reading needed beyond the drawing it made.
    state.counters["reader_per_file"] = static_cast<double>(peakKb - heldKb) / 1024 / fileMb;
}
BENCHMARK(BM_LoadJsonDrawing)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

struct NoOp {
    bool null() { return true; }
    bool boolean(bool) { return true; }
    bool number_integer(nlohmann::ordered_json::number_integer_t) { return true; }
    bool number_unsigned(nlohmann::ordered_json::number_unsigned_t) { return true; }
    bool number_float(nlohmann::ordered_json::number_float_t, const std::string&) { return true; }
    bool string(std::string&) { return true; }
    bool binary(nlohmann::ordered_json::binary_t&) { return true; }
    bool start_object(std::size_t) { return true; }
    bool key(std::string&) { return true; }
    bool end_object() { return true; }
    bool start_array(std::size_t) { return true; }
    bool end_array() { return true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }
};

void BM_ParseNlohmannTree(benchmark::State& state)
{
    const std::string& text = drawingOf(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(nlohmann::ordered_json::parse(text));
    perField(state);
}
BENCHMARK(BM_ParseNlohmannTree)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ParseNlohmannSax(benchmark::State& state)
{
    const std::string& text = drawingOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        NoOp sax;
        benchmark::DoNotOptimize(nlohmann::ordered_json::sax_parse(text, &sax));
    }
    perField(state);
}
BENCHMARK(BM_ParseNlohmannSax)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ParseSimdjsonDom(benchmark::State& state)
{
    const simdjson::padded_string text(drawingOf(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        simdjson::dom::parser parser;
        simdjson::dom::element root;
        if (parser.parse(text).get(root))
            state.SkipWithError("simdjson refused the drawing");
        benchmark::DoNotOptimize(root);
    }
    perField(state);
}
BENCHMARK(BM_ParseSimdjsonDom)->Arg(100000)->Unit(benchmark::kMillisecond);

}

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--measure-load")
        return measureLoad(argv[2]);
    // The drawing of n fields, to profile a load of it apart from making it.
    if (argc == 4 && std::string(argv[1]) == "--write-drawing") {
        std::ofstream(argv[3]) << drawingOf(std::stoi(argv[2]));
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
