// The built-in function library: takes a function's arguments from the value
// stack, checks their number and kind, and pushes the result. Roundings use
// this system's own arithmetic and tolerance. Interface:
// CExpression::EvaluateFunction, Round, RoundUp and RoundDown.
#include "expr/CExpression.h"

#include "util/CDelimTokenizer.h"
#include "util/WideCrt.h"

#include <cmath>
#include <cstdint>

namespace {

// An aggregate walk that grows past this many entries has met a range whose
// cells lead back into it.
constexpr size_t kMaxAggregateEntries = 100000;
// SUBSTITUTE nested in itself can double a text at every level.
constexpr size_t kMaxTextLength = size_t(1) << 20;

// Toward zero in double precision: the same as a 32-bit truncation inside that
// range and still defined outside it; + 0.0 turns -0 into 0.
double truncate(double value)
{
    return std::trunc(value) + 0.0;
}

// 10 raised to |digits| by repeated squaring; its inverse for negative digits.
double scaleOf(int digits)
{
    std::int64_t n = digits < 0 ? -std::int64_t(digits) : digits;
    double scale = 1, base = 10;
    for (; n > 0; n >>= 1) {
        if (n & 1)
            scale *= base;
        base *= base;
    }
    return digits < 0 ? 1 / scale : scale;
}

void stripLeading(std::u16string& text, char16_t marker)
{
    text.erase(0, std::min(text.find_first_not_of(marker), text.size()));
}

std::u16string clampedPrefix(const std::u16string& text, int count)
{
    if (count <= 0)
        return {};
    return text.substr(0, std::min(size_t(count), text.size()));
}

std::u16string clampedSuffix(const std::u16string& text, int count)
{
    if (count <= 0)
        return {};
    size_t n = std::min(size_t(count), text.size());
    return text.substr(text.size() - n);
}

std::u16string substitute(const std::u16string& text, const std::u16string& from, const std::u16string& to,
                          const std::u16string& name)
{
    if (from.empty())
        return text;
    std::u16string result;
    size_t position = 0;
    for (;;) {
        size_t found = text.find(from, position);
        if (found == std::u16string::npos)
            break;
        result.append(text, position, found - position);
        result.append(to);
        position = found + from.size();
        if (result.size() > kMaxTextLength)
            throw CExpressionError(name + u" result is too long.");
    }
    result.append(text, position, std::u16string::npos);
    return result;
}

}

double CExpression::Round(double value, int digits)
{
    double scale = scaleOf(digits);
    double half = value > kTolerance ? 0.5 : -0.5;
    return truncate(value * scale + half) / scale;
}

double CExpression::RoundUp(std::u16string_view value, int digits)
{
    double scale = scaleOf(digits);
    double scaled = crt::wcstod(value) * scale;
    double whole = truncate(scaled);
    if (std::fabs(scaled - whole) <= kTolerance)
        return whole / scale;
    return (scaled > kTolerance ? truncate(scaled + 1) : truncate(scaled - 1)) / scale;
}

double CExpression::RoundDown(std::u16string_view value, int digits)
{
    double scale = scaleOf(digits);
    return truncate(crt::wcstod(value) * scale) / scale;
}

void CExpression::EvaluateAggregate(int function, const std::u16string& name, TokenList& arguments)
{
    if (arguments.empty() || (arguments.size() == 1 && !ResolveReference(arguments[0])))
        throw CExpressionError(name + u" requires at least two operands.");
    double sum = 0, maximum = 0, minimum = 0;
    size_t taken = 0;
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::u16string value = arguments[i];
        if (ResolveReference(value)) {
            value = GetVariableValue(value);
            if (!value.empty() && value[0] == kRangeMarker) {
                stripLeading(value, kRangeMarker);
                CDelimTokenizer cells(value, u",");
                std::u16string cell;
                while (cells.next(cell)) {
                    if (arguments.size() >= kMaxAggregateEntries)
                        throw CExpressionError(name + u" range is too large or refers to itself.");
                    arguments.push_back(cell);
                }
                continue;
            }
        }
        if (!value.empty() && !IsNumber(value))
            throw CExpressionError(name + u" requires numaric operands only.");
        double x = crt::wcstod(value);
        sum += x;
        if (taken == 0) {
            maximum = minimum = x;
        } else {
            if (x - maximum > kTolerance)
                maximum = x;
            if (minimum - x > kTolerance)
                minimum = x;
        }
        ++taken;
    }
    double result = function == kSum   ? sum
                    : function == kAvg ? (taken ? sum / double(taken) : 0)
                    : function == kMax ? maximum
                                       : minimum;
    arguments.assign(1, FormatNumber(result));
}

void CExpression::EvaluateFunction(const std::u16string& token, CStringStack& stack)
{
    const std::u16string& name = token;
    int function = GetFunctionIndex(token);
    if (function < 0)
        throw CExpressionError(u"Unsupported function token [" + name + u"]");

    // Entry 0 is the last argument written.
    TokenList arguments;
    while (!stack.IsEmpty()) {
        std::u16string entry = stack.Pop();
        if (entry.size() == 1 && entry[0] == kArgumentMarker)
            break;
        stripLeading(entry, kStringMarker);
        arguments.push_back(std::move(entry));
    }
    size_t n = arguments.size();
    // The argument as written, with a reference replaced by its value.
    auto resolve = [&](size_t i) {
        if (!ResolveReference(arguments[i]))
            return arguments[i];
        std::u16string value = GetVariableValue(arguments[i]);
        if (value.empty())
            throw CExpressionError(u"Variable [" + arguments[i] + u"] not defined");
        return value;
    };
    auto countCheck = [&](size_t wanted, const char16_t* atLeast, const char16_t* only) {
        if (n < wanted)
            throw CExpressionError(name + atLeast);
        if (n > wanted)
            throw CExpressionError(name + only);
    };

    switch (function) {
    case kAvg:
    case kMax:
    case kMin:
    case kSum:
        EvaluateAggregate(function, name, arguments);
        stack.Push(std::move(arguments[0]));
        return;
    case kAcos:
    case kAsin:
    case kAtan:
        throw CExpressionError(u"Function [" + name + u"] is not implemented.");
    case kAbs:
    case kCos:
    case kFixed:
    case kHex:
    case kLog:
    case kSin:
    case kSqrt:
    case kTan: {
        countCheck(1, u" requires at least one argument.", u" requires only one argument.");
        std::u16string text = resolve(0);
        if (!IsNumber(text))
            throw CExpressionError(name + u" operates on numeric operands only.");
        double x = crt::wcstod(text);
        double value = 0;
        switch (function) {
        case kAbs: value = std::fabs(x); break;
        case kCos: value = std::cos(x); break;
        case kFixed: value = std::floor(x); break;
        case kLog: value = std::log10(x); break;
        case kSin: value = std::sin(x); break;
        case kSqrt: value = std::sqrt(x); break;
        case kTan: value = std::tan(x); break;
        default: throw CExpressionError(u"Function [" + name + u"] is not implemented.");
        }
        stack.Push(FormatNumber(value));
        return;
    }
    case kAsc: {
        if (n > 1)
            throw CExpressionError(name + u" requires only one argument.");
        if (n < 1)
            throw CExpressionError(name + u" requires at least one argument.");
        std::u16string text = resolve(0);
        if (text.empty())
            throw CExpressionError(name + u" requires a char type operand.");
        stack.Push(FormatInteger(text[0]));
        return;
    }
    case kLcase:
    case kUcase:
    case kAcadField: {
        countCheck(1, u" requires at least one argument.", u" requires only one argument.");
        std::u16string text = resolve(0);
        if (function == kLcase) {
            stack.Push(crt::toLower(text));
        } else if (function == kUcase) {
            stack.Push(crt::toUpper(text));
        } else {
            size_t unit = text.find(u'\x1F');
            if (unit != std::u16string::npos && unit != 0) {
                std::erase(text, u'\x1F');
                stack.Push(EvaluateFieldCode(text));
            } else {
                stack.Push(std::move(text));
            }
        }
        return;
    }
    case kLeft:
    case kRight:
    case kRound:
    case kRoundUp:
    case kRoundDown: {
        countCheck(2, u" requires at least two arguments.", u" requires only two arguments.");
        std::u16string count = resolve(0);
        if (!IsNumber(count))
            throw CExpressionError(name + u" oprator requires numaric length.");
        std::u16string text = resolve(1);
        int k = crt::wtoi(count);
        switch (function) {
        case kLeft: stack.Push(clampedPrefix(text, k)); break;
        case kRight: stack.Push(clampedSuffix(text, k)); break;
        case kRound: stack.Push(FormatNumber(Round(crt::wcstod(text), k))); break;
        case kRoundUp: stack.Push(FormatNumber(RoundUp(text, k))); break;
        default: stack.Push(FormatNumber(RoundDown(text, k))); break;
        }
        return;
    }
    case kIf:
    case kMid:
    case kSubstitute: {
        countCheck(3, u" requires at least three arguments.", u" requires only three arguments.");
        std::u16string third = resolve(0);
        if (function == kMid && !IsNumber(third))
            throw CExpressionError(name + u" oprator requires numaric lengths.");
        std::u16string second = resolve(1);
        if (function == kMid && !IsNumber(second))
            throw CExpressionError(name + u" oprator requires numaric lengths.");
        std::u16string first = resolve(2);
        if (function == kIf && !IsBoolean(first))
            throw CExpressionError(name + u" oprator requires boolean condition.");
        if (function == kIf) {
            stack.Push(GetBooleanValue(first) ? second : third);
        } else if (function == kMid) {
            int start = crt::wtoi(second);
            size_t index = start < 1 ? 0 : size_t(start) - 1;
            stack.Push(index >= first.size() ? std::u16string() : clampedPrefix(first.substr(index), crt::wtoi(third)));
        } else {
            stack.Push(substitute(first, second, third, name));
        }
        return;
    }
    }
}
