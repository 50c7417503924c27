// Block count fields evaluated by the real field engine on drawings read
// from drawing-file text: the walk over the block table with its plain,
// dynamic and nested references and the filters applied to them.
#include "blockcount/AsdkBlockCountEvaluator.h"
#include "host/dbattr.h"
#include "host/dbblkref.h"
#include "host/dbsymtb.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/file/DrawingFile.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

namespace {

using testhost::Drawing;
using testhost::u8;

// Model space 10, paper space 11; blocks own points so their references have extents.
const std::string kLayouts = R"(
    {"type": "block", "handle": "10", "name": "*Model_Space"},
    {"type": "block", "handle": "11", "name": "*Paper_Space"})";

std::string drawing(const std::string& objects) { return "[" + kLayouts + "," + objects + "]"; }

struct Case {
    std::u16string code;
    int count;
};

void expectCounts(Drawing& d, std::initializer_list<Case> cases)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(u8(c.code));
        testhost::FieldResult r = d.evaluateCode(u"%<\\AcBlockCount " + c.code + u">%");
        EXPECT_EQ(r.evaluator, "AcBlockCount");
        ASSERT_EQ(r.status, 2);
        Adesk::Int32 n = -1;
        ASSERT_TRUE(r.value.get(n)) << "the count is a 32-bit integer";
        EXPECT_EQ(n, c.count);
    }
}

// A holds a point; B holds A twice; B stands once in model space at (100,100).
const std::string kNested = drawing(R"(
    {"type": "block", "handle": "20", "name": "A"},
    {"type": "point", "handle": "21", "owner": "20", "position": [1, 1]},
    {"type": "block", "handle": "22", "name": "B"},
    {"type": "insert", "handle": "23", "owner": "22", "block": "20", "position": [0, 0]},
    {"type": "insert", "handle": "24", "owner": "22", "block": "20", "position": [5, 0]},
    {"type": "insert", "handle": "25", "block": "22", "position": [100, 100]})");

TEST(BlockCount, NestedExample)
{
    Drawing d(kNested);
    expectCounts(d,
                 {
                     {u"A", 2},               // the two inside B are direct references
                     {u"\"A\" \\nested", 4},  // plus the two met through B's reference
                     {u"\"A\" \\nested \\Window (100,100,0):(110,110,0) \\Space 10", 2},
                     {u"\"A\" \\nested \\Window (100,100,0):(110,110,0) \\space 10 \\layer \"nope\"", 0},
                     {u"\"A\" \\Nested", 2},  // only the exact lower-case option sets the flag
                     {u"\"B\" \\nested", 1},
                     {u"\"A;B\" \\nested", 5},
                     {u"a", 0},
                     {u"Nothing", 0},
                     {u"\"\"", 0},
                 });
}

// A reference met through a holder adds all the holder holds, whatever
// filters those held references failed, with holders' references mixed.
TEST(BlockCount, NestedCountsWithHoldersInterleaved)
{
    Drawing d(drawing(R"(
        {"type": "block", "handle": "20", "name": "A"},
        {"type": "block", "handle": "21", "name": "B"},
        {"type": "block", "handle": "22", "name": "C"},
        {"type": "insert", "handle": "30", "owner": "21", "block": "20"},
        {"type": "insert", "handle": "31", "owner": "22", "block": "20"},
        {"type": "insert", "handle": "32", "owner": "21", "block": "20"},
        {"type": "insert", "handle": "33", "block": "21", "layer": "L"},
        {"type": "insert", "handle": "34", "block": "22"},
        {"type": "insert", "handle": "35", "block": "21"})"));
    expectCounts(d,
                 {{u"\"A\" \\nested", 8},                // 3 direct, 2 + 2 through B, 1 through C
                  {u"\"A\" \\nested \\layer \"L\"", 2},  // only B's reference on L, holding two
                  {u"\"B;C\" \\nested", 3},
                  {u"\"A;B\" \\nested", 10}});
}

TEST(BlockCount, DeeperNestingCountsWhatEachHolderHolds)
{
    // A in B, B in C, C in model space: A's own reference, B's reference
    // (holding one A) and C's reference (holding one B).
    Drawing d(drawing(R"(
        {"type": "block", "handle": "20", "name": "A"},
        {"type": "block", "handle": "22", "name": "B"},
        {"type": "block", "handle": "26", "name": "C"},
        {"type": "insert", "handle": "23", "owner": "22", "block": "20"},
        {"type": "insert", "handle": "27", "owner": "26", "block": "22"},
        {"type": "insert", "handle": "28", "block": "26"})"));
    expectCounts(d, {{u"\"A\" \\nested", 3}, {u"A", 1}});
}

// Door is dynamic; *U1 and *U2 are anonymous copies holding changed references.
const std::string kDynamic = drawing(R"(
    {"type": "block", "handle": "40", "name": "Door", "dynamic": true},
    {"type": "point", "handle": "50", "owner": "40", "position": [0, 0]},
    {"type": "block", "handle": "41", "name": "*U1", "dynamicBlock": "40"},
    {"type": "point", "handle": "51", "owner": "41", "position": [0, 0]},
    {"type": "block", "handle": "42", "name": "*U2", "dynamicBlock": "40"},
    {"type": "point", "handle": "52", "owner": "42", "position": [0, 0]},
    {"type": "insert", "handle": "43", "block": "40"},
    {"type": "insert", "handle": "44", "block": "40"},
    {"type": "insert", "handle": "45", "block": "41", "properties": [
        {"name": "Width", "type": 40, "value": 3.5},
        {"name": "Style", "type": 1, "value": "Oak"}]},
    {"type": "insert", "handle": "46", "block": "42", "properties": [
        {"name": "Flip", "type": 5, "value": 1},
        {"name": "width", "type": 70, "value": 2},
        {"name": "Width", "type": 90, "value": 7},
        {"name": "Count", "type": 90, "value": -3}]})");

TEST(BlockCount, DynamicBlockCountsThroughItsCopies)
{
    Drawing d(kDynamic);
    expectCounts(d,
                 {
                     {u"Door", 4},
                     {u"*U1", 0},  // a copy is counted under its dynamic block's name only
                     {u"Window", 0},
                     {u"\"Door\" \\tag \"Width\" \\op \">=\" \\value 3", 2},  // 3.5, then 2 fails and 7 holds
                     {u"\"Door\" \\tag \"WIDTH\" \\op \"<\" \\value 3", 1},   // 2 (type 70)
                     {u"\"Door\" \\tag \"Width\" \\value \"3.5\"", 1},        // "%g" of 3.5
                     {u"\"Door\" \\tag \"Style\" \\value \"oak\"", 1},
                     {u"\"Door\" \\tag \"Count\" \\value \"-3\"", 1},
                     {u"\"Door\" \\tag \"Flip\" \\value \"1\"", 0},  // other types are passed over
                     {u"\"Door\" \\tag \"Flip\" \\op \"!=\" \\value \"1\"", 0},
                     {u"\"Door\" \\tag \"Depth\"", 0},
                     {u"\"Door\" \\tag \"Width\" \\op \"!=\" \\value \"7\"", 2},
                 });
}

TEST(BlockCount, DynamicAndPlainReferencesMixedInOneWalk)
{
    // Frame holds a Door copy and a Panel; the references of Door, its copy,
    // Panel and Frame alternate in model space, so one walk meets dynamic and
    // plain blocks turn about, directly and through Frame.
    Drawing d(drawing(R"(
        {"type": "block", "handle": "40", "name": "Door", "dynamic": true},
        {"type": "block", "handle": "41", "name": "*U1", "dynamicBlock": "40"},
        {"type": "block", "handle": "60", "name": "Panel"},
        {"type": "block", "handle": "62", "name": "Frame"},
        {"type": "insert", "handle": "63", "owner": "62", "block": "41"},
        {"type": "insert", "handle": "64", "owner": "62", "block": "60"},
        {"type": "insert", "handle": "70", "block": "40"},
        {"type": "insert", "handle": "71", "block": "60"},
        {"type": "insert", "handle": "72", "block": "41"},
        {"type": "insert", "handle": "73", "block": "62"},
        {"type": "insert", "handle": "74", "block": "60"},
        {"type": "insert", "handle": "75", "block": "40"},
        {"type": "insert", "handle": "76", "block": "62"})"));
    expectCounts(d,
                 {
                     {u"Door", 4},
                     {u"Panel", 3},
                     {u"\"Door;Panel\"", 7},
                     {u"\"Door;Panel\" \\nested", 11},
                     {u"\"Door\" \\nested", 6},
                     {u"\"Frame;Panel\" \\nested", 7},
                 });
}

// Door references with the attribute TYPE set to 3, 5, abc and empty, one with TYPE twice, one without.
const std::string kTagged = drawing(R"(
    {"type": "block", "handle": "20", "name": "Door"},
    {"type": "insert", "handle": "30", "block": "20", "layer": "A-DOOR"},
    {"type": "attribute", "handle": "31", "owner": "30", "tag": "TYPE", "text": "3"},
    {"type": "insert", "handle": "32", "block": "20"},
    {"type": "attribute", "handle": "33", "owner": "32", "tag": "OTHER", "text": "9"},
    {"type": "attribute", "handle": "34", "owner": "32", "tag": "type", "text": "5"},
    {"type": "insert", "handle": "35", "block": "20"},
    {"type": "attribute", "handle": "36", "owner": "35", "tag": "TYPE", "text": "abc"},
    {"type": "insert", "handle": "37", "block": "20"},
    {"type": "attribute", "handle": "38", "owner": "37", "tag": "TYPE", "text": ""},
    {"type": "insert", "handle": "39", "block": "20"},
    {"type": "attribute", "handle": "3A", "owner": "39", "tag": "TYPE", "text": "1"},
    {"type": "attribute", "handle": "3B", "owner": "39", "tag": "TYPE", "text": "8"},
    {"type": "attribute", "handle": "3C", "owner": "39", "tag": "TYPE", "text": "8", "erased": true},
    {"type": "insert", "handle": "3D", "block": "20"})");

TEST(BlockCount, AttributeTagsWithEveryOperator)
{
    Drawing d(kTagged);
    expectCounts(d,
                 {
                     {u"Door", 6},
                     {u"\"Door\" \\tag \"TYPE\" \\op \">=\" \\value \"3\"", 3},  // 3, 5, and 8 after 1
                     {u"\"Door\" \\tag \"TYPE\" \\op \">\" \\value \"3\"", 2},
                     {u"\"Door\" \\tag \"TYPE\" \\op \"<=\" \\value \"3\"", 4},  // 3, abc and "" read as 0, 1
                     {u"\"Door\" \\tag \"TYPE\" \\op \"<\" \\value \"3\"", 3},
                     {u"\"Door\" \\tag \"TYPE\" \\op \"!=\" \\value \"ABC\"", 4},
                     {u"\"Door\" \\tag \"TYPE\" \\op \"=\" \\value \"ABC\"", 1},
                     {u"\"Door\" \\tag \"TYPE\" \\value \"abc\"", 1},
                     {u"\"Door\" \\tag \"TYPE\" \\op \" > \" \\value \"5\"", 1},  // no row matches: equality
                     {u"\"Door\" \\tag \"TYPE\"", 1},                             // the empty text
                     {u"\"Door\" \\tag \"MISSING\" \\op \"!=\" \\value \"x\"", 0},
                     {u"\"Door\" \\TAG \"type\" \\OP \">=\" \\VALUE 5 \\layer \"A-DOOR\"", 0},
                     {u"\"Door\" \\TAG \"type\" \\OP \">=\" \\VALUE 3 \\layer \"A-DOOR\"", 1},
                 });
}

// More attributes than a reference usually has; one erased among them.
TEST(BlockCount, ManyAttributesOnOneReference)
{
    Drawing d(drawing(R"(
        {"type": "block", "handle": "20", "name": "Tag"},
        {"type": "insert", "handle": "30", "block": "20"},
        {"type": "attribute", "handle": "31", "owner": "30", "tag": "A", "text": "1"},
        {"type": "attribute", "handle": "32", "owner": "30", "tag": "B", "text": "2"},
        {"type": "attribute", "handle": "33", "owner": "30", "tag": "C", "text": "3"},
        {"type": "attribute", "handle": "34", "owner": "30", "tag": "D", "text": "4", "erased": true},
        {"type": "attribute", "handle": "35", "owner": "30", "tag": "E", "text": "5"},
        {"type": "attribute", "handle": "36", "owner": "30", "tag": "TYPE", "text": "7"})"));
    expectCounts(d,
                 {
                     {u"\"Tag\" \\tag \"TYPE\" \\value \"7\"", 1},
                     {u"\"Tag\" \\tag \"E\" \\value \"5\"", 1},
                     {u"\"Tag\" \\tag \"D\" \\value \"4\"", 0},
                     {u"\"Tag\" \\tag \"A\" \\op \">\" \\value \"0\"", 1},
                 });
}

// Block W spans (0,0) to (10,10) in its own coordinates.
const std::string kWindows = drawing(R"(
    {"type": "block", "handle": "20", "name": "W"},
    {"type": "point", "handle": "21", "owner": "20", "position": [0, 0]},
    {"type": "point", "handle": "22", "owner": "20", "position": [10, 10, 4]},
    {"type": "block", "handle": "23", "name": "Empty"},
    {"type": "insert", "handle": "30", "block": "20"},
    {"type": "insert", "handle": "31", "block": "20", "position": [100, 0], "scale": 2, "rotation": 90},
    {"type": "insert", "handle": "32", "block": "20", "owner": "11"},
    {"type": "insert", "handle": "33", "block": "23"})");

TEST(BlockCount, Windows)
{
    Drawing d(kWindows);
    expectCounts(d,
                 {
                     {u"\"W\" \\Window (0,0,0):(10,10,0) \\Space 10", 1},    // touching from inside
                     {u"\"W\" \\Window (10,10,0):(0,0,0) \\Space 10", 1},    // corners in any order
                     {u"\"W\" \\Window (0,0,50):(10,10,60) \\Space 10", 1},  // z is not tested
                     {u"\"W\" \\Window (0,0,0):(9.99,10,0) \\Space 10", 0},  // crossing
                     {u"\"W\" \\Window (0.01,0,0):(10,10,0) \\Space 10", 0},
                     {u"\"W\" \\Window (-1,-1,0):(200,200,0) \\Space 10", 2},
                     {u"\"W\" \\Window (80,0,0):(100,20,0) \\Space 10", 1},  // scaled and turned: (80,0)-(100,20)
                     {u"\"W\" \\Window (80,0,0):(99,20,0) \\Space 10", 0},
                     {u"\"W\" \\Window (0,0,0):(10,10,0) \\Space 11", 1},  // the paper-space one
                     {u"\"W\" \\Window (0,0,0):(10,10,0)", 3},             // no space: no window either
                     {u"\"W\" \\Window (0,0):(10,10) \\Space 10", 3},
                     {u"\"W\" \\Space 10", 3},
                     {u"\"W\" \\Window (0,0,0) : (10,10,0) \\Space 10", 0},            // corner B is (0,10,0)
                     {u"\"Empty\" \\Window (-1e9,-1e9,0):(1e9,1e9,0) \\Space 10", 0},  // no extents
                     {u"Empty", 1},
                 });
}

// A definition whose base point is not the origin: its geometry is placed
// from the base point, so the reference covers exactly [50,52] x [0,1] and,
// scaled and turned, [77,80] x [1,7]; the saved drawing keeps the base point.
TEST(BlockCount, WindowsOfABlockWithABasePoint)
{
    const std::string objects = drawing(R"(
        {"type": "block", "handle": "20", "name": "Mark", "base": [1, 1]},
        {"type": "line", "handle": "21", "owner": "20", "start": [1, 1], "end": [3, 2]},
        {"type": "insert", "handle": "30", "block": "20", "position": [50, 0]},
        {"type": "insert", "handle": "31", "block": "20", "position": [80, 1], "scale": 3, "rotation": 90})");
    drawingfile::LoadResult loaded =
        drawingfile::loadFromText("{\"tesslyDrawing\": 1, \"objects\": " + objects + "}", "base.json");
    ASSERT_TRUE(loaded.database) << loaded.error;
    drawingfile::LoadResult saved = drawingfile::loadFromText(drawingfile::toText(*loaded.database), "saved.json");
    ASSERT_TRUE(saved.database) << saved.error;
    Drawing d(objects);
    expectCounts(d,
                 {
                     {u"\"Mark\" \\Window (50,0,0):(52,1,0) \\Space 10", 1},
                     {u"\"Mark\" \\Window (50,0,0):(51.99,1,0) \\Space 10", 0},
                     {u"\"Mark\" \\Window (50.01,0,0):(52,1,0) \\Space 10", 0},
                     {u"\"Mark\" \\Window (77,1,0):(80,7,0) \\Space 10", 1},
                     {u"\"Mark\" \\Window (77,1,0):(80,6.99,0) \\Space 10", 0},
                 });
    AcDbObjectId markId;
    ASSERT_EQ(saved.database->getAcDbObjectId(markId, false, AcDbHandle(0x20)), Acad::eOk);
    auto* mark = AcDbBlockTableRecord::cast(HostAccess::objectAt(*saved.database, markId));
    ASSERT_TRUE(mark);
    EXPECT_EQ(mark->origin().x, 1);
    EXPECT_EQ(mark->origin().y, 1);
}

TEST(BlockCount, SpaceOfAnotherLayoutCountsNothingInModelSpace)
{
    Drawing d(kNested);
    expectCounts(d,
                 {{u"\"B\" \\Window (0,0,0):(200,200,0) \\Space 11", 0},
                  {u"\"B\" \\Window (0,0,0):(200,200,0) \\Space 10", 1},
                  {u"\"B\" \\Window (0,0,0):(200,200,0) \\Space 0010", 0}});  // handles compare as text
}

TEST(BlockCount, ErasedAndSkippedRecords)
{
    Drawing d(drawing(R"(
        {"type": "block", "handle": "20", "name": "A"},
        {"type": "insert", "handle": "30", "block": "20"},
        {"type": "insert", "handle": "31", "block": "20", "erased": true},
        {"type": "block", "handle": "22", "name": "Gone", "erased": true},
        {"type": "insert", "handle": "32", "owner": "22", "block": "20"},
        {"type": "insert", "handle": "33", "block": "22"},
        {"type": "block", "handle": "24", "name": "X1", "xref": {"path": "x.dwg", "unloaded": true}},
        {"type": "insert", "handle": "34", "block": "24"},
        {"type": "block", "handle": "25", "name": "X2", "xref": {"path": "x.dwg", "overlay": true}},
        {"type": "insert", "handle": "35", "block": "25"},
        {"type": "block", "handle": "26", "name": "X3", "xref": {"path": "x.dwg"}},
        {"type": "insert", "handle": "36", "block": "26"},
        {"type": "insert", "handle": "37", "block": "11"})"));
    expectCounts(d,
                 {
                     {u"A", 1},  // erased, and inside an erased block, do not count
                     {u"\"A\" \\nested", 1},
                     {u"Gone", 0},
                     {u"X1;X2;X3", 1},  // unloaded and overlaid references are left out
                     {u"*Paper_Space", 0},
                 });
}

TEST(BlockCount, LayerNamesCompareExactly)
{
    Drawing d(kTagged);
    expectCounts(d,
                 {{u"\"Door\" \\layer \"A-DOOR\"", 1},
                  {u"\"Door\" \\layer \"a-door\"", 0},
                  {u"\"Door\" \\layer \"0;A-DOOR\"", 6},
                  {u"Door \\layer \"A-DOOR\"", 0}});  // the name is "Door \layer "
}

// Each reference is tested on its own layer however the layers alternate,
// and however many layers a walk meets.
TEST(BlockCount, LayersAlternatingWithinOneWalk)
{
    Drawing d(drawing(R"(
        {"type": "block", "handle": "20", "name": "Door"},
        {"type": "insert", "handle": "30", "block": "20", "layer": "A"},
        {"type": "insert", "handle": "31", "block": "20", "layer": "B"},
        {"type": "insert", "handle": "32", "block": "20", "layer": "A"},
        {"type": "insert", "handle": "33", "block": "20"},
        {"type": "insert", "handle": "34", "block": "20", "layer": "C"},
        {"type": "insert", "handle": "35", "block": "20", "layer": "D"},
        {"type": "insert", "handle": "36", "block": "20", "layer": "E"},
        {"type": "insert", "handle": "37", "block": "20", "layer": "A"},
        {"type": "insert", "handle": "38", "block": "20", "layer": "B"},
        {"type": "insert", "handle": "39", "block": "20", "layer": "F"},
        {"type": "insert", "handle": "3A", "block": "20", "layer": "C"})"));
    expectCounts(d,
                 {{u"\"Door\" \\layer \"A\"", 3},
                  {u"\"Door\" \\layer \"B\"", 2},
                  {u"\"Door\" \\layer \"A;0\"", 4},
                  {u"\"Door\" \\layer \"0;B\"", 3},
                  {u"\"Door\" \\layer \"C;F\"", 3},
                  {u"\"Door\" \\layer \"E\"", 1}});
}

TEST(BlockCount, NestedHelpers)
{
    Drawing d(kNested);
    std::vector<AcDbObjectId> ids{d.idOf("23"), d.idOf("24"), d.idOf("25")};
    EXPECT_EQ(AsdkBlockCountEvaluator::countNestedReferences(d.idOf("22"), d.idOf("25"), ids), 2u);
    EXPECT_EQ(AsdkBlockCountEvaluator::countNestedReferences(d.idOf("22"), d.idOf("23"), ids), 1u);
    EXPECT_EQ(AsdkBlockCountEvaluator::countNestedReferences(d.idOf("10"), d.idOf("23"), ids), 1u);
    EXPECT_EQ(u8(AsdkBlockCountEvaluator::ownerHandleText(d.idOf("22"))), "22");
    EXPECT_EQ(u8(AsdkBlockCountEvaluator::ownerHandleText(AcDbObjectId())), "");
    EXPECT_EQ(HostAccess::openObjectCount(d.database()), 0);
}

TEST(BlockCount, EveryOpenIsClosed)
{
    Drawing d(kTagged);
    expectCounts(
        d, {{u"\"Door\" \\tag \"TYPE\" \\op \">=\" \\value \"3\" \\nested \\Window (-1,-1,0):(1,1,0) \\Space 10", 0}});
    EXPECT_EQ(HostAccess::openObjectCount(d.database()), 0);
}

TEST(BlockReferenceFile, SavedDrawingCountsTheSame)
{
    for (const std::string& objects : {kNested, kDynamic, kTagged, kWindows}) {
        Drawing first(objects);
        std::string saved = drawingfile::toText(first.database());
        drawingfile::LoadResult again = drawingfile::loadFromText(saved, "saved");
        ASSERT_TRUE(again.database) << again.error;
        EXPECT_EQ(drawingfile::toText(*again.database), saved);
        for (const char16_t* names : {u"A", u"Door", u"W"}) {
            CStringArrayEx list{names};
            EXPECT_EQ(AsdkBlockCountEvaluator::countBlockReferences(list, {}, u"", u"", u"", {}, {}, true,
                                                                    again.database.get()),
                      AsdkBlockCountEvaluator::countBlockReferences(list, {}, u"", u"", u"", {}, {}, true,
                                                                    &first.database()));
        }
    }
}

Adesk::Int32 countOf(const testhost::FieldResult& r)
{
    Adesk::Int32 n = -1;
    r.value.get(n);
    return r.status == 2 ? n : -1;
}

TEST(BlockCount, FieldsOfOnePassCountAsEachAlone)
{
    // Many counts in one pass give what each gives alone, each code twice:
    // nothing one count reads may leak into the next.
    struct Set {
        const std::string& objects;
        std::vector<std::u16string> codes;
    };
    const Set sets[] = {
        {kNested,
         {u"A", u"\"A\" \\nested", u"\"A\" \\nested \\Window (100,100,0):(110,110,0) \\Space 10", u"\"A;B\" \\nested",
          u"\"B\" \\nested \\layer \"0\"", u"Nothing"}},
        {kDynamic,
         {u"Door", u"\"Door\" \\tag \"Width\" \\op \">=\" \\value 3", u"\"Door\" \\nested",
          u"\"Door\" \\tag \"Style\" \\value \"oak\""}},
        {kTagged,
         {u"Door", u"\"Door\" \\tag \"TYPE\" \\op \">=\" \\value \"3\"", u"\"Door\" \\layer \"A-DOOR\"",
          u"\"Door\" \\TAG \"type\" \\OP \">=\" \\VALUE 3 \\layer \"A-DOOR\"", u"\"Door\" \\tag \"TYPE\""}},
        {kWindows,
         {u"W", u"\"W\" \\Window (0,0,0):(10,10,0) \\Space 10", u"\"W\" \\Window (0,0,0):(200,200,0) \\Space 11",
          u"\"W;Empty\" \\Window (-100,-100,0):(200,200,0) \\Space 10"}},
    };
    for (const Set& set : sets) {
        Drawing alone(set.objects), together(set.objects);
        std::vector<AcDbObjectId> ids;
        for (int round = 0; round < 2; ++round)
            for (const std::u16string& code : set.codes)
                ids.push_back(together.addField(u"%<\\AcBlockCount " + code + u">%"));
        together.evaluate();
        for (size_t i = 0; i < ids.size(); ++i) {
            const std::u16string& code = set.codes[i % set.codes.size()];
            SCOPED_TRACE(u8(code));
            EXPECT_EQ(countOf(together.result(ids[i])),
                      countOf(alone.evaluateCode(u"%<\\AcBlockCount " + code + u">%")));
        }
        EXPECT_EQ(HostAccess::openObjectCount(together.database()), 0);
    }
}

TEST(BlockCount, EachPassSeesTheDrawingAsItIsThen)
{
    Drawing d(kTagged);
    AcDbObjectId all = d.addField(u"%<\\AcBlockCount Door>%");
    AcDbObjectId abc = d.addField(u"%<\\AcBlockCount \"Door\" \\tag \"TYPE\" \\value \"abc\">%");
    d.evaluate();
    EXPECT_EQ(countOf(d.result(all)), 6);
    EXPECT_EQ(countOf(d.result(abc)), 1);
    ASSERT_EQ(HostAccess::objectAt(d.database(), d.idOf("30"))->erase(), Acad::eOk);
    auto* empty = AcDbAttribute::cast(HostAccess::objectAt(d.database(), d.idOf("38")));
    ASSERT_TRUE(empty);
    empty->setTextString(u"ABC");
    d.evaluate();
    EXPECT_EQ(countOf(d.result(all)), 5);
    EXPECT_EQ(countOf(d.result(abc)), 2);
}

// Former bugs.
TEST(BlockCountFormerBugs, AnonymousBlockInsideAnotherIsNotCountedForAnyName)
{
    // *U5 is a plain anonymous block and *U6 a copy of dynamic Door, both
    // placed inside B, which stands once in model space. The references met
    // through B used to be counted whatever names were listed.
    Drawing d(drawing(R"(
        {"type": "block", "handle": "40", "name": "Door", "dynamic": true},
        {"type": "block", "handle": "41", "name": "*U5"},
        {"type": "block", "handle": "42", "name": "*U6", "dynamicBlock": "40"},
        {"type": "block", "handle": "22", "name": "B"},
        {"type": "insert", "handle": "23", "owner": "22", "block": "41"},
        {"type": "insert", "handle": "24", "owner": "22", "block": "42"},
        {"type": "insert", "handle": "25", "block": "22"})"));
    expectCounts(d,
                 {
                     {u"\"Nothing\" \\nested", 0},
                     {u"\"Window\" \\nested", 0},
                     {u"\"Door\" \\nested", 2},  // the copy inside B, and B's reference holding it
                     {u"\"*U5\" \\nested", 2},
                     {u"\"B\" \\nested", 1},
                 });
}

}
