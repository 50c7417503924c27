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
double truncate(double value) { return std::trunc(value) + 0.0; }

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

// One call of a function: its name and index, and its arguments, entry 0
// being the last one written.
struct Call {
    CExpression& expression;
    const std::u16string& name;
    int function;
    CExpression::TokenList arguments;

    // The argument as written, with a reference replaced by its value.
    std::u16string resolve(size_t i) const
    {
        if (!expression.ResolveReference(arguments[i]))
            return arguments[i];
        std::u16string value = expression.GetVariableValue(arguments[i]);
        if (value.empty())
            throw CExpressionError(u"Variable [" + arguments[i] + u"] not defined");
        return value;
    }
    [[noreturn]] void fail(const char16_t* message) const { throw CExpressionError(name + message); }
};

// How many arguments a function takes, and what a wrong count says.
struct Arity {
    size_t count;
    const char16_t* tooFew;
    const char16_t* tooMany;
};
constexpr Arity kOneArgument = {1, u" requires at least one argument.", u" requires only one argument."};
constexpr Arity kTwoArguments = {2, u" requires at least two arguments.", u" requires only two arguments."};
constexpr Arity kThreeArguments = {3, u" requires at least three arguments.", u" requires only three arguments."};

void checkCount(const Call& call, const Arity& arity)
{
    if (call.arguments.size() < arity.count)
        call.fail(arity.tooFew);
    if (call.arguments.size() > arity.count)
        call.fail(arity.tooMany);
}

[[noreturn]] std::u16string notImplemented(const Call& call)
{
    throw CExpressionError(u"Function [" + call.name + u"] is not implemented.");
}

// ABS COS FIXED HEX LOG SIN SQRT TAN: one number in, one number out.
std::u16string numberFunction(const Call& call)
{
    std::u16string text = call.resolve(0);
    if (!CExpression::IsNumber(text))
        call.fail(u" operates on numeric operands only.");
    double x = crt::wcstod(text);
    switch (call.function) {
    case CExpression::kAbs: return CExpression::FormatNumber(std::fabs(x));
    case CExpression::kCos: return CExpression::FormatNumber(std::cos(x));
    case CExpression::kFixed: return CExpression::FormatNumber(std::floor(x));
    case CExpression::kLog: return CExpression::FormatNumber(std::log10(x));
    case CExpression::kSin: return CExpression::FormatNumber(std::sin(x));
    case CExpression::kSqrt: return CExpression::FormatNumber(std::sqrt(x));
    case CExpression::kTan: return CExpression::FormatNumber(std::tan(x));
    default: notImplemented(call);
    }
}

// ASC: the code of the first character.
std::u16string ascFunction(const Call& call)
{
    std::u16string text = call.resolve(0);
    if (text.empty())
        call.fail(u" requires a char type operand.");
    return CExpression::FormatInteger(text[0]);
}

// LCASE UCASE ACAD_FIELD: one text in, one text out.
std::u16string textFunction(const Call& call)
{
    std::u16string text = call.resolve(0);
    if (call.function == CExpression::kLcase)
        return crt::toLower(text);
    if (call.function == CExpression::kUcase)
        return crt::toUpper(text);
    size_t unit = text.find(u'\x1F');
    if (unit == std::u16string::npos || unit == 0)
        return text;
    std::erase(text, u'\x1F');
    return call.expression.EvaluateFieldCode(text);
}

// LEFT RIGHT ROUND ROUNDUP ROUNDDOWN: a text or number, then a count.
std::u16string countFunction(const Call& call)
{
    std::u16string count = call.resolve(0);
    if (!CExpression::IsNumber(count))
        call.fail(u" oprator requires numaric length.");
    std::u16string text = call.resolve(1);
    int k = crt::wtoi(count);
    switch (call.function) {
    case CExpression::kLeft: return clampedPrefix(text, k);
    case CExpression::kRight: return clampedSuffix(text, k);
    case CExpression::kRound: return CExpression::FormatNumber(CExpression::Round(crt::wcstod(text), k));
    case CExpression::kRoundUp: return CExpression::FormatNumber(CExpression::RoundUp(text, k));
    default: return CExpression::FormatNumber(CExpression::RoundDown(text, k));
    }
}

// IF MID SUBSTITUTE: three arguments, checked from the last one written.
std::u16string threeArgumentFunction(const Call& call)
{
    bool mid = call.function == CExpression::kMid;
    std::u16string third = call.resolve(0);
    if (mid && !CExpression::IsNumber(third))
        call.fail(u" oprator requires numaric lengths.");
    std::u16string second = call.resolve(1);
    if (mid && !CExpression::IsNumber(second))
        call.fail(u" oprator requires numaric lengths.");
    std::u16string first = call.resolve(2);
    if (call.function == CExpression::kIf) {
        if (!CExpression::IsBoolean(first))
            call.fail(u" oprator requires boolean condition.");
        return CExpression::GetBooleanValue(first) ? second : third;
    }
    if (mid) {
        int start = crt::wtoi(second);
        size_t index = start < 1 ? 0 : size_t(start) - 1;
        return index >= first.size() ? std::u16string() : clampedPrefix(first.substr(index), crt::wtoi(third));
    }
    return substitute(first, second, third, call.name);
}

// Every function by its index: the arguments it takes (none: not checked)
// and what computes it (none: an aggregate over numbers and ranges).
using Handler = std::u16string (*)(const Call&);
struct FunctionEntry {
    const Arity* arity;
    Handler handler;
};
constexpr FunctionEntry kFunctions[] = {
    /* 0  AVG        */ {nullptr, nullptr},
    /* 1  ABS        */ {&kOneArgument, numberFunction},
    /* 2  ACOS       */ {nullptr, notImplemented},
    /* 3  ASC        */ {&kOneArgument, ascFunction},
    /* 4  ASIN       */ {nullptr, notImplemented},
    /* 5  ATAN       */ {nullptr, notImplemented},
    /* 6  COS        */ {&kOneArgument, numberFunction},
    /* 7  FIXED      */ {&kOneArgument, numberFunction},
    /* 8  HEX        */ {&kOneArgument, numberFunction},
    /* 9  IF         */ {&kThreeArguments, threeArgumentFunction},
    /* 10 LCASE      */ {&kOneArgument, textFunction},
    /* 11 LEFT       */ {&kTwoArguments, countFunction},
    /* 12 LOG        */ {&kOneArgument, numberFunction},
    /* 13 MAX        */ {nullptr, nullptr},
    /* 14 MID        */ {&kThreeArguments, threeArgumentFunction},
    /* 15 MIN        */ {nullptr, nullptr},
    /* 16 RIGHT      */ {&kTwoArguments, countFunction},
    /* 17 ROUND      */ {&kTwoArguments, countFunction},
    /* 18 SIN        */ {&kOneArgument, numberFunction},
    /* 19 SQRT       */ {&kOneArgument, numberFunction},
    /* 20 TAN        */ {&kOneArgument, numberFunction},
    /* 21 UCASE      */ {&kOneArgument, textFunction},
    /* 22 SUM        */ {nullptr, nullptr},
    /* 23 ROUNDUP    */ {&kTwoArguments, countFunction},
    /* 24 ROUNDDOWN  */ {&kTwoArguments, countFunction},
    /* 25 SUBSTITUTE */ {&kThreeArguments, threeArgumentFunction},
    /* 26 ACAD_FIELD */ {&kOneArgument, textFunction},
};
static_assert(std::size(kFunctions) == CExpression::kAcadField + 1);

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
    double result = function == kSum ? sum
        : function == kAvg           ? (taken ? sum / double(taken) : 0)
        : function == kMax           ? maximum
                                     : minimum;
    arguments.assign(1, FormatNumber(result));
}

void CExpression::EvaluateFunction(const std::u16string& token, CStringStack& stack)
{
    int function = GetFunctionIndex(token);
    if (function < 0)
        throw CExpressionError(u"Unsupported function token [" + token + u"]");

    Call call{*this, token, function, {}};
    while (!stack.IsEmpty()) {
        std::u16string entry = stack.Pop();
        if (entry.size() == 1 && entry[0] == kArgumentMarker)
            break;
        stripLeading(entry, kStringMarker);
        call.arguments.push_back(std::move(entry));
    }

    const FunctionEntry& entry = kFunctions[function];
    if (!entry.handler) {
        EvaluateAggregate(function, token, call.arguments);
        stack.Push(std::move(call.arguments[0]));
        return;
    }
    if (entry.arity)
        checkCount(call, *entry.arity);
    stack.Push(entry.handler(call));
}
