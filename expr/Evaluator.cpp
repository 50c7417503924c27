// The evaluator: runs the postfix list on a stack of texts and implements
// every operator. It is the one place where the errors of the expression
// subsystem stop and become the result text. Interface: CExpression::Evaluate.
#include "expr/CExpression.h"

#include "util/WideCrt.h"

#include <cmath>

namespace {

// Pops the right and then the left operand of a two-operand operator.
void popOperands(CStringStack& stack, const std::u16string& token, std::u16string& left,
                 std::u16string& right)
{
    if (stack.Count() < 2)
        throw CExpressionError(u"Stack is empty, can not perform [" + token + u"]");
    right = stack.Pop();
    left = stack.Pop();
}

bool compareNumbers(int code, double l, double r)
{
    switch (code) {
    case CExpression::kGreater:
        return l - r > kTolerance;
    case CExpression::kLess:
        return r - l > kTolerance;
    case CExpression::kEqual:
        return std::fabs(l - r) <= kTolerance;
    case CExpression::kGreaterEqual:
        return r - l < kTolerance;
    case CExpression::kLessEqual:
        return l - r < kTolerance;
    default:
        return std::fabs(l - r) > kTolerance;
    }
}

bool compareTexts(int code, int k)
{
    switch (code) {
    case CExpression::kGreater:
        return k > 0;
    case CExpression::kLess:
        return k < 0;
    case CExpression::kEqual:
        return k == 0;
    case CExpression::kGreaterEqual:
        return k >= 0;
    case CExpression::kLessEqual:
        return k <= 0;
    default:
        return k != 0;
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
            switch (code) {
            case kAdd:
            case kSubtract: {
                popOperands(stack, token, left, right);
                left = Resolve(left);
                right = Resolve(right);
                const char16_t* name = code == kAdd ? u"Addition" : u"Substraction";
                if (IsBoolean(left) || IsBoolean(right))
                    throw CExpressionError(u"Can not perform " + std::u16string(name) + u" with boolean values.");
                if (!IsNumber(left) || !IsNumber(right))
                    throw CExpressionError(name + std::u16string(u" not supported for strings."));
                double l = crt::wcstod(left), r = crt::wcstod(right);
                stack.Push(FormatNumber(code == kAdd ? l + r : l - r));
                break;
            }
            case kPower:
            case kMultiply:
            case kDivide:
            case kRemainder: {
                popOperands(stack, token, left, right);
                left = Resolve(left);
                right = Resolve(right);
                if (!IsNumber(left) || !IsNumber(right))
                    throw CExpressionError(u"Either one of the operand is not a number can not perform [" + token + u"]");
                double l = crt::wcstod(left), r = crt::wcstod(right);
                double value = code == kPower      ? std::pow(l, r)
                               : code == kMultiply ? l * r
                               : code == kDivide   ? l / r
                                                   : remainder(token, l, r);
                stack.Push(FormatNumber(value));
                break;
            }
            case kGreater:
            case kLess:
            case kEqual:
            case kGreaterEqual:
            case kLessEqual:
            case kNotEqual: {
                popOperands(stack, token, left, right);
                left = Resolve(left);
                right = Resolve(right);
                bool truth;
                if (IsNumber(left) && IsNumber(right))
                    truth = compareNumbers(code, crt::wcstod(left), crt::wcstod(right));
                else if (IsBoolean(left) && IsBoolean(right) && (code == kEqual || code == kNotEqual))
                    truth = (GetBooleanValue(left) == GetBooleanValue(right)) == (code == kEqual);
                else
                    truth = compareTexts(code, crt::wcsicmp(left, right));
                stack.Push(FormatBoolean(truth));
                break;
            }
            case kNegate: {
                if (stack.IsEmpty())
                    throw CExpressionError(u"No operand to negate.");
                std::u16string operand = Resolve(stack.Pop());
                if (!IsNumber(operand))
                    throw CExpressionError(u"Not a numaric value.");
                // Fold an existing sign so that the result stays a number.
                if (!operand.empty() && operand[0] == u'-')
                    operand.erase(0, 1);
                else if (!operand.empty() && operand[0] == u'+')
                    operand[0] = u'-';
                else
                    operand.insert(0, 1, u'-');
                stack.Push(std::move(operand));
                break;
            }
            case kArgumentList:
                stack.Push(token);
                break;
            default:
                if (IsNumber(token) || IsBoolean(token) || ResolveReference(token))
                    stack.Push(token);
                else if (IsFunction(token))
                    EvaluateFunction(token, stack);
                else
                    stack.Push(token);
                break;
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
