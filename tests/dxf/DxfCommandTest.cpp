// The tessly command on DXF drawings, end to end: every field of the real
// test drawings checked against the values computed when they were made,
// refused formats, saving as our own format, and the watch mode.
#include "replacement_host/dxf/DxfFile.h"
#include "tests/support/CommandOutput.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <poll.h>
#include <unistd.h>

namespace {

using testhost::runTessly;
using testhost::shellQuote;
using Json = nlohmann::json;
namespace fs = std::filesystem;

const std::string kData = std::string(TESSLY_TEST_DATA) + "/dxf/";

constexpr auto jsonLines = &testhost::jsonLines<Json>;

// The folders of one test run, removed at exit.
struct TempRoot {
    fs::path path = fs::temp_directory_path() / ("tessly-dxfcmd-" + std::to_string(::getpid()));
    ~TempRoot()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

fs::path tempDir(const std::string& name)
{
    static TempRoot root;
    auto dir = root.path / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// Every field shows what make_dxf.py computed for it, keyed by the text's handle.
void expectAllFields(const std::string& drawing, const std::string& expectedFile, const std::string& extra = "")
{
    Json expected = Json::parse(std::ifstream(expectedFile));
    auto r = runTessly("eval " + shellQuote(drawing) + " --json" + extra);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    auto lines = jsonLines(r.out);
    EXPECT_EQ(lines.size(), expected.size());
    for (const Json& j : lines) {
        std::string owner = j["location"]["owner"];
        SCOPED_TRACE(owner);
        ASSERT_TRUE(expected.contains(owner));
        EXPECT_EQ(j["status"], 2);
        EXPECT_EQ(j["display"], expected[owner]);
    }
}

TEST(DxfCommand, RealDrawingsEvaluate)
{
    for (const char* name : {"plan2018", "plan12"}) {
        SCOPED_TRACE(name);
        expectAllFields(kData + name + ".dxf", kData + name + ".expected.json");
    }
}

TEST(DxfCommand, SummaryAndSkippedOnStandardError)
{
    auto r = runTessly("eval " + shellQuote(kData + "plan2018.dxf"));
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.err.find("plan2018.dxf: skipped 2 HATCH, 1 SPLINE\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("14 fields, 14 evaluated, 0 failed in "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("(AcArea 3, AcBlockCount 4, AcLength 5, TsExpr 2)"), std::string::npos) << r.err;
}

// A drawing whose handles repeat loads: a field names the first object, and
// standard error says once what was renumbered and which 2D polylines stayed.
TEST(DxfCommand, RenumberedAndKeptAreReportedOnce)
{
    fs::path dir = tempDir("reused-handles");
    std::ofstream(dir / "twice.dxf")
        << "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1032\n0\nENDSEC\n"
           "0\nSECTION\n2\nENTITIES\n"
           "0\nCIRCLE\n5\n2A\n40\n1\n0\nCIRCLE\n5\n2A\n40\n2\n0\nCIRCLE\n5\n2B\n40\n3\n"
           "0\nCIRCLE\n5\n2B\n40\n4\n0\nHATCH\n5\n2C\n"
           "0\nPOLYLINE\n5\n2D\n70\n0\n0\nVERTEX\n10\n0\n20\n0\n0\nVERTEX\n10\n1\n20\n0\n0\nSEQEND\n"
           "0\nTEXT\n5\n2E\n1\n%<\\AcLength Object(<2A;2B;2D>) \\f \"%lu2%pr3\">%\n"
           "0\nENDSEC\n0\nEOF\n";
    std::string path = (dir / "twice.dxf").string();
    auto r = runTessly("eval " + shellQuote(path) + " --json");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    auto lines = jsonLines(r.out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["display"], "25.133") << "2π·1 + 2π·3, the 2D polyline measures nothing";
    EXPECT_NE(r.err.find(path + ": skipped 1 HATCH; kept 1 2D polyline\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(path + ": renumbered 2 objects whose handles were used twice: 2A\u2192"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("renumbered"), r.err.rfind("renumbered"));
}

TEST(DxfCommand, FieldCommandReadsADxfDrawing)
{
    auto r = runTessly("field " + shellQuote("%<\\AcArea Object(<36>)>%") + " --drawing " +
                       shellQuote(kData + "plan2018.dxf"));
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, "200.0000\n");
}

TEST(DxfCommand, RefusedFormatsSayWhy)
{
    fs::path dir = tempDir("refused");
    struct Row {
        const char* name;
        std::string bytes;
        const char* error;
    } rows[] = {
        {"binary.dxf", std::string("AutoCAD Binary DXF\r\n\x1a\0\0\0", 24), "binary DXF is not supported"},
        {"plan.dwg", std::string("AC1032\0\0\0\0", 10), "DWG drawings (AC1032) are not supported"},
        {"renamed.json", std::string("AC1027\0\0\0\0", 10), "DWG drawings (AC1027) are not supported"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::ofstream(dir / row.name, std::ios::binary) << row.bytes;
        auto r = runTessly("eval " + shellQuote((dir / row.name).string()));
        EXPECT_EQ(r.exitStatus, 2);
        EXPECT_EQ(r.err,
                  (dir / row.name).string() + ": " + row.error + "; save the drawing as ASCII DXF" +
                      (std::string(row.name) == "binary.dxf" ? "" : " (R12 to R2018)") + "\n");
    }
}

TEST(DxfCommand, MalformedFileExitsWithStatus2)
{
    fs::path dir = tempDir("malformed");
    std::ofstream(dir / "bad.dxf") << "0\nSECTION\n2\nENTITIES\n0\nCIRCLE\n40\nwide\n0\nENDSEC\n0\nEOF\n";
    auto r = runTessly("eval " + shellQuote((dir / "bad.dxf").string()));
    EXPECT_EQ(r.exitStatus, 2);
    EXPECT_EQ(r.err,
              (dir / "bad.dxf").string() + ": line 8: CIRCLE group 40 must be a finite number, found \"wide\"\n");
}

TEST(DxfCommand, SaveFormatFollowsTheOutputName)
{
    fs::path dir = tempDir("save");
    fs::copy_file(kData + "plan2018.dxf", dir / "plan.dxf");
    // In place: a DXF drawing stays DXF; codes typed as text stay as they are.
    auto inPlace = runTessly("eval " + shellQuote((dir / "plan.dxf").string()) + " --save");
    ASSERT_EQ(inPlace.exitStatus, 0) << inPlace.err;
    EXPECT_TRUE(dxf::load((dir / "plan.dxf").string()).drawing.database);
    EXPECT_FALSE(fs::exists(dir / "plan.json"));

    std::string out = (dir / "plan.json").string();
    auto saved = runTessly("eval " + shellQuote((dir / "plan.dxf").string()) + " --save --output " + shellQuote(out));
    ASSERT_EQ(saved.exitStatus, 0) << saved.err;
    EXPECT_NE(saved.err.find("saved " + out), std::string::npos);
    // The JSON drawing reads back and shows the same values.
    expectAllFields(out, kData + "plan2018.expected.json");

    struct Refused {
        std::string input, output, error;
    } refused[] = {
        {(dir / "plan.dxf").string(), (dir / "plan.txt").string(), "cannot tell the format from the name"},
        {out, (dir / "mine.dxf").string(), "tessly writes DXF only for drawings read from DXF"},
    };
    for (const Refused& row : refused) {
        SCOPED_TRACE(row.output);
        auto r = runTessly("eval " + shellQuote(row.input) + " --save --output " + shellQuote(row.output));
        EXPECT_EQ(r.exitStatus, 2);
        EXPECT_NE(r.err.find(row.error), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(row.output));
    }

    auto lone = runTessly("eval " + shellQuote(out) + " --output x.json");
    EXPECT_EQ(lone.exitStatus, 2);
    EXPECT_EQ(lone.err, "tessly eval: --output goes with --save; see tessly eval --help\n");
}

// The example site plan uses every field type in both formats; all fields
// work; the DXF version holds them as FIELD objects, its table as ACAD_TABLE.
TEST(Examples, SitePlanInBothFormats)
{
    const std::set<std::string> allKinds{"AcLength",  "AcArea",    "AcBlockCount", "TextField",
                                         "TableCell", "ExcelCell", "TsExpr"};
    for (const char* name : {"site-plan.json", "site-plan.dxf"}) {
        SCOPED_TRACE(name);
        auto r = runTessly("eval " + shellQuote(std::string(TESSLY_EXAMPLES) + "/" + name) + " --json");
        ASSERT_EQ(r.exitStatus, 0) << r.err;
        std::set<std::string> kinds;
        std::map<std::string, std::string> shown;
        for (const Json& j : jsonLines(r.out)) {
            std::string kind = j["evaluator"];
            kinds.insert(kind);
            shown[kind] = j["display"];
            EXPECT_EQ(j["status"], 2) << kind;
            EXPECT_EQ(j.contains("fieldHandle"), std::string(name).ends_with(".dxf")) << kind;
        }
        EXPECT_EQ(kinds, allKinds);
        EXPECT_EQ(shown["TextField"], "J. Smith, surveyed 12/1/2026");
        EXPECT_EQ(shown["ExcelCell"], "$18,250.00");
        EXPECT_EQ(shown["AcArea"], "300.0");  // the house, the last area shown
        EXPECT_EQ(shown["TableCell"], "6");
    }
}

// Runs tessly eval --watch as a child with its output on a pipe.
class WatchProcess {
public:
    explicit WatchProcess(const std::string& drawing)
    {
        int out[2];
        if (::pipe(out) != 0)
            throw std::runtime_error("pipe");
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            ::execl(TESSLY_COMMAND_PATH, "tessly", "eval", drawing.c_str(), "--watch", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        m_out = out[0];
    }
    ~WatchProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::close(m_out);
    }
    // The next line of output, or empty after the timeout.
    std::string readLine(int timeoutMs = 10000)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (auto nl = m_buffer.find('\n'); nl != std::string::npos) {
                std::string line = m_buffer.substr(0, nl);
                m_buffer.erase(0, nl + 1);
                return line;
            }
            int left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                    .count());
            pollfd p{m_out, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, left) <= 0)
                return {};
            char chunk[4096];
            ssize_t n = ::read(m_out, chunk, sizeof chunk);
            if (n <= 0)
                return {};
            m_buffer.append(chunk, static_cast<size_t>(n));
        }
    }
    // Sends the signal and gives the exit status.
    int stop(int signal)
    {
        ::kill(m_pid, signal);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_buffer;
};

TEST(WatchMode, PrintsOnlyChangedFieldsAndStopsOnSignal)
{
    fs::path dir = tempDir("watch");
    std::ofstream(dir / "notes.txt") << "first";
    std::ofstream(dir / "site.json") << R"({"tesslyDrawing": 1, "objects": [
        {"type": "text", "handle": "1A", "text": "%<\\TextField notes.txt>%"},
        {"type": "text", "handle": "1B", "text": "%<\\TsExpr 1+2>%"}]})";
    WatchProcess watch((dir / "site.json").string());
    // The first pass prints the whole table: header and two rows.
    EXPECT_NE(watch.readLine().find("LOCATION"), std::string::npos);
    EXPECT_NE(watch.readLine().find("first"), std::string::npos);
    EXPECT_NE(watch.readLine().find('3'), std::string::npos);

    // The change stamp of a text file counts whole seconds: change it in the
    // next one, replacing the file as an editor does.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    std::ofstream(dir / "notes.new") << "second";
    fs::rename(dir / "notes.new", dir / "notes.txt");
    std::string changed = watch.readLine();
    EXPECT_NE(changed.find("text 1A"), std::string::npos) << changed;
    EXPECT_NE(changed.find("second"), std::string::npos) << changed;
    EXPECT_EQ(changed[2], ':') << "starts with the time: " << changed;

    // An edit of the drawing itself reloads it; only the new value shows.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::ofstream(dir / "site.json") << R"({"tesslyDrawing": 1, "objects": [
        {"type": "text", "handle": "1A", "text": "%<\\TextField notes.txt>%"},
        {"type": "text", "handle": "1B", "text": "%<\\TsExpr 2+2>%"}]})";
    changed = watch.readLine();
    EXPECT_NE(changed.find("text 1B"), std::string::npos) << changed;
    EXPECT_NE(changed.find("  3 → 4"), std::string::npos) << "old and new value: " << changed;
    EXPECT_EQ(watch.readLine(400), "") << "unchanged fields are not printed";

    EXPECT_EQ(watch.stop(SIGINT), 0);
}

}
