// Infix to postfix: precedence, parentheses, function arguments and signs.
#include "ExprTestSupport.h"

#include <gtest/gtest.h>

namespace {

using Tokens = CExpression::TokenList;

const std::u16string M(1, kArgumentMarker);
const std::u16string U(1, kUnaryMinus);

Tokens Postfix(const std::u16string& text)
{
    CExpression expression(text);
    expression.Parse();
    return expression.Postfix();
}

TEST(Postfix, Orders)
{
    const struct {
        std::u16string text;
        Tokens expected;
    } rows[] = {
        {u"1+2*3", {u"1", u"2", u"3", u"*", u"+"}},
        {u"(1+2)*3", {u"1", u"2", u"+", u"3", u"*"}},
        {u"2^3^2", {u"2", u"3", u"^", u"2", u"^"}},
        {u"1-2+3", {u"1", u"2", u"-", u"3", u"+"}},
        {u"1<2=TRUE", {u"1", u"2", u"<", u"TRUE", u"="}},
        {u"1+2>2*1", {u"1", u"2", u"+", u"2", u"1", u"*", u">"}},
        {u"SUM(1,2)+3", {M, u"1", u"2", u"SUM", u"3", u"+"}},
        {u"MAX(1, ABS(-2))", {M, u"1", M, u"-2", u"ABS", u"MAX"}},
        {u"MAX(1, -A1)", {M, u"1", u"A1", u"-", u"MAX"}},
        {u"-(1+2)", {u"1", u"2", u"+", U}},
        {u"3*-(2)", {u"3", u"2", U, u"*"}},
        {u"2^-(1)", {u"2", u"1", U, u"^"}},
        {u"-(2)^2", {u"2", U, u"2", u"^"}},
        {u"1 - +(2)", {u"1", u"2", u"-"}},
        {u"5-", {u"5", u"-"}},
        {u"1,2", {u"1", u"2"}},
        {u"ABS 1 2", {u"1", u"2", u"ABS"}},
        {u"'a' = x", {Quoted(u"a"), u"x", u"="}},
        {u"-1", {u"-1"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(Trace(row.text));
        EXPECT_EQ(row.expected, Postfix(row.text));
    }
}

TEST(Postfix, Fails)
{
    const struct {
        std::u16string text;
        std::u16string message;
    } rows[] = {
        {u"1+2)", u"Unbalanced parenthesis."},
        {u")(", u"Unbalanced parenthesis."},
        {u"+", u"Unable to convert the expression to postfix form."},
        {u"()", u"Unable to convert the expression to postfix form."},
        {u"", u"Unable to tokanize the expression."},
        {u"   ", u"Unable to tokanize the expression."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(Trace(row.text));
        CExpression expression(row.text);
        try {
            expression.Parse();
            ADD_FAILURE() << "no error";
        } catch (const CExpressionError& error) {
            EXPECT_EQ(row.message, error.Message());
        }
    }
}

TEST(Postfix, Precedence)
{
    const struct {
        std::u16string token;
        int level;
    } rows[] = {
        {u"(", 99}, {U, 10},   {u"sum", 9}, {u"^", 7},  {u"*", 6},  {u"/", 6}, {u"%", 6}, {u"+", 5},
        {u"-", 5},  {u">", 4}, {u"<>", 4},  {u"&&", 3}, {u"A1", 0}, {u")", 0}, {u",", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(Trace(row.token));
        EXPECT_EQ(row.level, CExpression::GetPrecedence(row.token));
    }
}

}
