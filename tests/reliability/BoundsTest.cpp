// Hostile sizes and shapes: deep nesting of parentheses, calls, field codes,
// patterns and blocks, cyclic block definitions, huge texts, forged and deep
// workbooks, a 3 GB file. Each must end with a result or an error; a stack
// overflow or a hang fails the run.
#include "expr/CExpression.h"
#include "host/dbblkref.h"
#include "host/dbsymtb.h"
#include "replacement_host/file/DrawingFile.h"
#include "spreadsheet_app/Spreadsheet.h"
#include "spreadsheet_app/TextConvert.h"
#include "tablecell/RegExp.h"
#include "tests/external/Files.h"
#include "tests/reliability/Workbooks.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

using testhost::Drawing;
using testhost::u8;

std::u16string repeat(std::u16string_view piece, size_t n)
{
    std::u16string s;
    s.reserve(piece.size() * n);
    for (size_t i = 0; i < n; ++i)
        s += piece;
    return s;
}

std::u16string evaluated(const std::u16string& expression)
{
    CExpression e(expression);
    std::u16string result;
    e.Evaluate(result);
    return result;
}

TEST(Bounds, DeepExpressionsEndWithAResult)
{
    const size_t n = 100000;
    const struct {
        const char* name;
        std::u16string text;
        const char* result;  // null: any text, so long as it ends
    } rows[] = {
        {"parentheses", repeat(u"(", n) + u"1" + repeat(u")", n), "1"},
        {"unclosed parentheses", repeat(u"(", n) + u"1", nullptr},
        {"calls", repeat(u"ABS(", n) + u"-2" + repeat(u")", n), "2"},
        {"unary minus", repeat(u"-", n) + u"1", nullptr},
        {"long sum", u"0" + repeat(u"+1", n), "100000"},
        {"long string", u"'" + std::u16string(1 << 20, u'x') + u"'", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::u16string result = evaluated(row.text);
        if (row.result) {
            EXPECT_EQ(u8(result), row.result);
        }
    }
}

TEST(Bounds, DeepFieldCodesThroughTheEngine)
{
    Drawing d;
    // Nesting beyond the host's limit is kept as text, not followed.
    std::u16string nested = repeat(u"%<\\TsExpr 1+", 2000) + u"1" + repeat(u">%", 2000);
    testhost::FieldResult r = d.evaluateCode(nested);
    EXPECT_FALSE(r.evaluator.empty());
    // An expression that evaluates a field code holding itself.
    std::u16string quoted = u"%<\\TsExpr ACAD_FIELD('" + repeat(u"%\x1f<\\TsExpr ACAD_FIELD(", 500) + u"1" +
        repeat(u")>\x1f%", 500) + u"')>%";
    d.evaluateCode(quoted);
}

TEST(Bounds, DeepAndLongPatternsFail)
{
    std::vector<std::u16string> groups;
    EXPECT_FALSE(matchGroups(u"a", repeat(u"(", 100000) + u"a" + repeat(u")", 100000), groups));
    EXPECT_FALSE(matchGroups(u"a", repeat(u"{", 100000) + u"a" + repeat(u"}", 100000), groups));
    CRegExp re;
    EXPECT_NE(re.parse(repeat(u"(", 100000) + u"a" + repeat(u")", 100000)), CRegExp::kOk);
    // A long text against a pattern that backtracks at every position.
    EXPECT_FALSE(matchGroups(std::u16string(20000, u'a'), u"{a*a*b}", groups));
}

TEST(Bounds, DeepJsonInADrawingFile)
{
    const size_t n = 200000;
    std::string arrays = std::string(n, '[') + std::string(n, ']');
    const std::string texts[] = {
        R"({"tesslyDrawing": 1, "objects": )" + arrays + "}",
        R"({"tesslyDrawing": 1, "objects": [{"type": "text", "handle": "1A", "text": )" + arrays + "}]}",
        R"({"tesslyDrawing": 1, "objects": )" + std::string(n, '['),
    };
    for (const std::string& text : texts) {
        drawingfile::LoadResult r = drawingfile::loadFromText(text, "deep.json");
        EXPECT_FALSE(r.database);
        EXPECT_NE(r.error.find("deep.json"), std::string::npos) << r.error.substr(0, 200);
    }
}

// Blocks that hold themselves, directly or through others, and a chain whose
// every level holds the next one twice.
std::string cyclicBlocks()
{
    std::string s = R"([
        {"type": "block", "handle": "10", "name": "*Model_Space"},
        {"type": "block", "handle": "20", "name": "SELF"},
        {"type": "point", "handle": "21", "owner": "20", "position": [1, 1]},
        {"type": "insert", "handle": "22", "owner": "20", "block": "20"},
        {"type": "insert", "handle": "23", "owner": "20", "block": "20", "position": [5, 5]},
        {"type": "insert", "handle": "24", "owner": "10", "block": "20"},
        {"type": "block", "handle": "30", "name": "PING"},
        {"type": "block", "handle": "31", "name": "PONG"},
        {"type": "insert", "handle": "32", "owner": "30", "block": "31"},
        {"type": "insert", "handle": "33", "owner": "31", "block": "30"},
        {"type": "insert", "handle": "34", "owner": "10", "block": "30"})";
    // L0 holds two references of L1, and so on: 2^40 paths to the point.
    const int levels = 40;
    for (int i = 0; i < levels; ++i) {
        std::string h = std::to_string(100 + 3 * i);
        std::string next = std::to_string(100 + 3 * (i + 1));
        s += R"(, {"type": "block", "handle": ")" + h + R"(", "name": "L)" + std::to_string(i) + R"("})";
        if (i + 1 < levels) {
            s += R"(, {"type": "insert", "handle": ")" + std::to_string(101 + 3 * i) + R"(", "owner": ")" + h +
                R"(", "block": ")" + next + R"("})";
            s += R"(, {"type": "insert", "handle": ")" + std::to_string(102 + 3 * i) + R"(", "owner": ")" + h +
                R"(", "block": ")" + next + R"(", "position": [1, 0]})";
        } else {
            s += R"(, {"type": "point", "handle": "FFF", "owner": ")" + h + R"(", "position": [0, 0]})";
        }
    }
    s += R"(, {"type": "insert", "handle": "FFE", "owner": "10", "block": "100"}])";
    return s;
}

TEST(Bounds, CyclicAndExplodingBlocksEnd)
{
    Drawing d(cyclicBlocks());
    const struct {
        std::u16string code;
        int count;
    } rows[] = {
        {u"SELF", 3},
        {u"\"SELF\" \\nested", 3},
        {u"\"SELF\" \\Window (-100,-100,0):(100,100,0) \\Space 10", 1},
        {u"PING;PONG", 3},
        {u"\"PING;PONG\" \\nested", 6},
        {u"\"PING\" \\Window (-100,-100,0):(100,100,0) \\Space 10", 0},  // no extents: it holds only itself
        {u"\"L39\" \\nested", 156},
        {u"\"L0\" \\Window (-1e9,-1e9,0):(1e9,1e9,0) \\Space 10", 0},  // too much work: no extents
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(u8(row.code));
        testhost::FieldResult r = d.evaluateCode(u"%<\\AcBlockCount " + row.code + u">%");
        ASSERT_EQ(r.status, 2);
        Adesk::Int32 n = -1;
        ASSERT_TRUE(r.value.get(n));
        EXPECT_EQ(n, row.count);
    }

    AcDbObjectPointer<AcDbBlockReference> self(d.idOf("24"), AcDb::kForRead);
    ASSERT_TRUE(self);
    AcDbExtents extents;
    EXPECT_EQ(self->getGeomExtents(extents), Acad::eOk) << "its own point, without the copies of itself";
    self.close();
    AcDbObjectPointer<AcDbBlockReference> ping(d.idOf("34"), AcDb::kForRead);
    EXPECT_EQ(ping->getGeomExtents(extents), Acad::eInvalidExtents);
    ping.close();

    AcDbSymbolTableRecordPointer<AcDbBlockTableRecord> pong(d.idOf("31"), AcDb::kForRead);
    std::vector<AcDbObjectId> ids;
    ASSERT_EQ(pong->getBlockReferenceIds(ids, false, false), Acad::eOk);
    EXPECT_EQ(ids.size(), 3u) << "32 directly, 33 and 34 through its holder PING, each once";
}

TEST(Bounds, HugeTextsInFields)
{
    testfiles::Folder dir;
    std::string big = dir.write("big.txt", std::string(16 << 20, 'x'));
    std::string huge = dir.write("huge.txt", "");
    ASSERT_EQ(::truncate(huge.c_str(), 3LL << 30), 0);  // 3 GB, sparse
    Drawing d;
    testhost::FieldResult r = d.evaluateCode(u"%<\\TextField " + testhost::u16(big) + u">%");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.display.size(), 16u << 20);
    EXPECT_EQ(d.evaluateCode(u"%<\\TextField " + testhost::u16(huge) + u">%").status, 16);
    // A megabyte of field code with no code in it.
    EXPECT_EQ(d.evaluateCode(u"%<\\AcBlockCount \"" + std::u16string(1 << 20, u'B') + u"\">%").status, 2);
    EXPECT_EQ(d.evaluateCode(u"%<\\AcLength Object(<" + repeat(u"1A;", 1 << 18) + u">)>%").status, 2);
}

void setUint32(std::string& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(value >> (8 * i));
}

TEST(Bounds, WorkbooksTooLargeOrTooDeep)
{
    testfiles::Folder dir;
    // Sizes claimed in the zip headers are believed only up to a bound: a
    // forged 4 GB size is refused before anything is allocated.
    std::string path = testbooks::workbookWith(dir, "xl/worksheets/sheet1.xml", std::string(1000, ' '));
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string bytes = ss.str();
    const std::string name = "xl/worksheets/sheet1.xml";
    for (size_t at = 0; (at = bytes.find("PK", at)) != std::string::npos; ++at) {
        if (bytes.compare(at + 2, 2, "\x03\x04") == 0 && bytes.compare(at + 30, name.size(), name) == 0)
            setUint32(bytes, at + 22, 0xFFFFFFF0u);
        if (bytes.compare(at + 2, 2, "\x01\x02") == 0 && bytes.compare(at + 46, name.size(), name) == 0)
            setUint32(bytes, at + 24, 0xFFFFFFF0u);
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    EXPECT_NE(testbooks::workbookError(path).find("'xl/worksheets/sheet1.xml' is too large"), std::string::npos)
        << testbooks::workbookError(path);

    // Deep and wide XML is read without recursion.
    std::string deep = "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
    for (int i = 0; i < 200000; ++i)
        deep += "<row>";
    path = testbooks::workbookWith(dir, "xl/worksheets/sheet1.xml", deep);
    EXPECT_NE(testbooks::workbookError(path), "") << "unclosed elements";
    std::string wide = "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
    for (int i = 0; i < 200000; ++i)
        wide += "<row><c r=\"A1\"><v>" + std::to_string(i) + "</v></c></row>";
    wide += "</sheetData></worksheet>";
    path = testbooks::workbookWith(dir, "xl/worksheets/sheet1.xml", wide);
    EXPECT_EQ(testbooks::workbookError(path), "");
}

}
