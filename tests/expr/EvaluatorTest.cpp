// The postfix evaluator: every operator family, results and error messages.
#include "ExprTestSupport.h"

#include <gtest/gtest.h>

namespace {

struct Row {
    std::u16string text;
    std::u16string expected;
};

const std::vector<Cell> kCells = {
    {u"A1", u"1"},   {u"A2", u"2"}, {u"A3", u"3"},    {u"B1", u"2.50"},
    {u"C1", u"abc"}, {u"C2", u""},  {u"D1", u"TRUE"}, {u"D2", u"-5"},
};

TEST(Evaluator, Computes)
{
    const Row rows[] = {
        {u"1+2", u"3"},
        {u"7/2", u"3.5"},
        {u"1+2*3", u"7"},
        {u"(1+2)*3", u"9"},
        {u"5 - -3", u"8"},
        {u"2 * -3", u"-6"},
        {u"7%3", u"1"},
        {u"-7%3", u"-1"},
        {u"5%-3", u"2"},
        {u"7.9%2", u"1"},
        {u"2^3^2", u"64"},
        {u"2^-(1)", u"0.5"},
        {u"-(2)^2", u"4"},
        {u"-(1+2)", u"-3"},
        {u"3*-(2)", u"-6"},
        {u"-(2.50)", u"-2.50"},
        {u"1/3*3", u"0.999999"},
        {u"0.1+0.2", u"0.3"},
        {u"1000000*10", u"1E+07"},
        {u"123456789+1", u"1.23457E+08"},
        {u"1/0", u"INF"},
        {u"-1/0", u"-INF"},
        {u"1 = 1.000001", u"TRUE"},
        {u"1 < 1.000001", u"FALSE"},
        {u"1 <= 1.00002", u"TRUE"},
        {u"1.00002 > 1", u"TRUE"},
        {u"2 >= 2.000001", u"TRUE"},
        {u"2 <> 2.000001", u"FALSE"},
        {u"'a' = 'A'", u"TRUE"},
        {u"'abc' < 'abd'", u"TRUE"},
        {u"'b' >= 'a'", u"TRUE"},
        {u"'a' <> 'b'", u"TRUE"},
        {u"TRUE = FALSE", u"FALSE"},
        {u"true = TRUE", u"TRUE"},
        {u"TRUE <> FALSE", u"TRUE"},
        {u"TRUE > FALSE", u"TRUE"},
        {u"TRUE = 1", u"FALSE"},
        {u"UCASE('a') = 'A'", u"FALSE"},
        {u"'abc'", Quoted(u"abc")},
        {u"x", u"x"},
        {u"A1", u"1"},
        {u"a1 + A2", u"3"},
        {u"A3 * B1", u"7.5"},
        {u"0-A2", u"-2"},
        {u"-(B1)", u"-2.50"},
        {u"A1 = 1", u"TRUE"},
        {u"C1 = 'ABC'", u"FALSE"},
        {u"C1 = ABC", u"TRUE"},
        {u"C2 + 1", u"1"},
        {u"D1 = TRUE", u"TRUE"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Trace(row.text));
        Outcome outcome = EvaluateText(row.text, kCells);
        EXPECT_EQ(1, outcome.ok);
        EXPECT_EQ(row.expected, outcome.text);
    }
}

TEST(Evaluator, Fails)
{
    const Row rows[] = {
        {u"", u"Unable to tokanize the expression."},
        {u"+", u"Unable to convert the expression to postfix form."},
        {u"(1+2", u"Unbalanced parenthesis."},
        {u"1+2)", u"Unbalanced parenthesis."},
        {u"'abc", u"Unterminated string constant"},
        {u"1000000*10+1", u"Addition not supported for strings."},
        {u"B3+1", u"Addition not supported for strings."},
        {u"'a' - 1", u"Substraction not supported for strings."},
        {u"C1 - 1", u"Substraction not supported for strings."},
        {u"TRUE + 1", u"Can not perform Addition with boolean values."},
        {u"1 - false", u"Can not perform Substraction with boolean values."},
        {u"D1 + 1", u"Can not perform Addition with boolean values."},
        {u"'a' * 2", u"Either one of the operand is not a number can not perform [*]"},
        {u"TRUE * 2", u"Either one of the operand is not a number can not perform [*]"},
        {u"2 ^ 'x'", u"Either one of the operand is not a number can not perform [^]"},
        {u"'x' / 2", u"Either one of the operand is not a number can not perform [/]"},
        {u"'x' % 2", u"Either one of the operand is not a number can not perform [%]"},
        {u"5%0", u"Division by zero can not perform [%]"},
        {u"5%0.5", u"Division by zero can not perform [%]"},
        {u"5-", u"Stack is empty, can not perform [-]"},
        {u"5*", u"Stack is empty, can not perform [*]"},
        {u"=1", u"Stack is empty, can not perform [=]"},
        {u"-", u"No operand to negate."},
        {u"-'a'", u"Not a numaric value."},
        {u"-(C1)", u"Not a numaric value."},
        {u"1 2", u"Unable to evaluate expression."},
        {u"1,2", u"Unable to evaluate expression."},
        {u"FOO(1)", u"Unable to evaluate expression."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Trace(row.text));
        Outcome outcome = EvaluateText(row.text, kCells);
        EXPECT_EQ(0, outcome.ok);
        EXPECT_EQ(row.expected, outcome.text);
    }
}

TEST(Evaluator, UndefinedVariable)
{
    CExpression expression(u"1");
    try {
        expression.GetVariableValue(u"zz9");
        ADD_FAILURE() << "no error";
    } catch (const CExpressionError& error) {
        EXPECT_EQ(u"Variable [ZZ9] not defined", error.Message());
    }
}

TEST(Evaluator, ReusesItsPostfixList)
{
    CExpression expression(u"A1*2");
    expression.SetCellValue(u"A1", u"4");
    std::u16string result;
    ASSERT_EQ(1, expression.Evaluate(result));
    EXPECT_EQ(u"8", result);
    ASSERT_EQ(1, expression.Evaluate(result));
    EXPECT_EQ(u"8", result);
    EXPECT_EQ(3u, expression.Postfix().size());
}

TEST(Evaluator, DeepNestingStaysOffTheCallStack)
{
    const size_t depth = 100000;
    std::u16string parens = std::u16string(depth, u'(') + u"1" + std::u16string(depth, u')');
    EXPECT_EQ(u"1", EvaluateText(parens).text);

    std::u16string calls;
    for (size_t i = 0; i < 20000; ++i)
        calls += u"ABS(";
    calls += u"-2" + std::u16string(20000, u')');
    EXPECT_EQ(u"2", EvaluateText(calls).text);

    std::u16string sum = u"1";
    for (size_t i = 0; i < 50000; ++i)
        sum += u"+1";
    EXPECT_EQ(u"50001", EvaluateText(sum).text);
}

// Former bugs: faults of the original arithmetic that are mended here.
TEST(Evaluator, FormerBugs)
{
    const Row rows[] = {
        // Negating a signed text gave "--5", which is no number.
        {u"-(-5)", u"5"},
        {u"-(D2)", u"5"},
        {u"-(+5)", u"-5"},
        {u"-(-(5))*2", u"10"},
        // A zero remainder of a negative value printed as "-0".
        {u"-4%2", u"0"},
        // Remainders past the 32-bit range were undefined.
        {u"5000000000%7", u"2"},
        {u"7%5000000000", u"7"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Trace(row.text));
        Outcome outcome = EvaluateText(row.text, kCells);
        EXPECT_EQ(1, outcome.ok);
        EXPECT_EQ(row.expected, outcome.text);
    }
}

}
