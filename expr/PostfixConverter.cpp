// The postfix converter: a shunting-yard pass that orders the tokens for the
// stack evaluator. A "-" in operand position becomes U+0001, a "+" there is
// dropped, a function call leaves U+001B before its arguments, and "," only
// closes an argument. Interface: CExpression::Parse, ConvertToPostfix and
// GetPrecedence.
#include "expr/CExpression.h"

namespace {

// Precedence levels by operator code.
enum Precedence {
    kPlainLevel = 0,       // any other token
    kLogicalLevel = 3,     // "&&", "||" (reserved)
    kComparisonLevel = 4,  // ">", "<", "=", ">=", "<=", "<>"
    kAdditiveLevel = 5,    // "+", "-"
    kProductLevel = 6,     // "*", "/", "%"
    kPowerLevel = 7,       // "^"
    kFunctionLevel = 9,    // any function name
    kNegateLevel = 10,     // U+0001
    kParenLevel = 99,      // "("
};

// Whether a sign after this token stands in operand position.
bool isOperandPosition(std::u16string_view previous)
{
    return previous.empty() || CExpression::IsInList(CExpression::kArithmeticOperators, previous) ||
        CExpression::IsInList(CExpression::kComparisonOperators, previous) || previous == u"(";
}

bool isBinaryOperator(int code)
{
    return (code >= CExpression::kSubtract && code <= CExpression::kRemainder) ||
        (code >= CExpression::kGreater && code <= CExpression::kNotEqual);
}

// level: the token's precedence, which the caller has in hand.
void pushOperator(std::u16string token, int level, CStringStack& stack, CExpression::TokenList& postfix)
{
    if (stack.IsEmpty() || stack.Peek() == u"(") {
        stack.Push(std::move(token));
        return;
    }
    if (level > CExpression::GetPrecedence(stack.Peek())) {
        stack.Push(std::move(token));
        return;
    }
    while (!stack.IsEmpty() && stack.Peek() != u"(" && CExpression::GetPrecedence(stack.Peek()) >= level)
        postfix.push_back(stack.Pop());
    stack.Push(std::move(token));
}

}

int CExpression::GetPrecedence(std::u16string_view token)
{
    switch (GetOperatorCode(token)) {
    case kOpenParen: return kParenLevel;
    case kNegate: return kNegateLevel;
    case kPower: return kPowerLevel;
    case kMultiply:
    case kDivide:
    case kRemainder: return kProductLevel;
    case kAdd:
    case kSubtract: return kAdditiveLevel;
    case kGreater:
    case kLess:
    case kEqual:
    case kGreaterEqual:
    case kLessEqual:
    case kNotEqual: return kComparisonLevel;
    case kLogicalAnd:
    case kLogicalOr: return kLogicalLevel;
    default: return IsFunction(token) ? kFunctionLevel : kPlainLevel;
    }
}

void CExpression::ConvertToPostfix(const TokenList& tokens, TokenList& postfix)
{
    CStringStack stack;
    for (size_t i = 0; i < tokens.size(); ++i) {
        std::u16string token = tokens[i];
        std::u16string_view previous = i == 0 ? std::u16string_view() : std::u16string_view(tokens[i - 1]);
        int code = GetOperatorCode(token);
        if (code == kOpenParen) {
            if (!stack.IsEmpty() && IsFunction(stack.Peek()))
                postfix.emplace_back(1, kArgumentMarker);
            stack.Push(std::move(token));
        } else if (code == kCloseParen) {
            for (;;) {
                if (stack.IsEmpty())
                    throw CExpressionError(u"Unbalanced parenthesis.");
                std::u16string top = stack.Pop();
                if (top == u"(")
                    break;
                postfix.push_back(std::move(top));
            }
        } else if (code == kComma) {
            while (!stack.IsEmpty() && stack.Peek() != u"(")
                postfix.push_back(stack.Pop());
        } else if (code == kSubtract && isOperandPosition(previous)) {
            pushOperator(std::u16string(1, kUnaryMinus), kNegateLevel, stack, postfix);
        } else if (code == kAdd && isOperandPosition(previous)) {
            // Unary plus changes nothing.
        } else if (isBinaryOperator(code)) {
            const int level = GetPrecedence(token);
            pushOperator(std::move(token), level, stack, postfix);
        } else if (code == kOperand && IsFunction(token)) {
            pushOperator(std::move(token), kFunctionLevel, stack, postfix);
        } else {
            postfix.push_back(std::move(token));
        }
    }
    while (!stack.IsEmpty())
        postfix.push_back(stack.Pop());
}

void CExpression::Parse()
{
    Tokenize(m_expression, m_tokens);
    if (m_tokens.empty())
        throw CExpressionError(u"Unable to tokanize the expression.");
    ConvertToPostfix(m_tokens, m_postfix);
    if (m_postfix.empty())
        throw CExpressionError(u"Unable to convert the expression to postfix form.");
}
