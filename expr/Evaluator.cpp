// The evaluator: runs the postfix list on a stack of texts and implements
// every operator. It is the one place where the errors of the expression
// subsystem stop and become the result text. Interface: CExpression::Evaluate.
#include "expr/CExpression.h"

#include "util/WideCrt.h"

#include <cmath>

namespace {

// Pops the right and then the left operand of a two-operand operator.
void popOperands(CStringStack& stack, const std::u16string& token, std::u16string& left, std::u16string& right)
{
    if (stack.Count() < 2)
        throw CExpressionError(u"Stack is empty, can not perform [" + token + u"]");
    right = stack.Pop();
    left = stack.Pop();
}

bool compareNumbers(int code, double l, double r)
{
    switch (code) {
    case CExpression::kGreater: return l - r > kTolerance;
    case CExpression::kLess: return r - l > kTolerance;
    case CExpression::kEqual: return std::fabs(l - r) <= kTolerance;
    case CExpression::kGreaterEqual: return r - l < kTolerance;
    case CExpression::kLessEqual: return l - r < kTolerance;
    default: return std::fabs(l - r) > kTolerance;
    }
}

bool compareTexts(int code, int k)
{
    switch (code) {
    case CExpression::kGreater: return k > 0;
    case CExpression::kLess: return k < 0;
    case CExpression::kEqual: return k == 0;
    case CExpression::kGreaterEqual: return k >= 0;
    case CExpression::kLessEqual: return k <= 0;
    default: return k != 0;
    }
}

// The remainder of the two values truncated toward zero. Truncating in double
// precision keeps values past the 32-bit range defined.
double remainder(const std::u16string& token, double l, double r)
{
    double divisor = std::trunc(r);
    if (divisor == 0)
        throw CExpressionError(u"Division by zero can not perform [" + token + u"]");
    // fmod keeps the sign of the left operand; + 0.0 turns -0 into 0.
    return std::fmod(std::trunc(l), divisor) + 0.0;
}

// + and -: two numbers; booleans and texts are refused by name.
std::u16string addOrSubtract(int code, const std::u16string& left, const std::u16string& right)
{
    const char16_t* name = code == CExpression::kAdd ? u"Addition" : u"Substraction";
    if (CExpression::IsBoolean(left) || CExpression::IsBoolean(right))
        throw CExpressionError(u"Can not perform " + std::u16string(name) + u" with boolean values.");
    if (!CExpression::IsNumber(left) || !CExpression::IsNumber(right))
        throw CExpressionError(name + std::u16string(u" not supported for strings."));
    double l = crt::wcstod(left), r = crt::wcstod(right);
    return CExpression::FormatNumber(code == CExpression::kAdd ? l + r : l - r);
}

// ^ * / %: two numbers.
std::u16string multiplicative(int code, const std::u16string& token, const std::u16string& left,
                              const std::u16string& right)
{
    if (!CExpression::IsNumber(left) || !CExpression::IsNumber(right))
        throw CExpressionError(u"Either one of the operand is not a number can not perform [" + token + u"]");
    double l = crt::wcstod(left), r = crt::wcstod(right);
    switch (code) {
    case CExpression::kPower: return CExpression::FormatNumber(std::pow(l, r));
    case CExpression::kMultiply: return CExpression::FormatNumber(l * r);
    case CExpression::kDivide: return CExpression::FormatNumber(l / r);
    default: return CExpression::FormatNumber(remainder(token, l, r));
    }
}

// > < = >= <= <>: numbers by value, booleans by truth for = and <>, anything
// else as texts ignoring case.
std::u16string compare(int code, const std::u16string& left, const std::u16string& right)
{
    bool truth;
    if (CExpression::IsNumber(left) && CExpression::IsNumber(right))
        truth = compareNumbers(code, crt::wcstod(left), crt::wcstod(right));
    else if (CExpression::IsBoolean(left) && CExpression::IsBoolean(right) &&
             (code == CExpression::kEqual || code == CExpression::kNotEqual))
        truth = (CExpression::GetBooleanValue(left) == CExpression::GetBooleanValue(right)) ==
            (code == CExpression::kEqual);
    else
        truth = compareTexts(code, crt::wcsicmp(left, right));
    return CExpression::FormatBoolean(truth);
}

// A two-operand operator, by family.
std::u16string binary(int code, const std::u16string& token, const std::u16string& left, const std::u16string& right)
{
    switch (code) {
    case CExpression::kAdd:
    case CExpression::kSubtract: return addOrSubtract(code, left, right);
    case CExpression::kPower:
    case CExpression::kMultiply:
    case CExpression::kDivide:
    case CExpression::kRemainder: return multiplicative(code, token, left, right);
    default: return compare(code, left, right);
    }
}

bool isBinary(int code)
{
    return (code >= CExpression::kSubtract && code <= CExpression::kRemainder) ||
        (code >= CExpression::kGreater && code <= CExpression::kNotEqual);
}

// Unary minus: the sign is folded into the number's text, so the result
// stays a number ("--1" is 1).
std::u16string negate(std::u16string operand)
{
    if (!CExpression::IsNumber(operand))
        throw CExpressionError(u"Not a numaric value.");
    if (!operand.empty() && operand[0] == u'-')
        operand.erase(0, 1);
    else if (!operand.empty() && operand[0] == u'+')
        operand[0] = u'-';
    else
        operand.insert(0, 1, u'-');
    return operand;
}

}

int CExpression::Evaluate(std::u16string& result)
{
    try {
        if (m_postfix.empty())
            Parse();
        if (m_postfix.empty())
            throw CExpressionError(u"Unable to parse the expression.");

        CStringStack stack;
        std::u16string left, right;
        for (const std::u16string& token : m_postfix) {
            int code = GetOperatorCode(token);
            if (isBinary(code)) {
                popOperands(stack, token, left, right);
                left = Resolve(left);
                right = Resolve(right);
                stack.Push(binary(code, token, left, right));
            } else if (code == kNegate) {
                if (stack.IsEmpty())
                    throw CExpressionError(u"No operand to negate.");
                stack.Push(negate(Resolve(stack.Pop())));
            } else if (code == kArgumentList || IsNumber(token) || IsBoolean(token) || ResolveReference(token) ||
                       !IsFunction(token)) {
                stack.Push(token);
            } else {
                EvaluateFunction(token, stack);
            }
        }
        if (stack.Count() != 1)
            throw CExpressionError(u"Unable to evaluate expression.");
        result = Resolve(stack.Pop());
        return 1;
    } catch (const CExpressionError& error) {
        result = error.Message();
        return 0;
    }
}
