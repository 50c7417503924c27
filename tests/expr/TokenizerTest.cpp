// The tokenizer: operators, numbers, signs, quoted texts and blanks.
#include "ExprTestSupport.h"

#include <gtest/gtest.h>

namespace {

using Tokens = CExpression::TokenList;

Tokens Tokenize(const std::u16string& text)
{
    Tokens tokens;
    CExpression::Tokenize(text, tokens);
    return tokens;
}

TEST(Tokenizer, Splits)
{
    const struct {
        std::u16string text;
        Tokens expected;
    } rows[] = {
        {u"2 * -3", {u"2", u"*", u"-3"}},
        {u"5-3", {u"5", u"-", u"3"}},
        {u"5 - -3", {u"5", u"-", u"-3"}},
        {u"3*+2", {u"3", u"*", u"+2"}},
        {u"-(1+2)", {u"-", u"(", u"1", u"+", u"2", u")"}},
        {u"-A1", {u"-A1"}},
        {u"+5", {u"+5"}},
        {u"a-(1)", {u"a", u"-", u"(", u"1", u")"}},
        {u"1+-(2)", {u"1", u"+", u"-", u"(", u"2", u")"}},
        {u"MAX(1,-2)", {u"MAX", u"(", u"1", u",", u"-2", u")"}},
        {u"MAX(1, -A1)", {u"MAX", u"(", u"1", u",", u"-", u"A1", u")"}},
        {u"a <= b", {u"a", u"<=", u"b"}},
        {u"a =< b", {u"a", u"=", u"<", u"b"}},
        {u"a == b", {u"a", u"=", u"=", u"b"}},
        {u"1<>2", {u"1", u"<>", u"2"}},
        {u"x>=1", {u"x", u">=", u"1"}},
        {u"x>1", {u"x", u">", u"1"}},
        {u"TRUE && FALSE", {u"TRUE", u"&", u"&", u"FALSE"}},
        {u"a||b", {u"a", u"|", u"|", u"b"}},
        {u"7%3^2/1", {u"7", u"%", u"3", u"^", u"2", u"/", u"1"}},
        {u"'it''s'", {Quoted(u"it"), Quoted(u"s")}},
        {u"'say \"hi\"'", {Quoted(u"say \"hi\"")}},
        {u"\"it's\"", {Quoted(u"it's")}},
        {u"''", {Quoted(u"")}},
        {u"'a b'+c", {Quoted(u"a b"), u"+", u"c"}},
        {u"1+2)", {u"1", u"+", u"2", u")"}},
        {u"a\tb + 1", {u"a\tb", u"+", u"1"}},
        {u" \t1 + 2\r\n", {u"1", u"+", u"2"}},
        {u"A1:B2", {u"A1:B2"}},
        {u"2F1!B3*2", {u"2F1!B3", u"*", u"2"}},
        {u"", {}},
        {u" \t\r\n", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(Trace(row.text));
        EXPECT_EQ(row.expected, Tokenize(row.text));
    }
}

TEST(Tokenizer, Fails)
{
    const struct {
        std::u16string text;
        std::u16string message;
    } rows[] = {
        {u"(1+2", u"Unbalanced parenthesis."},      {u"((1)", u"Unbalanced parenthesis."},
        {u"'abc", u"Unterminated string constant"}, {u"\"abc'", u"Unterminated string constant"},
        {u"1+'(", u"Unterminated string constant"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(Trace(row.text));
        Tokens tokens;
        try {
            CExpression::Tokenize(row.text, tokens);
            ADD_FAILURE() << "no error";
        } catch (const CExpressionError& error) {
            EXPECT_EQ(row.message, error.Message());
        }
    }
}

TEST(Tokenizer, ParenthesesInsideQuotesDoNotCount)
{
    EXPECT_EQ((Tokens{Quoted(u"("), u"+", u"1"}), Tokenize(u"'(' + 1"));
}

}
