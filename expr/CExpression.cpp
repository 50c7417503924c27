// The value model of expressions: operator codes, the function-name table,
// the number and boolean tests and the formats that write results back as
// text. Interface: the static tests and formats of CExpression.
#include "expr/CExpression.h"

#include "util/TextCase.h"
#include "util/WideCrt.h"

namespace {

struct OperatorEntry {
    std::u16string_view text;
    CExpression::OperatorCode code;
};

constexpr OperatorEntry kOperators[] = {
    {u"(", CExpression::kOpenParen},
    {u")", CExpression::kCloseParen},
    {u",", CExpression::kComma},
    {u"-", CExpression::kSubtract},
    {u"^", CExpression::kPower},
    {u"*", CExpression::kMultiply},
    {u"/", CExpression::kDivide},
    {u"+", CExpression::kAdd},
    {u"%", CExpression::kRemainder},
    {u"&&", CExpression::kLogicalAnd},
    {u"||", CExpression::kLogicalOr},
    {u">", CExpression::kGreater},
    {u"<", CExpression::kLess},
    {u"=", CExpression::kEqual},
    {u">=", CExpression::kGreaterEqual},
    {u"<=", CExpression::kLessEqual},
    {u"<>", CExpression::kNotEqual},
    {u"\x01", CExpression::kNegate},
    {u"\x1B", CExpression::kArgumentList},
};

// In index order; the empty entry ends the table.
constexpr std::u16string_view kFunctionNames[] = {
    u"AVG",   u"ABS",   u"ACOS", u"ASC",     u"ASIN",      u"ATAN",       u"COS",        u"FIXED", u"HEX", u"IF",
    u"LCASE", u"LEFT",  u"LOG",  u"MAX",     u"MID",       u"MIN",        u"RIGHT",      u"ROUND", u"SIN", u"SQRT",
    u"TAN",   u"UCASE", u"SUM",  u"ROUNDUP", u"ROUNDDOWN", u"SUBSTITUTE", u"ACAD_FIELD", u"",
};

}

CExpression::CExpression(std::u16string expression) : m_expression(std::move(expression)) {}

int CExpression::GetOperatorCode(std::u16string_view token)
{
    // Operator texts hold no letters, so an exact comparison is the
    // case-blind one. Every token is asked: numbers, names and anything
    // longer than two units are none of them, and length and first
    // character pass most entries over without a call.
    if (token.empty() || token.size() > 2 || textcase::isDigit(token[0]) || textcase::isLetter(token[0]))
        return kOperand;
    for (const OperatorEntry& entry : kOperators)
        if (entry.text.size() == token.size() && entry.text[0] == token[0] && entry.text == token)
            return entry.code;
    return kOperand;
}

bool CExpression::IsInList(std::u16string_view list, std::u16string_view token)
{
    return list.find(token) != std::u16string_view::npos;
}

bool CExpression::IsNumber(std::u16string_view text)
{
    bool dot = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c >= u'0' && c <= u'9')
            continue;
        if ((c == u'+' || c == u'-') && i == 0)
            continue;
        if (c == u'.' && !dot) {
            dot = true;
            continue;
        }
        return false;
    }
    return true;
}

bool CExpression::IsBoolean(std::u16string_view text)
{
    return crt::wcsicmp(text, u"TRUE") == 0 || crt::wcsicmp(text, u"FALSE") == 0;
}

int CExpression::GetBooleanValue(std::u16string_view text)
{
    if (crt::wcsicmp(text, u"TRUE") == 0)
        return 1;
    if (crt::wcsicmp(text, u"FALSE") == 0)
        return 0;
    return crt::wtoi(text);
}

int CExpression::GetFunctionIndex(std::u16string_view token)
{
    // Every token of every expression is asked about: names of another
    // length or, case-blind, another first letter (names are upper case)
    // are passed over without comparing the rest.
    // Every name begins with a letter: numbers and signs end here.
    if (token.empty() || !textcase::isLetter(token[0]))
        return -1;
    const char16_t first = textcase::asciiLower(token[0]);
    for (int i = 0; !kFunctionNames[i].empty(); ++i)
        if (kFunctionNames[i].size() == token.size() && textcase::asciiLower(kFunctionNames[i][0]) == first &&
            crt::wcsicmp(kFunctionNames[i], token) == 0)
            return i;
    return -1;
}

bool CExpression::IsFunction(std::u16string_view token) { return GetFunctionIndex(token) >= 0; }

std::u16string CExpression::FormatNumber(double value) { return crt::formatG(value); }

std::u16string CExpression::FormatInteger(int value) { return crt::formatD(value); }

std::u16string CExpression::FormatBoolean(bool value) { return value ? u"TRUE" : u"FALSE"; }
