// The tessly command end to end: the JSON contract of "field", the main job
// "eval", and the one-line errors with exit status 2.
#include "tests/support/CommandOutput.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using testhost::runTessly;
using testhost::shellQuote;
using Json = nlohmann::ordered_json;

constexpr auto jsonLines = &testhost::jsonLines<Json>;

class TempDir {
public:
    TempDir()
    {
        path = std::filesystem::temp_directory_path() /
            ("tessly-cmd-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string write(const std::string& name, const std::string& text) const
    {
        std::ofstream(path / name) << text;
        return (path / name).string();
    }
    std::filesystem::path path;

private:
    static inline int counter = 0;
};

TEST(FieldCommand, JsonContractForAFieldWithAnEvaluator)
{
    auto r = runTessly("field " + shellQuote("%<\\AcLength>%") + " --json");
    EXPECT_EQ(r.exitStatus, 1) << "the field failed";
    auto lines = jsonLines(r.out);
    ASSERT_EQ(lines.size(), 1u);
    const Json& j = lines[0];
    std::vector<std::string> keys;
    for (auto& [k, v] : j.items())
        keys.push_back(k);
    EXPECT_EQ(keys,
              (std::vector<std::string>{"code", "evaluator", "compile", "status", "returned", "type", "value",
                                        "display", "problem", "spreadsheetStarts", "workbooksOpened"}));
    EXPECT_EQ(j["code"], "%<\\AcLength>%");
    EXPECT_EQ(j["problem"], "the evaluator refused the code: the code has no parameters");
    EXPECT_EQ(j["evaluator"], "AcLength");
    EXPECT_EQ(j["compile"], 3);
    EXPECT_EQ(j["status"], 16);
    EXPECT_TRUE(j["returned"].is_null());
    EXPECT_TRUE(j["type"].is_null());
    EXPECT_EQ(j["display"], "####");
}

TEST(FieldCommand, UnknownEvaluatorIsNullWithStatus4)
{
    auto r = runTessly("field " + shellQuote("%<\\NoSuchThing x>%") + " --json");
    auto j = jsonLines(r.out).at(0);
    EXPECT_TRUE(j["evaluator"].is_null());
    EXPECT_EQ(j["status"], 4);
    EXPECT_TRUE(j["compile"].is_null());
    EXPECT_EQ(j["display"], "####");
}

TEST(FieldCommand, StandardInputGivesOneObjectPerLineInOrder)
{
    auto r = runTessly("field - --json", "%<\\AcLength>%\n%<\\Nope 1>%\n\nplain text\r\n");
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    auto lines = jsonLines(r.out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0]["status"], 16);
    EXPECT_EQ(lines[1]["status"], 4);
    EXPECT_EQ(lines[2]["display"], "");
    EXPECT_EQ(lines[3]["value"], "plain text") << "a carriage return ends the line";
}

TEST(FieldCommand, WithoutJsonPrintsTheDisplayedValue)
{
    auto r = runTessly("field " + shellQuote("%<\\AcLength>%"));
    EXPECT_EQ(r.out, "####\n");
}

TEST(FieldCommand, UsesTheGivenDrawingAndSelection)
{
    TempDir dir;
    std::string path =
        dir.write("d.json", R"({"tesslyDrawing": 1, "objects": [{"type": "text", "handle": "2F1", "text": "x"}]})");
    EXPECT_EQ(runTessly("field x --drawing " + shellQuote(path) + " --select 2F1").exitStatus, 0);
    auto r = runTessly("field x --drawing " + shellQuote(path) + " --select 999");
    EXPECT_EQ(r.exitStatus, 2);
    EXPECT_EQ(r.err, "--select 999: no object of the drawing has this handle\n");
}

// A field's text goes out converted and escaped as it is written: every
// format shows the file's text exactly, and JSON lines are the bytes the
// JSON library itself writes.
TEST(FieldCommand, TextsGoOutEscapedAsEachFormatWantsThem)
{
    TempDir dir;
    // Quotes, a comma, a backslash, control characters, an accent, a
    // character outside the BMP and a byte that is not UTF-8.
    const std::string file = "say \"hi\", a\\b\ttab\r\nnext\x01\x1f\x7f \xC3\xA9 \xF0\x9D\x84\x9E \xFF end";
    const std::string shown = "say \"hi\", a\\b\ttab\r\nnext\x01\x1f\x7f \xC3\xA9 \xF0\x9D\x84\x9E \xEF\xBF\xBD end";
    dir.write("t.txt", file);
    std::string drawing = dir.write("d.json", R"({"tesslyDrawing": 1, "objects": [
        {"type": "mtext", "handle": "100", "text": "%<\\TextField t.txt>%"}]})");
    std::string code = shellQuote("%<\\TextField " + (dir.path / "t.txt").string() + ">%");

    EXPECT_EQ(runTessly("field " + code).out, shown + "\n");

    for (const std::string& command : {"field " + code + " --json", "eval " + shellQuote(drawing) + " --json"}) {
        SCOPED_TRACE(command);
        auto r = runTessly(command);
        ASSERT_EQ(r.exitStatus, 0) << r.err;
        auto lines = jsonLines(r.out);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0]["display"], shown);
        EXPECT_EQ(lines[0]["value"], shown);
        EXPECT_EQ(r.out, lines[0].dump() + "\n") << "written as the library writes it";
    }

    auto csv = runTessly("eval " + shellQuote(drawing) + " --format csv");
    std::string quoted;
    for (char c : shown)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    EXPECT_NE(csv.out.find(",2,\"" + quoted + "\",\n"), std::string::npos) << csv.out;

    auto table = runTessly("eval " + shellQuote(drawing));
    std::string escaped;
    for (char c : shown)
        escaped += c == '\t' ? std::string("\\t")
            : c == '\r'      ? std::string("\\r")
            : c == '\n'      ? std::string("\\n")
                             : std::string(1, c);
    EXPECT_NE(table.out.find("2 ok    " + escaped + "\n"), std::string::npos) << table.out;
}

// Plain runs longer than the writer's pieces, broken by characters that
// need escapes, near and across the pieces' ends.
TEST(FieldCommand, LongPlainRunsGoOutWhole)
{
    TempDir dir;
    std::string file;
    for (size_t run : {8190u, 8191u, 8192u, 70000u, 3u}) {
        file += std::string(run, 'a' + static_cast<char>(run % 26));
        file += "\"\\\t\xC3\xA9";
    }
    dir.write("t.txt", file);
    std::string drawing = dir.write("d.json", R"({"tesslyDrawing": 1, "objects": [
        {"type": "mtext", "handle": "100", "text": "%<\\TextField t.txt>%"}]})");
    auto r = runTessly("eval " + shellQuote(drawing) + " --json");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    auto lines = jsonLines(r.out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["value"], file);
    EXPECT_EQ(r.out, lines[0].dump() + "\n");
}

// UTF-16 the files cannot say in UTF-8 (lone surrogates, given in a DXF
// text as \U+XXXX) and characters at the edges of each UTF-8 length go out
// in the field's code, value and display as the JSON library writes them,
// and converted the same way in CSV and the table.
TEST(EvalCommand, EveryKindOfCharacterIsWrittenAsTheJsonLibraryWritesIt)
{
    struct Row {
        const char* what;
        std::string dxf;    // inside the TsExpr quotes, as the DXF file writes it
        std::string shown;  // UTF-8
    };
    const std::vector<Row> rows = {
        {"a pair", "\\U+D83D\\U+DE00", "\xF0\x9F\x98\x80"},
        {"a lone first half", "a\\U+D800b",
         "a\xEF\xBF\xBD"
         "b"},
        {"a lone second half", "a\\U+DC00b",
         "a\xEF\xBF\xBD"
         "b"},
        {"halves the wrong way round", "\\U+DE00\\U+D83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"a first half last", "ab\\U+D83D", "ab\xEF\xBF\xBD"},
        {"edges of UTF-8 lengths", "\\U+007F\\U+0080\\U+07FF\\U+0800\\U+FFFF",
         "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
        {"controls", "\\U+0001\\U+001F\\U+0008\\U+000C\\U+0009 \\U+000D", "\x01\x1F\b\f\t \r"},
        {"eight plain, then a control", "abcdefgh\\U+0001abcdefghi",
         "abcdefgh\x01"
         "abcdefghi"},
    };
    TempDir dir;
    std::string dxf = "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1032\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n";
    for (size_t i = 0; i < rows.size(); ++i)
        dxf += "0\nTEXT\n5\n" + std::to_string(100 + i) + "\n1\n%<\\TsExpr \"" + rows[i].dxf + "\">%\n";
    std::string drawing = dir.write("d.dxf", dxf + "0\nENDSEC\n0\nEOF\n");

    auto r = runTessly("eval " + shellQuote(drawing) + " --json");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    auto lines = jsonLines(r.out);
    ASSERT_EQ(lines.size(), rows.size());
    std::istringstream in(r.out);
    auto csv = runTessly("eval " + shellQuote(drawing) + " --format csv").out;
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].what);
        std::string line;
        std::getline(in, line);
        EXPECT_EQ(line, Json::parse(line).dump());
        EXPECT_EQ(lines[i]["code"], "%<\\TsExpr \"" + rows[i].shown + "\">%");
        EXPECT_TRUE(lines[i]["display"].get<std::string>().ends_with(rows[i].shown)) << lines[i]["display"];
        EXPECT_NE(csv.find("\"%<\\TsExpr \"\"" + rows[i].shown + "\"\">%\""), std::string::npos) << csv;
    }
}

// A field's code is written from its parts: the JSON and CSV codes are
// what the field gives for its code, quoted in CSV only when needed.
TEST(EvalCommand, CodesAreWrittenFromTheirParts)
{
    struct Row {
        const char* code;       // as the text holds it
        const char* evaluator;  // the CSV cell before it
        const char* csv;        // the CSV cell
    };
    const Row rows[] = {
        {R"(%<\AcLength Object(<20>) \f "%lu2%pr3">%)", "AcLength", R"("%<\AcLength Object(<20>) \f ""%lu2%pr3"">%")"},
        {R"(%<\AcLength \f "%lu2">%)", "AcLength", R"("%<\AcLength  \f ""%lu2"">%")"},
        {R"(%<\TsExpr MAX(1,2)>%)", "TsExpr", R"("%<\TsExpr MAX(1,2)>%")"},
        {R"(%<\TsExpr 1+1>%)", "TsExpr", R"(%<\TsExpr 1+1>%)"},
        {R"(%<\NoSuch a,b>%)", "NoSuch", R"("%<\NoSuch a,b>%")"},
        {R"(%<\TsExpr>%)", "TsExpr", R"(%<\TsExpr>%)"},
    };
    Json objects = Json::array({{{"type", "line"}, {"handle", "20"}, {"start", {0, 0}}, {"end", {3, 4}}}});
    for (size_t i = 0; i < std::size(rows); ++i)
        objects.push_back({{"type", "mtext"}, {"handle", std::to_string(30 + i)}, {"text", rows[i].code}});
    TempDir dir;
    std::string drawing = dir.write("d.json", Json{{"tesslyDrawing", 1}, {"objects", objects}}.dump());
    auto lines = jsonLines(runTessly("eval " + shellQuote(drawing) + " --json").out);
    auto csv = runTessly("eval " + shellQuote(drawing) + " --format csv").out;
    ASSERT_EQ(lines.size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].code);
        // The code a field gives back joins an empty parameter text and a format with two spaces.
        std::string code = rows[i].code;
        if (code == R"(%<\AcLength \f "%lu2">%)")
            code = R"(%<\AcLength  \f "%lu2">%)";
        EXPECT_EQ(lines[i]["code"], code);
        EXPECT_NE(csv.find("mtext " + std::to_string(30 + i) + "," + rows[i].evaluator + "," + rows[i].csv + ","),
                  std::string::npos)
            << csv;
    }
}

// An unclosed code is UTF-8 text of the report's own: it is escaped run by
// run as CSV and the table want it.
TEST(EvalCommand, UnclosedCodesAreEscapedAsEachFormatWantsThem)
{
    struct Row {
        const char* text;
        const char* csv;    // the code cell
        const char* table;  // the parameters cell
    };
    const Row rows[] = {
        {"a %<\\TsExpr \"x,y\"", R"("%<\TsExpr ""x,y""")", R"(%<\TsExpr "x,y")"},
        {"%<\\TsExpr a\tb\nc\r", "\"%<\\TsExpr a\tb\nc\r\"", R"(%<\TsExpr a\tb\nc\r)"},
        {"%<\\TsExpr \xC3\xA9\"", "\"%<\\TsExpr \xC3\xA9\"\"\"", "%<\\TsExpr \xC3\xA9\""},
    };
    Json objects = Json::array();
    for (size_t i = 0; i < std::size(rows); ++i)
        objects.push_back({{"type", "mtext"}, {"handle", std::to_string(30 + i)}, {"text", rows[i].text}});
    TempDir dir;
    std::string drawing = dir.write("d.json", Json{{"tesslyDrawing", 1}, {"objects", objects}}.dump());
    auto csv = runTessly("eval " + shellQuote(drawing) + " --format csv").out;
    auto table = runTessly("eval " + shellQuote(drawing)).out;
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NE(csv.find(std::string(",,") + rows[i].csv + ",8,"), std::string::npos) << csv;
        EXPECT_NE(table.find(std::string("  ") + rows[i].table + "  "), std::string::npos) << table;
    }
}

// Long texts are converted in steps: a pair across a step's end stays one
// character, and a run of plain text ends anywhere in eight units.
TEST(EvalCommand, LongTextsKeepPairsWhole)
{
    TempDir dir;
    std::string objects;
    std::vector<std::string> files;
    for (size_t before : {4093u, 4094u, 4095u, 4096u, 8191u, 8199u}) {
        std::string file = std::string(before, 'a') + "\xF0\x9F\x98\x80" + std::string(before % 13, 'b') + "\"";
        // In steps: GCC 12's -O3 misreads a literal + string (-Wrestrict).
        std::string name = "t";
        name += std::to_string(before);
        name += ".txt";
        dir.write(name, file);
        files.push_back(file);
        objects += std::string(objects.empty() ? "" : ",") + R"({"type": "mtext", "handle": ")" +
            std::to_string(100 + files.size()) + R"(", "text": "%<\\TextField )" + name + R"(>%"})";
    }
    std::string drawing = dir.write("d.json", R"({"tesslyDrawing": 1, "objects": [)" + objects + "]}");
    auto r = runTessly("eval " + shellQuote(drawing) + " --json");
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    auto lines = jsonLines(r.out);
    ASSERT_EQ(lines.size(), files.size());
    std::string expected;
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(lines[i]["value"], files[i]);
        expected += lines[i].dump() + "\n";
    }
    EXPECT_EQ(r.out, expected);
    auto table = runTessly("eval " + shellQuote(drawing)).out;
    for (const std::string& file : files)
        EXPECT_NE(table.find("2 ok    " + file + "\n"), std::string::npos);
}

// Each field of a text names its place in it, in every format, however
// many the text holds.
TEST(EvalCommand, FieldsOfALongTextKnowTheirPlaces)
{
    TempDir dir;
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "%<\\\\TsExpr " + std::to_string(i) + ">% ";  // a backslash in JSON
    std::string drawing = dir.write(
        "d.json", R"({"tesslyDrawing": 1, "objects": [{"type": "mtext", "handle": "20", "text": ")" + text + R"("}]})");
    auto lines = jsonLines(runTessly("eval " + shellQuote(drawing) + " --json").out);
    ASSERT_EQ(lines.size(), 300u);
    for (int i = 0; i < 300; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(lines[i]["value"], i);
        EXPECT_EQ(lines[i]["location"]["index"], i);
    }
    auto csv = runTessly("eval " + shellQuote(drawing) + " --format csv").out;
    EXPECT_NE(csv.find("*Model_Space/mtext 20 #300,TsExpr,%<\\TsExpr 299>%,2,299,\n"), std::string::npos);
}

// JSON lines are written out directly, not through the JSON library: each
// must be byte for byte what the library writes for the same object (reals
// large and small, texts, nulls, locations in blocks, unclosed codes, the
// DXF field handles and the drawing of a batch).
TEST(EvalCommand, JsonLinesAreWhatTheJsonLibraryWrites)
{
    TempDir dir;
    std::string odd = dir.write("odd.json", R"({"tesslyDrawing": 1, "objects": [
        {"type": "line", "handle": "20", "start": [0, 0], "end": [1e20, 0]},
        {"type": "line", "handle": "21", "start": [0, 0], "end": [0.0000001, 0]},
        {"type": "line", "handle": "22", "start": [0, 0], "end": [1e15, 0]},
        {"type": "line", "handle": "23", "start": [0, 0], "end": [1e16, 0]},
        {"type": "line", "handle": "24", "start": [0, 0], "end": [0.0001, 0]},
        {"type": "line", "handle": "25", "start": [0, 0], "end": [0.00001, 0]},
        {"type": "line", "handle": "26", "start": [0, 0], "end": [5e-324, 0]},
        {"type": "line", "handle": "27", "start": [0, 0], "end": [1.7976931348623157e308, 0]},
        {"type": "line", "handle": "28", "start": [0.1, 0], "end": [0.30000000000000004, 0]},
        {"type": "mtext", "handle": "29", "text": "%<\\AcLength Object(<22>)>% %<\\AcLength Object(<23>)>% %<\\AcLength Object(<24>)>% %<\\AcLength Object(<25>)>% %<\\AcLength Object(<26>)>% %<\\AcLength Object(<27>)>% %<\\AcLength Object(<28>)>%"},
        {"type": "block", "handle": "30", "name": "\u00c4 block"},
        {"type": "mtext", "handle": "31", "owner": "30", "text": "%<\\AcLength Object(<20>)>% and %<\\AcLength Object(<21>)>%"},
        {"type": "mtext", "handle": "40", "text": "%<\\AcLength Object(<20;21>)>% %<\\TsExpr 2*"},
        {"type": "mtext", "handle": "41", "text": "%<\\NoSuch x>%"},
        {"type": "mtext", "handle": "42", "text": "%<\\TsExpr \"tab\t\"\"quote\"\"\">%"}]})");
    const std::string examples = TESSLY_EXAMPLES;
    for (const std::string& drawings :
         {shellQuote(odd), shellQuote(examples + "/site-plan.json"), shellQuote(examples + "/site-plan.dxf"),
          shellQuote(odd) + " " + shellQuote(examples + "/site-plan.json")}) {
        SCOPED_TRACE(drawings);
        auto r = runTessly("eval " + drawings + " --json");
        std::istringstream in(r.out);
        int lines = 0;
        for (std::string line; std::getline(in, line); ++lines)
            EXPECT_EQ(line, Json::parse(line).dump());
        EXPECT_GT(lines, 2) << r.err;
    }
}

struct BadRun {
    const char* what;
    std::string arguments;
    std::string expectedError;  // the start of the one error line
};

TEST(Command, UserErrorsGiveOneLineAndStatus2)
{
    TempDir dir;
    std::string bad = dir.write("bad.json", "{\"tesslyDrawing\": 1, \"objects\": [");
    const BadRun rows[] = {
        {"unknown command", "frobnicate", "tessly: unknown command \"frobnicate\""},
        {"unknown option", "eval x --fast", "tessly eval: unknown option --fast"},
        {"missing value", "field x --drawing", "tessly field: --drawing needs a value"},
        {"no code", "field", "tessly field: give one field code"},
        {"no drawing", "eval", "tessly eval: give a drawing file"},
        {"missing drawing", "eval /nonexistent/d.json", "/nonexistent/d.json: cannot open"},
        {"malformed drawing", "eval " + shellQuote(bad), bad + ": parse error at line 1"},
        {"missing module", "field x --module /nonexistent/m.so", "cannot load module /nonexistent/m.so"},
        {"not a module",
         "field x --module " +
             shellQuote(std::filesystem::path(TESSLY_MODULE_PATH).parent_path() / "libtessly_sibling.so"),
         std::string(std::filesystem::path(TESSLY_MODULE_PATH).parent_path() / "libtessly_sibling.so") +
             " is not a TesslyEval module"},
    };
    for (const BadRun& row : rows) {
        SCOPED_TRACE(row.what);
        auto r = runTessly(row.arguments);
        EXPECT_EQ(r.exitStatus, 2);
        EXPECT_TRUE(r.err.starts_with(row.expectedError)) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST(Command, HelpListsEveryOptionWithAnExample)
{
    for (const char* command : {"eval", "field"}) {
        SCOPED_TRACE(command);
        auto r = runTessly(std::string(command) + " --help");
        EXPECT_EQ(r.exitStatus, 0);
        EXPECT_NE(r.out.find("example"), std::string::npos);
        EXPECT_NE(r.out.find("--module"), std::string::npos);
    }
}

TEST(ExprCommand, JsonContract)
{
    auto r = runTessly("expr - --json", "ROUND(1234.5678, -2)\n1/3*3\n'a' * 2\n'x'\n3000000000\nSUM(5)\n");
    EXPECT_EQ(r.exitStatus, 1) << "an expression gave a message";
    auto lines = jsonLines(r.out);
    ASSERT_EQ(lines.size(), 6u);
    std::vector<std::string> keys;
    for (auto& [k, v] : lines[0].items())
        keys.push_back(k);
    EXPECT_EQ(keys, (std::vector<std::string>{"ok", "text", "type", "value"}));
    EXPECT_EQ(lines[0], Json::parse(R"({"ok": true, "text": "1200", "type": "integer", "value": 1200})"));
    EXPECT_EQ(lines[1], Json::parse(R"({"ok": true, "text": "0.999999", "type": "real", "value": 0.999999})"));
    EXPECT_EQ(lines[2]["ok"], false);
    EXPECT_EQ(lines[2]["text"], "Either one of the operand is not a number can not perform [*]");
    EXPECT_EQ(lines[2]["type"], "text");
    EXPECT_EQ(lines[3]["text"], "\u0013x") << "markers stay in the text";
    EXPECT_EQ(lines[4]["type"], "real") << "beyond 32 bits";
    EXPECT_EQ(lines[5]["text"], "SUM requires at least two operands.");
}

TEST(ExprCommand, TableOfADrawingAndPlainOutput)
{
    TempDir dir;
    std::string path = dir.write("d.json", R"({"tesslyDrawing": 1, "objects": [
        {"type": "table", "handle": "2F1", "rows": 2, "columns": 1,
         "cells": [{"row": 0, "column": 0, "text": "1.5"}, {"row": 1, "column": 0, "text": "2"}]}]})");
    auto r = runTessly("expr 'SUM(A1:A2)*2' --drawing " + shellQuote(path) + " --table 2F1");
    EXPECT_EQ(r.out, "7\n") << r.err;
    EXPECT_EQ(runTessly("expr 'A1/4' --drawing " + shellQuote(path) + " --table 2f1").out, "0.3750\n");
    EXPECT_EQ(runTessly("expr 'A1' --drawing " + shellQuote(path)).out, "A1\n") << "no table: plain text";
    auto bad = runTessly("expr 'A1' --drawing " + shellQuote(path) + " --table 77");
    EXPECT_EQ(bad.exitStatus, 2);
    EXPECT_EQ(bad.err, "--table 77: no object of the drawing has this handle\n");
}

TEST(EvalCommand, EvaluatesEveryFieldAndSavesThem)
{
    TempDir dir;
    std::string path = dir.write("d.json", R"({"tesslyDrawing": 1, "objects": [
        {"type": "text", "handle": "20", "text": "a %<\\Unknown 1>% b %<\\AcLength>%"},
        {"type": "block", "handle": "21", "name": "Door"},
        {"type": "mtext", "handle": "22", "owner": "21", "text": "%<\\Unknown 2>%"}]})");
    auto r = runTessly("eval " + shellQuote(path) + " --json");
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    auto lines = jsonLines(r.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]["location"]["owner"], "20");
    EXPECT_EQ(lines[0]["location"]["block"], "*Model_Space");
    EXPECT_EQ(lines[1]["location"]["index"], 1);
    EXPECT_EQ(lines[1]["status"], 16);
    EXPECT_EQ(lines[2]["location"]["block"], "Door");

    auto table = runTessly("eval " + shellQuote(path));
    EXPECT_NE(table.out.find("LOCATION"), std::string::npos);
    EXPECT_NE(table.out.find("*Model_Space/text 20 #2"), std::string::npos) << table.out;
    EXPECT_NE(table.err.find("3 fields, 0 evaluated, 3 failed"), std::string::npos) << table.err;

    EXPECT_EQ(runTessly("eval " + shellQuote(path) + " --save").exitStatus, 1) << "saved, with failed fields";
    std::ifstream saved(path);
    Json drawing = Json::parse(saved);
    Json text;
    for (const Json& obj : drawing["objects"])
        if (obj["handle"] == "20")
            text = obj;
    EXPECT_EQ(text["fields"][1]["status"], 16);
    EXPECT_EQ(text["fields"][0]["status"], 4);
}

}
