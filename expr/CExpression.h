// CExpression: one expression of an expression field, from its text to its
// result. Tokenize splits the text, ConvertToPostfix orders the tokens for a
// stack machine, Evaluate runs them and gives the result or the message of
// the first error. Every value is a text; numbers and booleans are told apart
// by the tests below. Cell references are looked up in a map that the
// drawing (or a caller, through SetCellValue) fills.
#pragma once

#include "expr/CStringStack.h"
#include "host/dbid.h"

class AcDbField;

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Marker characters that never come from the user's text.
inline constexpr char16_t kUnaryMinus = u'\x01';      // unary minus operator
inline constexpr char16_t kStringMarker = u'\x13';    // leads a string constant
inline constexpr char16_t kRangeMarker = u'\x14';     // leads a range value
inline constexpr char16_t kArgumentMarker = u'\x1B';  // starts a function's arguments

// Two numbers this close are equal: in comparisons, in rounding and when a
// result is taken for a whole number.
inline constexpr double kTolerance = 0.00001;

// The one error of the expression subsystem: thrown where a fault is found,
// caught in CExpression::Evaluate, whose result text it becomes.
class CExpressionError {
public:
    explicit CExpressionError(std::u16string message) : m_message(std::move(message)) {}
    const std::u16string& Message() const { return m_message; }

private:
    std::u16string m_message;
};

class CExpression {
public:
    using TokenList = std::vector<std::u16string>;

    // Operator codes of tokens; 3 is not assigned, operands are -1.
    enum OperatorCode {
        kOperand = -1,       // any other token
        kOpenParen = 0,      // "("
        kCloseParen = 1,     // ")"
        kComma = 2,          // "," argument separator
        kSubtract = 4,       // "-" with two operands
        kPower = 5,          // "^"
        kMultiply = 6,       // "*"
        kDivide = 7,         // "/"
        kAdd = 8,            // "+"
        kRemainder = 9,      // "%" integer remainder
        kLogicalAnd = 10,    // "&&" reserved, never formed
        kLogicalOr = 11,     // "||" reserved, never formed
        kGreater = 12,       // ">"
        kLess = 13,          // "<"
        kEqual = 14,         // "="
        kGreaterEqual = 15,  // ">="
        kLessEqual = 16,     // "<="
        kNotEqual = 17,      // "<>"
        kNegate = 18,        // U+0001 unary minus
        kArgumentList = 19,  // U+001B argument-list marker
    };

    // Positions in the function-name table.
    enum FunctionIndex {
        kAvg = 0,
        kAbs = 1,
        kAcos = 2,
        kAsc = 3,
        kAsin = 4,
        kAtan = 5,
        kCos = 6,
        kFixed = 7,
        kHex = 8,
        kIf = 9,
        kLcase = 10,
        kLeft = 11,
        kLog = 12,
        kMax = 13,
        kMid = 14,
        kMin = 15,
        kRight = 16,
        kRound = 17,
        kSin = 18,
        kSqrt = 19,
        kTan = 20,
        kUcase = 21,
        kSum = 22,
        kRoundUp = 23,
        kRoundDown = 24,
        kSubstitute = 25,
        kAcadField = 26,
    };

    // Colon-joined operator lists, searched as plain substrings.
    static constexpr std::u16string_view kArithmeticOperators = u"^:*:/:%:+:-";
    static constexpr std::u16string_view kLogicalOperators = u"&&:||";
    static constexpr std::u16string_view kComparisonOperators = u"<:<=:>:>=:<>:=";

    explicit CExpression(std::u16string expression);

    // Tokenizer.
    static void Tokenize(const std::u16string& text, TokenList& tokens);

    // Postfix conversion.
    void Parse();
    static void ConvertToPostfix(const TokenList& tokens, TokenList& postfix);
    static int GetPrecedence(std::u16string_view token);

    // Evaluation: 1 and the result, or 0 and the error message.
    int Evaluate(std::u16string& result);
    std::u16string GetVariableValue(const std::u16string& reference) const;

    // Function library.
    void EvaluateFunction(const std::u16string& token, CStringStack& stack);
    static double Round(double value, int digits);
    static double RoundUp(std::u16string_view value, int digits);
    static double RoundDown(std::u16string_view value, int digits);

    // Cell references and nested field codes.
    int ResolveReference(const std::u16string& text);
    int ReadTableCells(const std::u16string& key, const std::u16string& reference, AcDbObjectId table);
    static bool ParseCellAddress(std::u16string_view address, int& row, int& column);
    std::u16string EvaluateFieldCode(std::u16string_view fieldCode);
    int FindOwnerTable(AcDbField* field);
    static int MatchGroups(std::u16string_view text, std::u16string_view pattern, TokenList& groups);

    // Value model.
    static int GetOperatorCode(std::u16string_view token);
    static bool IsInList(std::u16string_view list, std::u16string_view token);
    static bool IsNumber(std::u16string_view text);
    static bool IsBoolean(std::u16string_view text);
    static int GetBooleanValue(std::u16string_view text);
    static bool IsFunction(std::u16string_view token);
    static int GetFunctionIndex(std::u16string_view token);
    static std::u16string FormatNumber(double value);
    static std::u16string FormatInteger(int value);
    static std::u16string FormatBoolean(bool value);

    const TokenList& Tokens() const { return m_tokens; }
    const TokenList& Postfix() const { return m_postfix; }
    void SetTableId(AcDbObjectId table) { m_table = table; }
    // Presets the value of a reference, as reading it from a table would.
    void SetCellValue(const std::u16string& reference, std::u16string value);

private:
    std::u16string Resolve(const std::u16string& operand);
    void EvaluateAggregate(int function, const std::u16string& name, TokenList& arguments);

    std::u16string m_expression;
    std::unordered_map<std::u16string, std::u16string> m_cellValues;
    TokenList m_tokens;
    TokenList m_postfix;
    AcDbObjectId m_table;
};
