// The block count field code taken apart: option values, the whole code,
// window corners, value comparison and the number reader.
#include "blockcount/AsdkBlockCountEvaluator.h"
#include "blockcount/BlockCountCode.h"
#include "blockcount/LeadingNumber.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using testhost::u8;

TEST(OptionValue, Table)
{
    struct Row {
        std::u16string text, option, expected;
    } rows[] = {
        {u"\"A\" \\layer \"0\"", u"\\layer", u"0"},
        {u"\"A\" \\layer \"0\"", u"layer", u"0"},         // leading backslashes are optional
        {u"\"A\" \\LAYER \"0\"", u"\\layer", u"0"},       // names ignore case
        {u"\"A\" \\layer\"0\"", u"\\layer", u"0"},        // value right after the name
        {u"\"A\" \\op \" > \"", u"\\op", u" > "},         // blanks inside quotes stay
        {u"\"A\" \\tag\\tag TYPE", u"\\tag", u"TYPE"},    // a bare name is not taken
        {u"\"A\" \\tag \\tag TYPE", u"\\tag", u""},       // a name and a blank is
        {u"\"A\" \\tagged", u"\\tag", u"ged"},            // the segment only has to begin with it
        {u"Tagged \\layer 0", u"\\tag", u"(unset)"},      // the names are never an option
        {u"\\tag X", u"\\tag", u"X"},                     // a leading backslash opens an option
        {u"\"A\" \\value \"\"3\"\" ", u"\\value", u"3"},  // every quote at either end goes
        {u"\"A\" \\layer \"0\"", u"\\tag", u"(unset)"},
        {u"", u"\\tag", u"(unset)"},
        {u"\"A\" \\tag X", u"", u"(unset)"},
        {u"\"A\" \\tag X", u"\\", u"(unset)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(u8(row.text) + " / " + u8(row.option));
        AcString value = u"(unset)";
        getOptionValue(row.text, row.option, value);
        EXPECT_EQ(u8(value), u8(row.expected));
    }
}

TEST(OptionList, SplitsAndAppends)
{
    CStringArrayEx list{u"kept"};
    getOptionList(u"\"A\" \\layer \";A-DOOR;;0;\"", u"\\layer", list);
    EXPECT_EQ(list, (CStringArrayEx{u"kept", u"A-DOOR", u"0"}));
    getOptionList(u"\"A\"", u"\\layer", list);
    EXPECT_EQ(list.size(), 3u);
}

TEST(StringArray, FindFromBothEnds)
{
    CStringArrayEx list{u"a", u"B", u"c", u"d", u"E"};
    for (auto [text, ignoreCase, found] : {std::tuple{u"a", false, true},
                                           {u"E", false, true},
                                           {u"c", false, true},
                                           {u"e", false, false},
                                           {u"e", true, true},
                                           {u"b", true, true},
                                           {u"x", true, false}}) {
        SCOPED_TRACE(u8(text));
        int at = list.find(text, ignoreCase);
        EXPECT_EQ(at >= 0, found);
        if (found) {
            EXPECT_TRUE(ignoreCase || list[at] == text);
        }
    }
    EXPECT_LT(CStringArrayEx{}.find(u"a"), 0);
    EXPECT_EQ(CStringArrayEx{u"a"}.find(u"a"), 0);
}

TEST(BlockCountCode, Names)
{
    struct Row {
        std::u16string code;
        CStringArrayEx names;
    } rows[] = {
        {u"Door;Window", {u"Door", u"Window"}},
        {u"Door; Window", {u"Door", u" Window"}},
        {u"\"Door\" \\layer \"0\"", {u"Door"}},
        {u"Door \\layer \"0\"", {u"Door \\layer "}},
        {u";;Door;", {u"Door"}},
        {u"  \"\"Door\"  \t", {u"Door"}},
        {u"Tagged;Opening", {u"Tagged", u"Opening"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(u8(row.code));
        BlockCountRequest r = parseBlockCountCode(row.code);
        EXPECT_FALSE(r.empty);
        EXPECT_EQ(r.blockNames, row.names);
        EXPECT_TRUE(r.tag.empty());
    }
    EXPECT_TRUE(parseBlockCountCode(u" \"\" \t").empty);
}

TEST(BlockCountCode, Options)
{
    BlockCountRequest r =
        parseBlockCountCode(u"\"Door;Window\" \\layer \"A-DOOR;0\" \\TAG \"TYPE\" \\op \">=\" \\value \"3\" \\nested");
    EXPECT_EQ(r.blockNames, (CStringArrayEx{u"Door", u"Window"}));
    EXPECT_EQ(r.layerNames, (CStringArrayEx{u"A-DOOR", u"0"}));
    EXPECT_EQ(u8(r.tag), "TYPE");
    EXPECT_EQ(u8(r.op), ">=");
    EXPECT_EQ(u8(r.value), "3");
    EXPECT_TRUE(r.nested);
    EXPECT_FALSE(r.window);
    EXPECT_FALSE(parseBlockCountCode(u"\"Door\" \\Nested").nested);
    EXPECT_TRUE(parseBlockCountCode(u"\"Door\"\\nestedly").nested);
}

TEST(BlockCountCode, WindowAndSpace)
{
    struct Row {
        std::u16string options;
        bool present;
        AcGePoint3d min, max;
    } rows[] = {
        {u"\\Window (0,0,0):(10,10,0) \\Space 1F", true, {0, 0, 0}, {10, 10, 0}},
        {u"\\Window (10,10,5):(0,0,0) \\Space 1F", true, {0, 0, 0}, {10, 10, 5}},
        {u"\\window 0,0,0:10,10,0 \\space \"1F\"", true, {0, 0, 0}, {10, 10, 0}},
        // The blank before "(" keeps it, so x of corner B reads as 0.
        {u"\\Window (0,0,0) : (10,10,0) \\Space 1F", true, {0, 0, 0}, {0, 10, 0}},
        {u"\\Window (0,0,0):(10,10,0)", false, {}, {}},
        {u"\\Window (0,0,0):(10,10,0) \\Space ()", false, {}, {}},
        {u"\\Window (0,0):(10,10) \\Space 1F", false, {}, {}},
        {u"\\Window :(0,0,0):(10,10,0) \\Space 1F", false, {}, {}},
        {u"\\Window (0,0,0) \\Space 1F", false, {}, {}},
        {u"\\Space 1F", false, {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(u8(row.options));
        BlockCountRequest r = parseBlockCountCode(u"\"A\" " + row.options);
        EXPECT_EQ(r.window.has_value(), row.present);
        EXPECT_EQ(r.space.has_value(), row.present);
        if (!r.window || !row.present)
            continue;
        EXPECT_EQ(u8(*r.space), "1F");
        for (auto [got, want] : {std::pair{r.window->minPoint(), row.min}, {r.window->maxPoint(), row.max}}) {
            EXPECT_EQ(got.x, want.x);
            EXPECT_EQ(got.y, want.y);
            EXPECT_EQ(got.z, want.z);
        }
    }
}

TEST(ParsePoint, Table)
{
    struct Row {
        std::u16string text;
        double x, y, z;
    } rows[] = {
        {u"1,2,3", 1, 2, 3},        {u"((1.5, -2e1 ,+3))", 1.5, -20, 3},
        {u" (1,2,3) ", 0, 2, 3},  // "(" after a blank stays, and "(1" is no number
        {u"1,,2,,3,9", 1, 2, 3},    {u"a,b,c", 0, 0, 0},
        {u"inf,nan,0x10", 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(u8(row.text));
        AcGePoint3d p{7, 7, 7};
        ASSERT_TRUE(AsdkBlockCountEvaluator::parsePoint(row.text, p));
        EXPECT_EQ(p.x, row.x);
        EXPECT_EQ(p.y, row.y);
        EXPECT_EQ(p.z, row.z);
    }
    for (std::u16string bad : {u"", u"1,2", u"(1,2)", u",,1,,2,", u"()"}) {
        SCOPED_TRACE(u8(bad));
        AcGePoint3d p;
        EXPECT_FALSE(AsdkBlockCountEvaluator::parsePoint(bad, p));
    }
}

TEST(MatchValue, Table)
{
    struct Row {
        std::u16string actual, expected, op;
        bool holds;
    } rows[] = {
        {u"3", u"3", u">=", true},     {u"3", u"3", u">", false},     {u"4", u"3", u">", true},
        {u"3", u"3", u"<=", true},     {u"3", u"3", u"<", false},     {u"2", u"3", u"<", true},
        {u"2.5", u"3", u">=", false},  {u"3.0", u"3", u"=", false},   {u"abc", u"ABC", u"=", true},
        {u"abc", u"ABC", u"", true},   {u"abc", u"ABC", u"==", true}, {u"abc", u"ABC", u"!=", false},
        {u"abc", u"abd", u"!=", true}, {u"abc", u"1", u"<", true},    {u"5 mm", u"4", u">", true},
        {u"3", u"3", u" > ", true},    {u"4", u"3", u" > ", false},   {u"", u"", u"", true},
        {u"x", u"", u"", false},       {u"1e3", u"999", u">", true},  {u"0x10", u"1", u"<", true},
        {u"inf", u"1", u">", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(u8(row.actual) + " " + u8(row.op) + " " + u8(row.expected));
        EXPECT_EQ(AsdkBlockCountEvaluator::matchValue(row.actual, row.expected, row.op), row.holds);
    }
}

TEST(LeadingNumber, Table)
{
    struct Row {
        std::u16string text;
        double value;
    } rows[] = {
        {u"42", 42},  {u" \t-2.5e-1x", -0.25}, {u"+.5", 0.5},       {u"5.", 5},  {u".", 0},   {u"1e", 1},
        {u"1e+", 1},  {u"2E2", 200},           {u"-", 0},           {u"", 0},    {u"inf", 0}, {u"nan", 0},
        {u"0x1A", 0}, {u"1e-400", 0},          {u"00012.50", 12.5}, {u"1,5", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(u8(row.text));
        EXPECT_EQ(leadingNumber(row.text), row.value);
    }
    EXPECT_EQ(leadingNumber(u"1e400"), HUGE_VAL);
    EXPECT_EQ(leadingNumber(u"-1e400"), -HUGE_VAL);
    EXPECT_EQ(leadingNumber(u"0.0001e-320"), 0.0);
}

}
