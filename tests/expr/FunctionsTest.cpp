// The function library: every function, its argument counts and messages.
#include "ExprTestSupport.h"

#include <gtest/gtest.h>

namespace {

struct Row {
    std::u16string text;
    std::u16string expected;
};

const std::u16string kRange(1, kRangeMarker);

const std::vector<Cell> kCells = {
    {u"A1", u"1"},
    {u"A2", u"2"},
    {u"A3", u"3"},
    {u"A1:A3", kRange + u"1,2,3"},
    {u"B3", u"hello"},
    {u"B4", u""},
    {u"C1:C3", kRange + u",5,,A1,"},
    {u"D1", u"x"},
    {u"D1:D2", kRange + u"D1,2"},
};

void ExpectRows(const std::vector<Row>& rows, int ok)
{
    for (const Row& row : rows) {
        SCOPED_TRACE(Trace(row.text));
        Outcome outcome = EvaluateText(row.text, kCells);
        EXPECT_EQ(ok, outcome.ok);
        EXPECT_EQ(row.expected, outcome.text);
    }
}

TEST(Functions, Compute)
{
    ExpectRows(
        {
            {u"SUM(1,2,3)", u"6"},
            {u"sum(1,2)", u"3"},
            {u"AVG(1,2)", u"1.5"},
            {u"MAX(-1,-5)", u"-1"},
            {u"MIN(2, 2.000001)", u"2"},
            {u"MAX(2, 2.000001)", u"2"},
            {u"SUM(1,'')", u"1"},
            {u"SUM(1,2)+3", u"6"},
            {u"AVG(A1:A3)", u"2"},
            {u"MIN(A1:A3)", u"1"},
            {u"MAX(A1:A3)", u"3"},
            {u"SUM(A1:A3)", u"6"},
            {u"SUM(A1:A3, 4)", u"10"},
            {u"SUM(A1, B4)", u"1"},
            // Empty pieces are dropped and a cell holding a reference is followed.
            {u"SUM(C1:C3)", u"6"},
            {u"AVG(C1:C3)", u"3"},
            {u"ROUND(2.5, 0)", u"3"},
            {u"ROUND(-2.5, 0)", u"-3"},
            {u"ROUND(1234.5678, -2)", u"1200"},
            {u"ROUND(0.000004, 6)", u"3E-06"},
            {u"ROUND(3.14159, 2)", u"3.14"},
            {u"ROUND(2.567, 2.7)", u"2.57"},
            {u"ROUNDUP(2.1, 0)", u"3"},
            {u"ROUNDUP(-2.1, 0)", u"-3"},
            {u"ROUNDUP(2.000001, 0)", u"2"},
            {u"ROUNDUP(1.231, 2)", u"1.24"},
            {u"ROUNDDOWN(-2.9, 0)", u"-2"},
            {u"ROUNDDOWN(2.9, 0)", u"2"},
            {u"ROUNDDOWN(1299, -2)", u"1200"},
            {u"LEFT('abc', 5)", u"abc"},
            {u"LEFT('abc', 2.7)", u"ab"},
            {u"LEFT('abc', -1)", u""},
            {u"RIGHT('abc', 2)", u"bc"},
            {u"RIGHT('abc', 0)", u""},
            {u"RIGHT('abc', 9)", u"abc"},
            {u"LEFT('B3', 1)", u"h"},
            {u"LEFT(B3, A2)", u"he"},
            {u"MID('abcdef', 2, 3)", u"bcd"},
            {u"MID('abcdef', 0, 2)", u"ab"},
            {u"MID('abc', 5, 2)", u""},
            {u"MID('abc', 2, -1)", u""},
            {u"MID('abc', 2, 100)", u"bc"},
            {u"IF(1>0, 'yes', 'no')", u"yes"},
            {u"IF(FALSE, 1, 2)", u"2"},
            {u"IF('TRUE', 1, 2)", u"1"},
            {u"SUBSTITUTE('a-b-c', '-', '+')", u"a+b+c"},
            {u"SUBSTITUTE('aAa', 'a', 'x')", u"xAx"},
            {u"SUBSTITUTE('aaa', 'aa', 'b')", u"ba"},
            {u"SUBSTITUTE('abc', '', 'x')", u"abc"},
            {u"ASC('A')", u"65"},
            {u"ASC('AB')", u"65"},
            {u"ASC('\u20AC')", u"8364"},
            {u"COS(0)", u"1"},
            {u"SIN(0)", u"0"},
            {u"TAN(0)", u"0"},
            {u"LOG(1000)", u"3"},
            {u"LOG(0)", u"-INF"},
            {u"FIXED(-1.5)", u"-2"},
            {u"FIXED(1.5)", u"1"},
            {u"SQRT(2)", u"1.41421"},
            {u"ABS(-3)", u"3"},
            {u"ABS('')", u"0"},
            {u"ABS(A1)", u"1"},
            {u"LCASE('AbC')", u"abc"},
            {u"UCASE('a\u00E9')", u"A\u00C9"},
            {u"ACAD_FIELD('abc')", u"abc"},
            {u"ACAD_FIELD('x\x1Fy')", u"xy"},
            {u"ACAD_FIELD('\x1Fy')", u"\x1Fy"},
            {u"ROUND(A3*1.5, 0)", u"5"},
        },
        1);
}

TEST(Functions, Fail)
{
    ExpectRows(
        {
            {u"SUM(5)", u"SUM requires at least two operands."},
            {u"sum(5)", u"sum requires at least two operands."},
            {u"SUM()", u"SUM requires at least two operands."},
            {u"SUM(1,'x')", u"SUM requires numaric operands only."},
            {u"MAX(D1:D2, 1)", u"MAX requires numaric operands only."},
            {u"ABS()", u"ABS requires at least one argument."},
            {u"ABS", u"ABS requires at least one argument."},
            {u"ABS(1,2)", u"ABS requires only one argument."},
            {u"ABS('x')", u"ABS operates on numeric operands only."},
            {u"ABS(B4)", u"Variable [B4] not defined"},
            {u"abs(b4)", u"Variable [b4] not defined"},
            {u"ASC('')", u"ASC requires a char type operand."},
            {u"ASC('a','b')", u"ASC requires only one argument."},
            {u"ASC()", u"ASC requires at least one argument."},
            {u"LCASE()", u"LCASE requires at least one argument."},
            {u"UCASE('a','b')", u"UCASE requires only one argument."},
            {u"ACAD_FIELD()", u"ACAD_FIELD requires at least one argument."},
            {u"LEFT('abc', 'x')", u"LEFT oprator requires numaric length."},
            {u"ROUND('x', 'y')", u"ROUND oprator requires numaric length."},
            {u"LEFT('a')", u"LEFT requires at least two arguments."},
            {u"RIGHT('a',1,2)", u"RIGHT requires only two arguments."},
            {u"MID('a',1)", u"MID requires at least three arguments."},
            {u"SUBSTITUTE('a',1,2,3)", u"SUBSTITUTE requires only three arguments."},
            {u"MID('abc', 'x', 1)", u"MID oprator requires numaric lengths."},
            {u"MID('abc', 1, 'x')", u"MID oprator requires numaric lengths."},
            {u"MID('abc', 'x', B4)", u"Variable [B4] not defined"},
            {u"IF(1, 'a', 'b')", u"IF oprator requires boolean condition."},
            {u"IF(1, 'a', B4)", u"Variable [B4] not defined"},
            {u"ACOS(1)", u"Function [ACOS] is not implemented."},
            {u"asin('x')", u"Function [asin] is not implemented."},
            {u"ATAN()", u"Function [ATAN] is not implemented."},
            {u"HEX('x')", u"HEX operates on numeric operands only."},
            {u"HEX(1)", u"Function [HEX] is not implemented."},
        },
        0);
}

TEST(Functions, UnsupportedToken)
{
    CExpression expression(u"1");
    CStringStack stack;
    try {
        expression.EvaluateFunction(u"FOO", stack);
        ADD_FAILURE() << "no error";
    } catch (const CExpressionError& error) {
        EXPECT_EQ(u"Unsupported function token [FOO]", error.Message());
    }
}

TEST(Functions, RoundingsAlone)
{
    EXPECT_DOUBLE_EQ(0.13, CExpression::Round(0.125, 2));
    EXPECT_DOUBLE_EQ(-0.13, CExpression::Round(-0.125, 2));
    EXPECT_DOUBLE_EQ(1.3, CExpression::RoundUp(u"1.21", 1));
    EXPECT_DOUBLE_EQ(-1.2, CExpression::RoundDown(u"-1.29", 1));
}

// Former bugs: faults of the original library that are mended here.
TEST(Functions, FormerBugs)
{
    ExpectRows(
        {
            // Scaled values past the 32-bit range were truncated without a defined result.
            {u"ROUND(12345678901, 0)", u"1.23457E+10"},
            {u"ROUNDDOWN(-12345678901.5, 0)", u"-1.23457E+10"},
            {u"ROUNDUP(12345678901.5, 0)", u"1.23457E+10"},
            // A small negative value rounded to "-0".
            {u"ROUND(-0.1, 0)", u"0"},
            {u"ROUNDDOWN(-0.5, 0)", u"0"},
        },
        1);
    // The smallest digit count overflowed when made positive.
    EXPECT_EQ(1, EvaluateText(u"ROUND(1, -2147483648)").ok);
    // A range whose cell leads back into it grew the walk without end.
    Outcome outcome = EvaluateText(u"SUM(E1:E2)", {{u"E1:E2", kRange + u"E1:E2,1"}});
    EXPECT_EQ(0, outcome.ok);
    EXPECT_EQ(u"SUM range is too large or refers to itself.", outcome.text);
}

TEST(Functions, SubstituteGrowthIsBounded)
{
    std::u16string text = u"'a'";
    for (int i = 0; i < 40; ++i)
        text = u"SUBSTITUTE(" + text + u", 'a', 'aa')";
    Outcome outcome = EvaluateText(text);
    EXPECT_EQ(0, outcome.ok);
    EXPECT_EQ(u"SUBSTITUTE result is too long.", outcome.text);
}

}
