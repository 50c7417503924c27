// The command a user can trust, end to end: saves that never lose a file,
// drawings that keep what this program does not know, failures that show
// with their problem and exit status, and tessly check, whose findings must
// say what evaluation really does.
#include "tests/support/CommandOutput.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>

namespace {

using testhost::runTessly;
using testhost::shellQuote;
using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

constexpr auto jsonLines = &testhost::jsonLines<Json>;

using testhost::readFile;

class TempDir {
public:
    TempDir()
    {
        path = fs::temp_directory_path() /
            ("tessly-trust-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::create_directories(path);
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path, ec);
    }
    std::string write(const std::string& name, const std::string& text) const
    {
        std::ofstream(path / name) << text;
        return (path / name).string();
    }
    fs::path path;

private:
    static inline int counter = 0;
};

const std::string kLineDrawing = R"({"tesslyDrawing": 1, "objects": [
    {"type": "line", "handle": "20", "start": [0, 0], "end": [3, 4]},
    {"type": "text", "handle": "21", "text": "%<\\AcLength Object(<20>)>%"}]})";

// ---- saving ----

TEST(Save, ThroughASymbolicLinkWritesTheDrawingItNamesAndKeepsTheLink)
{
    TempDir dir;
    std::string real = dir.write("real.json", kLineDrawing);
    fs::create_symlink("real.json", dir.path / "link.json");
    auto r = runTessly("eval " + shellQuote((dir.path / "link.json").string()) + " --save");
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir.path / "link.json"));
    EXPECT_NE(readFile(real).find("\"status\": 2"), std::string::npos) << readFile(real);
}

TEST(Save, RefusesReadOnlyFilesAndFolders)
{
    TempDir dir;
    std::string file = dir.write("d.json", kLineDrawing);
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    auto r = runTessly("eval " + shellQuote(file) + " --save");
    EXPECT_EQ(r.exitStatus, 2);
    EXPECT_EQ(r.err, file + ": is read-only; not overwritten\n");
    EXPECT_EQ(readFile(file), kLineDrawing);

    TempDir locked;
    std::string inLocked = locked.write("d.json", kLineDrawing);
    fs::permissions(locked.path, fs::perms::owner_read | fs::perms::owner_exec);
    auto f = runTessly("eval " + shellQuote(inLocked) + " --save");
    EXPECT_EQ(f.exitStatus, 2);
    EXPECT_NE(f.err.find(": cannot write: its folder " + locked.path.string() + "/ is read-only"), std::string::npos)
        << f.err;
    EXPECT_EQ(readFile(inLocked), kLineDrawing);
}

// ---- the drawing file ----

TEST(DrawingFile, UnknownKeysOfAnObjectAreWrittenBackAsTheyWere)
{
    TempDir dir;
    std::string path = dir.write("d.json", R"({"tesslyDrawing": 1, "objects": [
        {"type": "line", "handle": "20", "start": [0, 0], "end": [3, 4], "note": {"by": "survey", "n": [1, 2]}},
        {"type": "text", "handle": "21", "text": "x", "colour": 3}]})");
    ASSERT_EQ(runTessly("eval " + shellQuote(path) + " --save").exitStatus, 0);
    std::map<std::string, Json> byHandle;
    Json saved = Json::parse(readFile(path));
    for (const Json& obj : saved["objects"])
        byHandle[obj["handle"]] = obj;
    EXPECT_EQ(byHandle["20"]["note"], Json::parse(R"({"by": "survey", "n": [1, 2]})"));
    EXPECT_EQ(byHandle["21"]["colour"], 3);
}

TEST(DrawingFile, UnreadableDrawingsNameTheProblem)
{
    TempDir dir;
    std::string misspelt = dir.write("m.json", R"({"tesslyDrawing": 1, "object": []})");
    fs::create_directory(dir.path / "folder.json");
    const struct {
        std::string path;
        std::string error;
    } rows[] = {
        {misspelt, misspelt + ": unknown key \"object\"; did you mean \"objects\"?\n"},
        {(dir.path / "folder.json").string(),
         (dir.path / "folder.json").string() + ": is a folder, not a drawing file\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        auto r = runTessly("eval " + shellQuote(row.path));
        EXPECT_EQ(r.exitStatus, 2);
        EXPECT_EQ(r.err, row.error);
    }
}

// ---- failures that show ----

TEST(Failures, ExitStatusAndProblemOfEachField)
{
    const struct {
        std::string code;
        int exitStatus;
        std::string problem;  // empty: no "problem" key
    } rows[] = {
        {"%<\\AcLength>%", 1, "the evaluator refused the code: the code has no parameters"},
        {"%<\\AcLenght Object(<20>)>%", 1, "no evaluator named AcLenght (did you mean AcLength?)"},
        {"%<\\TableCell TABLE(<20>).B2>%", 1, "the evaluator refused the code: <20> is a line, not a table"},
        {"%<\\AcLength Object(<20>)", 1, "the code has no closing >%; the text shows it as it is"},
        {"%<\\TsExpr 1+1>%", 0, ""},
        {"plain", 0, ""},
    };
    TempDir dir;
    std::string drawing = dir.write("d.json", kLineDrawing);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        auto r = runTessly("field " + shellQuote(row.code) + " --json --drawing " + shellQuote(drawing));
        EXPECT_EQ(r.exitStatus, row.exitStatus) << r.err;
        Json j = jsonLines(r.out).at(0);
        EXPECT_EQ(j["code"], row.code);
        EXPECT_EQ(j.contains("problem") ? j["problem"].get<std::string>() : "", row.problem);
    }
}

TEST(Failures, EvalShowsTheProblemColumnAndTheUnclosedCodeOfAText)
{
    TempDir dir;
    std::string path = dir.write("d.json", R"J({"tesslyDrawing": 1, "objects": [
        {"type": "text", "handle": "20", "text": "a %<\\TableCell TABLE(<F0>).$A$1>% b %<\\AcArea Object(<20>)"}]})J");
    auto r = runTessly("eval " + shellQuote(path));
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.out.find("PROBLEM"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("the evaluator refused the code: <F0> names no object of the drawing"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("8 syntax error"), std::string::npos) << r.out;
    auto j = jsonLines(runTessly("eval " + shellQuote(path) + " --json").out);
    ASSERT_EQ(j.size(), 2u);
    EXPECT_EQ(j[1]["code"], "%<\\AcArea Object(<20>)");
    EXPECT_EQ(j[1]["status"], 8);
    EXPECT_EQ(j[1]["location"]["owner"], "20");
}

// ---- tessly check ----

// One field per row: what check finds, and what evaluation then shows. The
// drawing: a line 5 long (20), a text (21), a 2 x 2 table (23), a block TREE
// with two references on layer 0.
struct CheckCase {
    std::string code;
    std::string finding;  // a part of the one finding; empty: none
    std::string display;  // what evaluation shows
};

TEST(Check, EveryFindingEvaluatesAsItSays)
{
    TempDir dir;
    const std::string workbook = std::string(TESSLY_EXAMPLES) + "/site-areas.xlsx";
    const CheckCase rows[] = {
        {"%<\\AcLength Object(<20>)>%", "", "5.0000"},
        {"%<\\AcLength Object(<99>)>%", "<99> names no object of the drawing; it adds nothing", "0.0000"},
        {"%<\\AcLength Object(<20;21>)>%", "<21> is a text, which AcLength does not measure; it adds nothing",
         "5.0000"},
        {"%<\\AcArea Object(<20>)>%", "<20> is a line, which AcArea does not measure; it adds nothing", "0.0000"},
        {"%<\\AcBlockCount \"TREE\">%", "", "2"},
        {"%<\\AcBlockCount \"TREE\" \\lyer \"X\">%", "\\lyer is not an option (did you mean \\layer?)", "2"},
        {"%<\\AcBlockCount \"TREE\" \\layer \"X\">%", "no layer is named \"X\"", "0"},
        {"%<\\AcBlockCount \"Tree\">%", "no block is named \"Tree\"", "0"},
        {"%<\\TableCell TABLE(<23>).$B$2>%", "", "b2"},
        {"%<\\TableCell TABLE(<23>).$C$9>%", "$C$9 is outside the table (2 rows, 2 columns); the value is empty", ""},
        {"%<\\TextField missing.txt>%", "missing.txt does not exist",
         (dir.path / "missing.txt").string() + " is not found."},
        {"%<\\ExcelCell none.xlsx:S:A1>%", "none.xlsx does not exist", "none.xlsx:S:A1 is not found."},
        {"%<\\ExcelCell " + workbook + ":Nope:B2>%", "the workbook has no worksheet named \"Nope\"",
         workbook + ":Nope:B2 is not found."},
        {"%<\\ExcelCell " + workbook + ":Areas:NoSuchName>%", "NoSuchName is neither a cell address nor a name",
         "####"},
        {"%<\\ExcelCell " + workbook + ":Areas:B2>%", "", "$18,250.00"},
        {"%<\\TsExpr 1+>%", "the expression gives the message \"Stack is empty", "Stack is empty, can not perform [+]"},
        {"%<\\TsExpr %<\\AcLength Object(<20>)>%*2>%", "", "10"},
    };
    Json objects = Json::parse(R"([
        {"type": "line", "handle": "20", "start": [0, 0], "end": [3, 4]},
        {"type": "text", "handle": "21", "text": "x"},
        {"type": "table", "handle": "23", "rows": 2, "columns": 2, "cells": [{"row": 1, "column": 1, "text": "b2"}]},
        {"type": "block", "handle": "24", "name": "TREE"},
        {"type": "insert", "handle": "25", "block": "24", "position": [0, 0]},
        {"type": "insert", "handle": "26", "block": "24", "position": [5, 0]}])");
    int handle = 0x40;
    for (const CheckCase& row : rows) {
        char h[8];
        std::snprintf(h, sizeof h, "%X", handle++);
        objects.push_back({{"type", "text"}, {"handle", h}, {"text", row.code}});
    }
    Json drawing = {{"tesslyDrawing", 1}, {"objects", objects}};
    std::string path = dir.write("d.json", drawing.dump());

    auto check = runTessly("check " + shellQuote(path) + " --json");
    EXPECT_EQ(check.exitStatus, 1) << check.err;
    std::map<std::string, std::vector<std::string>> findings;
    for (const Json& j : jsonLines(check.out))
        findings[j["code"]] = j["findings"].get<std::vector<std::string>>();
    auto eval = runTessly("eval " + shellQuote(path) + " --json");
    std::map<std::string, std::string> shown;
    std::set<int> starts;
    for (const Json& j : jsonLines(eval.out)) {
        shown[j["code"]] = j["display"];
        starts.insert(j["spreadsheetStarts"].get<int>());
    }
    EXPECT_EQ(starts.size(), 1u) << "the pass's counts, whatever finding a failure's cause does";

    for (const CheckCase& row : rows) {
        SCOPED_TRACE(row.code);
        const auto& found = findings[row.code];
        if (row.finding.empty()) {
            EXPECT_TRUE(found.empty()) << found.front();
        } else {
            ASSERT_EQ(found.size(), 1u);
            EXPECT_NE(found[0].find(row.finding), std::string::npos) << found[0];
        }
        EXPECT_EQ(shown[row.code], row.display);
    }
}

TEST(Check, CodesNestedTooDeepAndUnknownEvaluators)
{
    std::string code = "1";
    for (int i = 0; i < 33; ++i)
        code = "%<\\TsExpr " + code + "+1>%";
    Json drawing = {{"tesslyDrawing", 1},
                    {"objects",
                     {{{"type", "text"}, {"handle", "20"}, {"text", code}},
                      {{"type", "text"}, {"handle", "21"}, {"text", "%<\\TsExp 1>%"}}}}};
    TempDir dir;
    auto r = runTessly("check " + shellQuote(dir.write("d.json", drawing.dump())) + " --json");
    EXPECT_EQ(r.exitStatus, 1);
    auto lines = jsonLines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_NE(lines[0]["findings"].dump().find("codes nested deeper than 32 levels are not evaluated"),
              std::string::npos)
        << lines[0].dump();
    EXPECT_EQ(lines[1]["findings"][0], "no evaluator named TsExp (did you mean TsExpr?)");
}

TEST(Check, CleanDrawingExitsZero)
{
    TempDir dir;
    auto r = runTessly("check " + shellQuote(dir.write("d.json", kLineDrawing)));
    EXPECT_EQ(r.exitStatus, 0) << r.out;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(": no findings in 1 field\n"), std::string::npos) << r.err;
}

TEST(CheckFormerBugs, TheSummaryCountsTheFieldsChecked)
{
    // It said "in 0 fields" of a drawing whose fields had no findings.
    auto r = runTessly("check " + shellQuote(std::string(TESSLY_EXAMPLES) + "/site-plan.json"));
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.err.find(" in 0 fields"), std::string::npos) << r.err;
    auto some = runTessly("check " + shellQuote(std::string(TESSLY_TEST_DATA) + "/check-example.json"));
    EXPECT_NE(some.err.find(": 5 findings in 3 of 3 fields\n"), std::string::npos) << some.err;
}

// ---- small things ----

TEST(SmallThings, OptionsAndCommandsThatUsersMistype)
{
    const struct {
        std::string arguments;
        int exitStatus;
        std::string out;  // a part of standard output, or of standard error when it failed
    } rows[] = {
        {"evl x", 2, "tessly: unknown command \"evl\" (did you mean eval?)"},
        {"eval x --jsno", 2, "unknown option --jsno (did you mean --json?)"},
        {"eval x --json=true", 2, "tessly eval: --json takes no value; give --json alone"},
        {"eval x --only AcLenght", 2, "--only AcLenght: no evaluator has this id (did you mean AcLength?)"},
        {"eval x --format xml", 2, "--format xml: give table, json or csv"},
        {"expr -- '-1+2'", 0, "1\n"},
        {"help expr", 0, "usage: tessly expr"},
        {"--version", 0, "tessly 1."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments);
        auto r = runTessly(row.arguments);
        EXPECT_EQ(r.exitStatus, row.exitStatus);
        const std::string& text = row.exitStatus == 2 ? r.err : r.out;
        EXPECT_NE(text.find(row.out), std::string::npos) << text;
    }
}

TEST(SmallThings, ExprEvaluatesNestedFieldsAsTheFieldDoes)
{
    TempDir dir;
    std::string path = dir.write("d.json", kLineDrawing);
    std::string code = "ROUND(%<\\AcLength Object(<20>)>%/3, 2)";
    auto expr = runTessly("expr " + shellQuote(code) + " --drawing " + shellQuote(path));
    auto field = runTessly("field " + shellQuote("%<\\TsExpr " + code + ">%") + " --drawing " + shellQuote(path));
    EXPECT_EQ(expr.exitStatus, 0) << expr.err;
    EXPECT_EQ(expr.out, "1.6700\n");
    EXPECT_EQ(expr.out, field.out);
}

TEST(SmallThings, RelativeFilePathsWithoutADrawingCountFromTheCurrentFolder)
{
    TempDir dir;
    dir.write("notes.txt", "hello");
    fs::path before = fs::current_path();
    fs::current_path(dir.path);
    auto r = runTessly("field " + shellQuote("%<\\TextField notes.txt>%"));
    fs::current_path(before);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, "hello\n");
}

// ---- formats, filters, batches ----

const std::string kMixedDrawing = R"({"tesslyDrawing": 1, "objects": [
    {"type": "line", "handle": "20", "start": [0, 0], "end": [3, 4]},
    {"type": "text", "handle": "21", "text": "%<\\AcLength Object(<20>)>%"},
    {"type": "text", "handle": "22", "text": "%<\\AcArea Thing>%"},
    {"type": "text", "handle": "23", "text": "%<\\TsExpr 1+1>%"}]})";

TEST(Batches, FormatsAndFilters)
{
    TempDir dir;
    std::string path = shellQuote(dir.write("d.json", kMixedDrawing));
    auto csv = runTessly("eval " + path + " --format csv");
    EXPECT_EQ(csv.exitStatus, 1);
    EXPECT_EQ(csv.out,
              "location,evaluator,code,status,value,problem\n"
              "*Model_Space/text 21,AcLength,%<\\AcLength Object(<20>)>%,2,5.0000,\n"
              "*Model_Space/text 22,AcArea,%<\\AcArea Thing>%,16,####,\"the evaluator refused the code: the code "
              "must be Object(<handle;handle;...>); it is \"\"Thing\"\"\"\n"
              "*Model_Space/text 23,TsExpr,%<\\TsExpr 1+1>%,2,2,\n");
    auto only = jsonLines(runTessly("eval " + path + " --format json --only aclength,TsExpr").out);
    ASSERT_EQ(only.size(), 2u);
    EXPECT_EQ(only[0]["evaluator"], "AcLength");
    EXPECT_EQ(only[1]["evaluator"], "TsExpr");
    auto failed = runTessly("eval " + path + " --json --failed");
    auto lines = jsonLines(failed.out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["evaluator"], "AcArea");
    EXPECT_EQ(runTessly("eval " + path + " --only AcLength").exitStatus, 0) << "only the fields shown count";
    auto both = jsonLines(runTessly("eval " + path + " --json --failed --only tsexpr,AcArea").out);
    ASSERT_EQ(both.size(), 1u) << "both filters hold together";
    EXPECT_EQ(both[0]["evaluator"], "AcArea");
    EXPECT_TRUE(jsonLines(runTessly("eval " + path + " --json --failed --only AcLength").out).empty());
}

TEST(Batches, SeveralDrawingsInOrderWithTheWorstStatus)
{
    TempDir dir;
    std::string good = dir.write("good.json", kLineDrawing);
    std::string mixed = dir.write("mixed.json", kMixedDrawing);
    std::string bad = dir.write("bad.json", "{");
    for (const char* jobs : {"", " -j 3"}) {
        SCOPED_TRACE(jobs);
        auto r =
            runTessly("eval " + shellQuote(good) + " " + shellQuote(bad) + " " + shellQuote(mixed) + " --json" + jobs);
        EXPECT_EQ(r.exitStatus, 2) << "a drawing that cannot be read is the worst";
        auto lines = jsonLines(r.out);
        ASSERT_EQ(lines.size(), 4u) << r.out;
        EXPECT_EQ(lines[0]["location"]["owner"], "21");
        EXPECT_EQ(lines[3]["evaluator"], "TsExpr");
        EXPECT_NE(r.err.find(bad + ": " + bad + ": "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("3 drawings: 4 fields, 3 evaluated, 1 failed"), std::string::npos) << r.err;
    }
    auto fine = runTessly("eval " + shellQuote(good) + " " + shellQuote(mixed) + " -j 2");
    EXPECT_EQ(fine.exitStatus, 1);
    EXPECT_TRUE(fine.out.starts_with("== " + good + "\n")) << fine.out;
}

}
