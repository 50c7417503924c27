// Cell references of expressions: cell addresses, which operands name cells
// and ranges, and values preset in the expression's cell map.
#include "ExprTestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(CellReferences, ParseCellAddress)
{
    const struct {
        std::u16string_view address;
        bool ok;
        int row, column;
    } rows[] = {
        {u"A1", true, 1, 1},   {u"$B$12", true, 12, 2}, {u"AB7", true, 7, 28},   {u"$A1", true, 1, 1},
        {u"A$3", true, 3, 1},  {u"ZZ9", true, 9, 702},  {u"$AA$2", true, 2, 27}, {u"A$", true, 0, 1},
        {u"A", false, 0, 0},   {u"1A", false, 0, 0},    {u"A1B", false, 0, 0},   {u"ABC1", false, 0, 0},
        {u"AB", false, 0, 0},  {u"$1", false, 0, 0},    {u"$", false, 0, 0},     {u"", false, 0, 0},
        {u"A-1", false, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(Trace(row.address));
        int r = 0, c = 0;
        ASSERT_EQ(row.ok, CExpression::ParseCellAddress(row.address, r, c));
        if (row.ok) {
            EXPECT_EQ(row.row, r);
            EXPECT_EQ(row.column, c);
        }
    }
}

TEST(CellReferences, ResolveReference)
{
    CExpression expression(u"1");
    expression.SetCellValue(u"b3", u"7");
    expression.SetCellValue(u"2F1!A1", u"8");
    const struct {
        std::u16string text;
        int expected;
    } rows[] = {
        {u"B3", 1},
        {u"b3", 1},
        {u"2f1!a1", 1},
        // Operators, booleans, numbers, function names and "" never are references.
        {u"", 0},
        {u"+", 0},
        {u"<>", 0},
        {u"&", 0},
        {u":", 0},
        {u"true", 0},
        {u"12", 0},
        {u"sum", 0},
        // Without a table or a known handle a name stays plain text.
        {u"B4", 0},
        {u"2F1!B3", 0},
        {u"!B3", 0},
        {u"A1:B2:C3", 0},
        {u":B2", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(Trace(row.text));
        EXPECT_EQ(row.expected, expression.ResolveReference(row.text));
    }
    EXPECT_EQ(u"7", expression.GetVariableValue(u"b3"));
}

TEST(CellReferences, ReadTableCellsRejectsBadReferences)
{
    CExpression expression(u"1");
    for (std::u16string reference : {u"", u":B2", u"A1:B2:C3", u"A1:", u"A0", u"A$0:B2", u"1A:B2"}) {
        SCOPED_TRACE(Trace(reference));
        EXPECT_EQ(0, expression.ReadTableCells(reference, reference, AcDbObjectId()));
    }
}

TEST(CellReferences, EvaluateFieldCode)
{
    CExpression expression(u"1");
    EXPECT_EQ(u"####", expression.EvaluateFieldCode(u""));
    EXPECT_EQ(u"####", expression.EvaluateFieldCode(u"x"));
    EXPECT_EQ(u"plain text", expression.EvaluateFieldCode(u"plain text"));
    EXPECT_EQ(u"####", expression.EvaluateFieldCode(u"%<\\NoSuchEvaluator>%"));
}

TEST(CellReferences, MatchGroups)
{
    const std::u16string pattern = u"%<\\\\_ObjHandle {[0-9a-zA-Z]+}>%";
    CExpression::TokenList groups;
    ASSERT_EQ(1, CExpression::MatchGroups(u"%<\\AcObjProp Object(%<\\_ObjHandle 2A>%).Length>%", pattern, groups));
    EXPECT_EQ(CExpression::TokenList{u"2A"}, groups);
    EXPECT_EQ(0, CExpression::MatchGroups(u"%<\\_objhandle 2A>%", pattern, groups));
    EXPECT_EQ(0, CExpression::MatchGroups(u"", pattern, groups));
    EXPECT_EQ(0, CExpression::MatchGroups(u"abc", u"", groups));
    EXPECT_EQ(0, CExpression::MatchGroups(u"abc", u"[", groups));
}

}
