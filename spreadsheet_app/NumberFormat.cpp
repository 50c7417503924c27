// Number format codes: split into sections, each parsed into tokens, and a
// renderer per kind of section (General, number, fraction, date and time,
// text). Interface: formatNumber, formatText and builtinFormatCode in
// NumberFormat.h.
#include "spreadsheet_app/NumberFormat.h"

#include "spreadsheet_app/TextConvert.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

namespace tessly::spreadsheet {
namespace {

enum class Kind { Digit, Point, Comma, Literal, Percent, Exp, Slash, Text, General, DatePart, AmPm, Elapsed };

struct Token {
    Kind kind;
    std::string text{};  // literal text, AM/PM spelling
    char ch = 0;         // placeholder (0 # ?), date letter (y m d h s), exponent sign
    int count = 0;       // length of a date letter run
    bool minute = false;
};

struct Condition {
    bool present = false;
    std::string op;
    double value = 0;
    bool test(double v) const
    {
        if (op == "<")
            return v < value;
        if (op == "<=")
            return v <= value;
        if (op == ">")
            return v > value;
        if (op == ">=")
            return v >= value;
        if (op == "<>")
            return v != value;
        return v == value;
    }
};

struct Section {
    std::vector<Token> tokens;
    Condition cond;
    bool isDate = false;
    bool hasText = false;
    bool hasDigits = false;
};

// Length of the UTF-8 sequence starting at s[i], so multi-byte literals stay whole.
size_t charLen(std::string_view s, size_t i)
{
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 4;
    return std::min(n, s.size() - i);
}

std::vector<std::string_view> splitSections(std::string_view code)
{
    std::vector<std::string_view> out;
    size_t start = 0;
    bool quoted = false, bracket = false;
    for (size_t i = 0; i < code.size(); ++i) {
        char c = code[i];
        if (quoted) {
            if (c == '"')
                quoted = false;
            continue;
        }
        if (bracket) {
            if (c == ']')
                bracket = false;
            continue;
        }
        if (c == '"')
            quoted = true;
        else if (c == '[')
            bracket = true;
        else if ((c == '\\' || c == '_' || c == '*') && i + 1 < code.size())
            i += charLen(code, i + 1);
        else if (c == ';') {
            out.push_back(code.substr(start, i - start));
            start = i + 1;
        }
    }
    out.push_back(code.substr(start));
    return out;
}

bool startsWithNoCase(std::string_view s, size_t i, std::string_view word)
{
    if (s.size() - i < word.size())
        return false;
    for (size_t k = 0; k < word.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(s[i + k])) != std::tolower(static_cast<unsigned char>(word[k])))
            return false;
    return true;
}

void addLiteral(Section& sec, std::string text)
{
    if (!sec.tokens.empty() && sec.tokens.back().kind == Kind::Literal)
        sec.tokens.back().text += text;
    else
        sec.tokens.push_back({Kind::Literal, std::move(text)});
}

void parseBracket(Section& sec, std::string_view in)
{
    if (in.empty())
        return;
    if (in[0] == '$') {
        // Currency/locale tag: the symbol before '-' shows, the locale id does not.
        size_t dash = in.find('-');
        std::string_view sym = in.substr(1, dash == std::string_view::npos ? std::string_view::npos : dash - 1);
        if (!sym.empty())
            addLiteral(sec, std::string(sym));
        return;
    }
    if (in[0] == '<' || in[0] == '>' || in[0] == '=') {
        size_t n = 1;
        if (in.size() > 1 && (in[1] == '=' || in[1] == '>'))
            n = 2;
        sec.cond.present = true;
        sec.cond.op = std::string(in.substr(0, n));
        sec.cond.value = std::strtod(std::string(in.substr(n)).c_str(), nullptr);
        return;
    }
    char l = static_cast<char>(std::tolower(static_cast<unsigned char>(in[0])));
    if (l == 'h' || l == 'm' || l == 's') {
        bool same = true;
        for (char c : in)
            same = same && std::tolower(static_cast<unsigned char>(c)) == l;
        if (same) {
            sec.tokens.push_back({Kind::Elapsed, {}, l, static_cast<int>(in.size())});
            sec.isDate = true;
        }
    }
    // Colours and other tags do not change the text.
}

Section parseSection(std::string_view s)
{
    Section sec;
    for (size_t i = 0; i < s.size();) {
        char c = s[i];
        char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (c == '"') {
            size_t end = s.find('"', i + 1);
            if (end == std::string_view::npos)
                end = s.size();
            addLiteral(sec, std::string(s.substr(i + 1, end - i - 1)));
            i = end + 1;
        } else if (c == '\\' && i + 1 < s.size()) {
            size_t n = charLen(s, i + 1);
            addLiteral(sec, std::string(s.substr(i + 1, n)));
            i += 1 + n;
        } else if (c == '_' && i + 1 < s.size()) {
            // Padding as wide as the next character: one space.
            addLiteral(sec, " ");
            i += 1 + charLen(s, i + 1);
        } else if (c == '*' && i + 1 < s.size()) {
            i += 1 + charLen(s, i + 1);  // column fill: nothing to fill without a width
        } else if (c == '[') {
            size_t end = s.find(']', i);
            if (end == std::string_view::npos)
                end = s.size();
            parseBracket(sec, s.substr(i + 1, end - i - 1));
            i = end + 1;
        } else if (c == '0' || c == '#' || c == '?') {
            sec.tokens.push_back({Kind::Digit, {}, c});
            sec.hasDigits = true;
            ++i;
        } else if (c == '.') {
            sec.tokens.push_back({Kind::Point});
            ++i;
        } else if (c == ',') {
            sec.tokens.push_back({Kind::Comma});
            ++i;
        } else if (c == '%') {
            sec.tokens.push_back({Kind::Percent});
            ++i;
        } else if (l == 'e' && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-')) {
            sec.tokens.push_back({Kind::Exp, {}, s[i + 1]});
            i += 2;
        } else if (c == '/') {
            sec.tokens.push_back({Kind::Slash});
            ++i;
        } else if (c == '@') {
            sec.tokens.push_back({Kind::Text});
            sec.hasText = true;
            ++i;
        } else if (startsWithNoCase(s, i, "general")) {
            sec.tokens.push_back({Kind::General});
            i += 7;
        } else if (startsWithNoCase(s, i, "am/pm") || startsWithNoCase(s, i, "a/p")) {
            size_t n = startsWithNoCase(s, i, "am/pm") ? 5 : 3;
            sec.tokens.push_back({Kind::AmPm, std::string(s.substr(i, n))});
            sec.isDate = true;
            i += n;
        } else if (l == 'y' || l == 'm' || l == 'd' || l == 'h' || l == 's') {
            size_t j = i;
            while (j < s.size() && std::tolower(static_cast<unsigned char>(s[j])) == l)
                ++j;
            sec.tokens.push_back({Kind::DatePart, {}, l, static_cast<int>(j - i)});
            sec.isDate = true;
            i = j;
        } else if (l == 'g' || l == 'b' || l == 'e') {
            ++i;  // era markers of other calendars
        } else {
            size_t n = charLen(s, i);
            addLiteral(sec, std::string(s.substr(i, n)));
            i += n;
        }
    }
    return sec;
}

// v as printf's "%.14e" writes it (the same digits: both round the exact
// binary value), zero-ended; without the format parsing, which every
// number shown in General format paid twice.
void printScientific(char (&buf)[64], double v)
{
    *std::to_chars(buf, buf + sizeof buf - 1, v, std::chars_format::scientific, 14).ptr = '\0';
}

// Integer K = round(v * 10^decimals), v >= 0, rounded half up on the value's
// 15 significant decimal digits (the precision the application keeps), split
// into integer and fraction digits.
void decimalRound(double v, int decimals, std::string& intPart, std::string& fracPart)
{
    char buf[64];
    printScientific(buf, v);
    std::string digits;
    digits.push_back(buf[0]);
    digits.append(buf + 2, 14);
    int exp = std::atoi(std::strchr(buf, 'e') + 1);
    if (v == 0)
        exp = 0;
    long keepLen = static_cast<long>(exp) + 1 + decimals;
    std::string k;
    if (keepLen <= 0) {
        // One character, not a C string: GCC 12 takes assigning "1" for an overlapping copy (-Wrestrict).
        k.assign(1, keepLen == 0 && digits[0] >= '5' ? '1' : '0');
    } else if (keepLen < 15) {
        k = digits.substr(0, static_cast<size_t>(keepLen));
        if (digits[static_cast<size_t>(keepLen)] >= '5') {
            int i = static_cast<int>(k.size()) - 1;
            while (i >= 0 && k[static_cast<size_t>(i)] == '9')
                k[static_cast<size_t>(i--)] = '0';
            if (i < 0)
                k.insert(k.begin(), '1');
            else
                ++k[static_cast<size_t>(i)];
        }
    } else {
        k = digits + std::string(static_cast<size_t>(keepLen - 15), '0');
    }
    if (k.size() < static_cast<size_t>(decimals) + 1)
        k.insert(0, static_cast<size_t>(decimals) + 1 - k.size(), '0');
    intPart = k.substr(0, k.size() - static_cast<size_t>(decimals));
    fracPart = k.substr(k.size() - static_cast<size_t>(decimals));
    size_t nz = intPart.find_first_not_of('0');
    intPart = nz == std::string::npos ? "0" : intPart.substr(nz);
}

std::string exponentText(int e, bool alwaysSign, int minDigits)
{
    std::string d = std::to_string(std::abs(e));
    if (static_cast<int>(d.size()) < minDigits)
        d.insert(0, static_cast<size_t>(minDigits) - d.size(), '0');
    return (e < 0 ? "-" : alwaysSign ? "+" : "") + d;
}

// General in a default-width column: eleven characters, sign not counted.
std::string generalText(double v)
{
    if (v == 0)
        return "0";
    std::string sign = v < 0 ? "-" : "";
    v = std::fabs(v);
    char buf[64];
    printScientific(buf, v);
    int e = std::atoi(std::strchr(buf, 'e') + 1);
    if (e >= -4 && e <= 10) {
        std::string ip, fp;
        decimalRound(v, e >= 0 ? std::max(0, 9 - e) : 9, ip, fp);
        while (!fp.empty() && fp.back() == '0')
            fp.pop_back();
        if (ip.size() <= 11)
            return sign + ip + (fp.empty() ? "" : "." + fp);
    }
    std::string digits;
    digits.push_back(buf[0]);
    digits.append(buf + 2, 14);
    std::string k = digits.substr(0, 6);
    if (digits[6] >= '5') {
        int i = 5;
        while (i >= 0 && k[static_cast<size_t>(i)] == '9')
            k[static_cast<size_t>(i--)] = '0';
        if (i < 0) {
            k = "100000";
            ++e;
        } else
            ++k[static_cast<size_t>(i)];
    }
    while (k.size() > 1 && k.back() == '0')
        k.pop_back();
    std::string mant = k.substr(0, 1) + (k.size() > 1 ? "." + k.substr(1) : "");
    return sign + mant + "E" + exponentText(e, true, 2);
}

// Commas between digit placeholders group thousands; commas after the last
// one scale by 1000 each; any other comma is shown.
void resolveCommas(Section& sec, bool& grouping, int& scale)
{
    std::vector<Token> out;
    auto& t = sec.tokens;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != Kind::Comma) {
            out.push_back(t[i]);
            continue;
        }
        size_t j = i;
        while (j < t.size() && t[j].kind == Kind::Comma)
            ++j;
        bool prevDigit = !out.empty() && out.back().kind == Kind::Digit;
        bool nextDigit = j < t.size() && t[j].kind == Kind::Digit;
        if (prevDigit && nextDigit)
            grouping = true;
        else if (prevDigit)
            scale += static_cast<int>(j - i);
        else
            for (size_t k = i; k < j; ++k)
                out.push_back({Kind::Literal, ","});
        i = j - 1;
    }
    t = std::move(out);
}

// Lays the integer digits into the placeholders right to left; the leftmost
// placeholder takes any digits left over.
void placeInteger(const std::vector<char>& ph, const std::string& digits, bool grouping,
                  std::vector<std::string>& perPlaceholder)
{
    perPlaceholder.assign(ph.size(), {});
    size_t n = ph.size();
    size_t len = digits.size();
    auto emit = [&](std::string& out, char c, size_t k) {
        out.push_back(c);
        if (grouping && k > 0 && k % 3 == 0)
            out.push_back(c == ' ' ? ' ' : ',');
    };
    for (size_t p = 0; p < n; ++p) {
        size_t idx = n - 1 - p;  // placeholder index from the left
        std::string& out = perPlaceholder[idx];
        if (idx == 0 && len > n) {
            for (size_t q = 0; q < len - n; ++q)
                emit(out, digits[q], len - 1 - q);
        }
        if (p < len)
            emit(out, digits[len - 1 - p], p);
        else if (ph[idx] == '0')
            emit(out, '0', p);
        else if (ph[idx] == '?')
            emit(out, ' ', p);
    }
}

// Where the parts of a fraction stand among the tokens: the numerator is the
// digit run right before the slash, the integer the digits before that; the
// denominator is a literal number (fixed) or a run of placeholders.
struct FractionLayout {
    size_t slash = 0, numStart = 0, denEnd = 0;
    std::vector<size_t> intIdx;
    std::string fixedDen;
    int denPlaceholders = 0;
};

FractionLayout fractionLayout(const std::vector<Token>& t)
{
    FractionLayout f;
    while (t[f.slash].kind != Kind::Slash)
        ++f.slash;
    f.numStart = f.slash;
    while (f.numStart > 0 && t[f.numStart - 1].kind == Kind::Digit)
        --f.numStart;
    for (size_t i = 0; i < f.numStart; ++i)
        if (t[i].kind == Kind::Digit)
            f.intIdx.push_back(i);
    f.denEnd = f.slash + 1;
    if (f.denEnd < t.size() && t[f.denEnd].kind == Kind::Literal &&
        std::isdigit(static_cast<unsigned char>(t[f.denEnd].text[0]))) {
        // A literal such as 16 or 100 fixes the denominator.
        const std::string& lit = t[f.denEnd].text;
        size_t n = 0;
        while (n < lit.size() && std::isdigit(static_cast<unsigned char>(lit[n])))
            ++n;
        f.fixedDen = lit.substr(0, n);
        ++f.denEnd;
        while (f.denEnd < t.size() && t[f.denEnd].kind == Kind::Digit) {
            f.fixedDen.push_back('0');
            ++f.denEnd;
        }
    } else {
        while (f.denEnd < t.size() && t[f.denEnd].kind == Kind::Digit) {
            ++f.denPlaceholders;
            ++f.denEnd;
        }
    }
    return f;
}

// The closest fraction num/den to frac with at most `placeholders` digits in
// the denominator. The search tries every denominator: more than six digits
// would take seconds per cell (and past eighteen overflow), so it looks among
// six digits at most.
void closestFraction(double frac, int placeholders, long long& num, long long& den)
{
    long long maxDen = 1;
    for (int i = 0; i < std::clamp(placeholders, 1, 6); ++i)
        maxDen *= 10;
    --maxDen;
    double best = 2;
    for (long long d = 1; d <= maxDen; ++d) {
        long long n = std::llround(frac * static_cast<double>(d));
        double err = std::fabs(frac - static_cast<double>(n) / static_cast<double>(d));
        if (err < best - 1e-12) {
            best = err;
            num = n;
            den = d;
        }
    }
}

// "num/den" padded to the placeholders around the slash; all spaces when the
// fraction is blank because the integer part says it all.
std::string fractionText(const std::vector<Token>& t, const FractionLayout& f, long long num, long long den, bool blank)
{
    size_t width = f.slash - f.numStart;
    if (blank)
        return std::string(
            width + 1 + (f.fixedDen.empty() ? static_cast<size_t>(f.denPlaceholders) : f.fixedDen.size()), ' ');
    std::string numText = std::to_string(num);
    std::string out = numText;
    for (size_t k = numText.size(); k < width; ++k) {
        char ph = t[f.slash - 1 - k].ch;
        if (ph == '0' || ph == '?')
            out.insert(out.begin(), ph == '0' ? '0' : ' ');
    }
    out += "/";
    if (!f.fixedDen.empty())
        return out + f.fixedDen;
    std::string denText = std::to_string(den);
    out += denText;
    for (int k = static_cast<int>(denText.size()); k < f.denPlaceholders; ++k) {
        char ph = t[f.slash + 1 + static_cast<size_t>(k)].ch;
        if (ph == '0')
            out += "0";
        else if (ph == '?')
            out += " ";
    }
    return out;
}

std::string renderFraction(const Section& sec, double v)
{
    const auto& t = sec.tokens;
    const FractionLayout f = fractionLayout(t);
    bool hasInt = !f.intIdx.empty();
    double whole = hasInt ? std::floor(v) : 0;
    double frac = v - whole;
    long long num = 0, den = 1;
    if (!f.fixedDen.empty()) {
        den = std::atoll(f.fixedDen.c_str());
        if (den <= 0)
            den = 1;
        num = std::llround(frac * static_cast<double>(den));
    } else {
        closestFraction(frac, f.denPlaceholders, num, den);
    }
    if (hasInt && num == den) {
        whole += 1;
        num = 0;
    }
    std::string wholeDigits, unused;
    if (hasInt)
        decimalRound(whole, 0, wholeDigits, unused);
    bool blankFraction = hasInt && num == 0;
    if (hasInt && whole == 0 && num != 0)
        wholeDigits.clear();
    std::vector<char> intPh;
    for (size_t i : f.intIdx)
        intPh.push_back(t[i].ch);
    std::vector<std::string> intOut;
    placeInteger(intPh, wholeDigits, false, intOut);

    std::string out;
    size_t intPos = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (i == f.numStart) {
            out += fractionText(t, f, num, den, blankFraction);
            i = f.denEnd - 1;
            continue;
        }
        switch (t[i].kind) {
        // Placeholders after the fraction have no digits to show.
        case Kind::Digit:
            if (intPos < intOut.size())
                out += intOut[intPos++];
            break;
        case Kind::Literal: out += t[i].text; break;
        case Kind::Percent: out += "%"; break;
        case Kind::Point: out += "."; break;
        default: break;
        }
    }
    return out;
}

// Shown for values with no digits to lay out.
const std::string kNumError = "#NUM!";

// Where a number section's parts stand: the first exponent, the decimal
// point before it, and the digit placeholders of each part.
struct NumberLayout {
    size_t expPos = 0, pointPos = 0;
    std::vector<char> intPh, fracPh;
    int expDigits = 0;
    bool intHasHash = false;
    int fracCount() const { return static_cast<int>(fracPh.size()); }
};

NumberLayout numberLayout(const std::vector<Token>& t)
{
    NumberLayout l;
    l.expPos = l.pointPos = t.size();
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind == Kind::Exp && l.expPos == t.size())
            l.expPos = i;
        if (t[i].kind == Kind::Point && l.pointPos == t.size() && i < l.expPos)
            l.pointPos = i;
    }
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != Kind::Digit)
            continue;
        if (i < l.pointPos && i < l.expPos) {
            l.intPh.push_back(t[i].ch);
            l.intHasHash = l.intHasHash || t[i].ch == '#';
        } else if (i < l.expPos)
            l.fracPh.push_back(t[i].ch);
        else
            ++l.expDigits;
    }
    return l;
}

// A fraction only when digits stand right before a slash.
bool isFraction(const Section& sec)
{
    if (!sec.hasDigits)
        return false;
    const auto& t = sec.tokens;
    for (size_t i = 1; i < t.size(); ++i)
        if (t[i].kind == Kind::Slash && t[i - 1].kind == Kind::Digit)
            return true;
    return false;
}

// Scientific notation: picks the exponent (a multiple of the integer width
// under '#') and scales v to the mantissa shown. False when the mantissa has
// no digits to show.
bool scaleToExponent(double& v, int& exponent, const NumberLayout& l)
{
    if (v == 0)
        return true;
    int nInt = std::max<int>(1, static_cast<int>(l.intPh.size()));
    bool engineering = l.intHasHash && nInt > 1;
    char buf[64];
    printScientific(buf, v);
    char* mark = std::strchr(buf, 'e');
    int e = std::atoi(mark + 1);
    // Scaled from the printed mantissa, not by dividing by 10^exponent,
    // which is no longer a finite double for the smallest numbers.
    *mark = '\0';
    const double mantissa = std::strtod(buf, nullptr);
    exponent = engineering ? static_cast<int>(std::floor(static_cast<double>(e) / nInt)) * nInt : e - (nInt - 1);
    std::string ip, fp;
    double scaled = mantissa * std::pow(10.0, e - exponent);
    if (!std::isfinite(scaled))
        return false;
    decimalRound(scaled, l.fracCount(), ip, fp);
    if (std::atof(ip.c_str()) >= std::pow(10.0, nInt))
        exponent += engineering ? nInt : 1;
    v = mantissa * std::pow(10.0, e - exponent);
    return std::isfinite(v);
}

// Trailing fraction zeros vanish under '#' and become spaces under '?'.
std::vector<std::string> fractionDigits(const std::vector<char>& placeholders, const std::string& digits)
{
    std::vector<std::string> out(placeholders.size());
    bool trailing = true;
    for (size_t i = placeholders.size(); i-- > 0;) {
        char d = digits[i];
        char ph = placeholders[i];
        if (trailing && d == '0' && ph != '0')
            out[i] = std::string(ph == '?' ? 1 : 0, ' ');
        else {
            trailing = false;
            out[i] = std::string(1, d);
        }
    }
    return out;
}

std::string renderNumber(Section sec, double v)
{
    bool grouping = false;
    int scale = 0;
    resolveCommas(sec, grouping, scale);
    const auto& t = sec.tokens;
    for (const Token& tok : t)
        if (tok.kind == Kind::Percent)
            v *= 100;
    for (int i = 0; i < scale; ++i)
        v /= 1000;
    // A percent of a number near the largest double has no digits to show.
    if (!std::isfinite(v))
        return kNumError;
    if (isFraction(sec))
        return renderFraction(sec, v);

    const NumberLayout l = numberLayout(t);
    int exponent = 0;
    if (l.expPos < t.size() && !scaleToExponent(v, exponent, l))
        return kNumError;

    std::string ip, fp;
    decimalRound(v, l.fracCount(), ip, fp);
    if (ip == "0")
        ip.clear();  // the 0 placeholders put back what is needed
    std::vector<std::string> intOut;
    placeInteger(l.intPh, ip, grouping, intOut);
    std::vector<std::string> fracOut = fractionDigits(l.fracPh, fp);

    std::string out;
    size_t intIdx = 0, fracIdx = 0;
    bool leadingDone = !(l.intPh.empty() && !ip.empty());
    for (size_t i = 0; i < t.size(); ++i) {
        const Token& tok = t[i];
        switch (tok.kind) {
        case Kind::Digit:
            if (i < l.pointPos && i < l.expPos)
                out += intOut[intIdx++];
            else if (i < l.expPos)
                out += fracOut[fracIdx++];
            break;
        case Kind::Point:
            if (!leadingDone) {
                out += ip;
                leadingDone = true;
            }
            out += ".";
            break;
        case Kind::Exp: {
            out += "E";
            out += exponentText(exponent, tok.ch == '+', l.expDigits);
            while (i + 1 < t.size() && t[i + 1].kind == Kind::Digit)
                ++i;
            break;
        }
        case Kind::Literal: out += tok.text; break;
        case Kind::Percent: out += "%"; break;
        case Kind::Slash: out += "/"; break;
        case Kind::General: out += generalText(v); break;
        default: break;
        }
    }
    return out;
}

const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// Proleptic Gregorian date of a day count from 1970-01-01.
void civilFromDays(long long z, int& y, int& m, int& d)
{
    z += 719468;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long yy = yoe + era * 400;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

std::string pad2(long long n, int width)
{
    std::string s = std::to_string(n);
    if (width == 2 && s.size() < 2)
        s.insert(0, "0");
    return s;
}

bool isTimePart(const Token& tok) { return tok.kind == Kind::DatePart || tok.kind == Kind::Elapsed; }

// A point right after seconds starts their fraction.
bool isSecondsPoint(const std::vector<Token>& t, size_t i)
{
    return t[i].kind == Kind::Point && i > 0 && isTimePart(t[i - 1]) && t[i - 1].ch == 's';
}

// m/mm after an hour or before a second is minutes, otherwise the month.
void markMinutes(std::vector<Token>& t)
{
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != Kind::DatePart || t[i].ch != 'm' || t[i].count > 2)
            continue;
        for (size_t j = i; j-- > 0;) {
            if (isTimePart(t[j])) {
                t[i].minute = t[j].ch == 'h';
                break;
            }
        }
        for (size_t j = i + 1; j < t.size() && !t[i].minute; ++j) {
            if (isTimePart(t[j])) {
                t[i].minute = t[j].ch == 's';
                break;
            }
        }
    }
}

// The calendar and clock of a serial date, rounded to what the section shows.
struct DateTime {
    int year = 0, month = 0, day = 0, weekday = 0;
    int hour = 0, minute = 0, second = 0;
    long long subSecond = 0, totalSeconds = 0;
};

// Rounding to the shown second (or fraction of one) may carry into the date
// only when a time part is shown; a date alone is the day it is.
DateTime breakDown(double v, bool date1904, bool showsTime, int fracDigits)
{
    DateTime dt;
    long long unitsPerSec = 1;
    for (int i = 0; i < fracDigits; ++i)
        unitsPerSec *= 10;
    double scaled = v * 86400.0 * static_cast<double>(unitsPerSec);
    long long units = showsTime ? std::llround(scaled) : static_cast<long long>(std::floor(scaled));
    long long perDay = 86400 * unitsPerSec;
    long long serial = units / perDay;
    long long inDay = units % perDay;
    long long secs = inDay / unitsPerSec;
    dt.subSecond = inDay % unitsPerSec;
    dt.hour = static_cast<int>(secs / 3600);
    dt.minute = static_cast<int>(secs / 60 % 60);
    dt.second = static_cast<int>(secs % 60);
    dt.totalSeconds = units / unitsPerSec;
    if (date1904) {
        civilFromDays(serial - 24107, dt.year, dt.month, dt.day);  // day 0 is 1 January 1904
        dt.weekday = static_cast<int>((serial + 5) % 7);
    } else {
        // The application counts 1900 as a leap year: day 60 is 29 February 1900.
        if (serial == 0) {
            dt.year = 1900;
            dt.month = 1;
            dt.day = 0;
        } else if (serial == 60) {
            dt.year = 1900;
            dt.month = 2;
            dt.day = 29;
        } else
            civilFromDays(serial - (serial < 60 ? 25568 : 25569), dt.year, dt.month, dt.day);
        dt.weekday = static_cast<int>((serial + 6) % 7);
    }
    return dt;
}

void appendDatePart(std::string& out, const Token& tok, const DateTime& dt, bool ampm)
{
    switch (tok.ch) {
    case 'y': out += tok.count <= 2 ? pad2(dt.year % 100, 2) : std::to_string(dt.year); break;
    case 'm':
        if (tok.minute)
            out += pad2(dt.minute, tok.count);
        else if (tok.count <= 2)
            out += pad2(dt.month, tok.count);
        else if (tok.count == 3)
            out += std::string(kMonths[dt.month - 1]).substr(0, 3);
        else if (tok.count == 4)
            out += kMonths[dt.month - 1];
        else
            out += kMonths[dt.month - 1][0];
        break;
    case 'd':
        if (tok.count <= 2)
            out += pad2(dt.day, tok.count);
        else if (tok.count == 3)
            out += std::string(kDays[dt.weekday]).substr(0, 3);
        else
            out += kDays[dt.weekday];
        break;
    case 'h': {
        int h = dt.hour;
        if (ampm)
            h = h % 12 == 0 ? 12 : h % 12;
        out += pad2(h, std::min(tok.count, 2));
        break;
    }
    case 's': out += pad2(dt.second, std::min(tok.count, 2)); break;
    }
}

void appendElapsed(std::string& out, const Token& tok, long long totalSeconds)
{
    long long n = tok.ch == 'h' ? totalSeconds / 3600 : tok.ch == 'm' ? totalSeconds / 60 : totalSeconds;
    std::string s = std::to_string(n);
    if (static_cast<int>(s.size()) < tok.count)
        s.insert(0, static_cast<size_t>(tok.count) - s.size(), '0');
    out += s;
}

std::string renderDate(Section sec, double v, bool date1904)
{
    auto& t = sec.tokens;
    markMinutes(t);
    int fracDigits = 0;
    bool ampm = false;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind == Kind::AmPm)
            ampm = true;
        if (isSecondsPoint(t, i)) {
            int n = 0;
            for (size_t j = i + 1; j < t.size() && t[j].kind == Kind::Digit && t[j].ch == '0'; ++j)
                ++n;
            fracDigits = std::max(fracDigits, std::min(n, 3));
        }
    }
    if (v < 0 || v >= (date1904 ? 2957004.0 : 2958466.0))
        return "########";

    bool showsTime = ampm;
    for (const Token& tok : t)
        showsTime = showsTime || tok.kind == Kind::Elapsed ||
            (tok.kind == Kind::DatePart && (tok.ch == 'h' || tok.ch == 's' || (tok.ch == 'm' && tok.minute)));
    const DateTime dt = breakDown(v, date1904, showsTime, fracDigits);

    std::string out;
    for (size_t i = 0; i < t.size(); ++i) {
        const Token& tok = t[i];
        switch (tok.kind) {
        case Kind::DatePart: appendDatePart(out, tok, dt, ampm); break;
        case Kind::Elapsed: appendElapsed(out, tok, dt.totalSeconds); break;
        case Kind::AmPm: {
            bool pm = dt.hour >= 12;
            if (tok.text.size() == 5) {
                out += pm ? "PM" : "AM";  // whatever case the code spells it in
            } else {
                out += pm ? tok.text[2] : tok.text[0];
            }
            break;
        }
        case Kind::Point:
            if (isSecondsPoint(t, i) && fracDigits > 0) {
                std::string f = std::to_string(dt.subSecond);
                f.insert(0, static_cast<size_t>(fracDigits) - f.size(), '0');
                size_t n = 0;
                while (i + 1 < t.size() && t[i + 1].kind == Kind::Digit && t[i + 1].ch == '0') {
                    ++i;
                    ++n;
                }
                out += "." + f.substr(0, std::min(n, f.size()));
            } else {
                out += ".";
            }
            break;
        case Kind::Literal: out += tok.text; break;
        case Kind::Digit: out += tok.ch; break;
        case Kind::Slash: out += "/"; break;
        case Kind::Comma: out += ","; break;
        case Kind::Percent: out += "%"; break;
        default: break;
        }
    }
    return out;
}

std::string renderText(const Section& sec, std::string_view text)
{
    std::string out;
    for (const Token& tok : sec.tokens) {
        if (tok.kind == Kind::Text)
            out += text;
        else if (tok.kind == Kind::Literal)
            out += tok.text;
    }
    return out;
}

}  // namespace

std::string builtinFormatCode(int id)
{
    switch (id) {
    case 1: return "0";
    case 2: return "0.00";
    case 3: return "#,##0";
    case 4: return "#,##0.00";
    case 5: return "$#,##0_);($#,##0)";
    case 6: return "$#,##0_);[Red]($#,##0)";
    case 7: return "$#,##0.00_);($#,##0.00)";
    case 8: return "$#,##0.00_);[Red]($#,##0.00)";
    case 9: return "0%";
    case 10: return "0.00%";
    case 11: return "0.00E+00";
    case 12: return "# ?/?";
    case 13:
        return "# ??"
               "/??";  // split so "??/" is no trigraph
    case 14: return "m/d/yyyy";
    case 15: return "d-mmm-yy";
    case 16: return "d-mmm";
    case 17: return "mmm-yy";
    case 18: return "h:mm AM/PM";
    case 19: return "h:mm:ss AM/PM";
    case 20: return "h:mm";
    case 21: return "h:mm:ss";
    case 22: return "m/d/yyyy h:mm";
    case 37: return "#,##0_);(#,##0)";
    case 38: return "#,##0_);[Red](#,##0)";
    case 39: return "#,##0.00_);(#,##0.00)";
    case 40: return "#,##0.00_);[Red](#,##0.00)";
    case 41: return "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)";
    case 42: return "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)";
    case 43: return "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)";
    case 44: return "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)";
    case 45: return "mm:ss";
    case 46: return "[h]:mm:ss";
    case 47: return "mmss.0";
    case 48: return "##0.0E+0";
    case 49: return "@";
    default: return "General";
    }
}

std::u16string formatNumber(double value, std::string_view formatCode, bool date1904)
{
    // No cell of the application holds these; a forged workbook can spell
    // them ("inf", "nan"), and they have no digits to lay out.
    if (!std::isfinite(value))
        return toUtf16(kNumError);
    auto parts = splitSections(formatCode);
    std::vector<Section> secs;
    for (size_t i = 0; i < parts.size() && i < 3; ++i)
        secs.push_back(parseSection(parts[i]));
    size_t n = secs.size();

    // Section choice: explicit conditions first, then the usual
    // positive;negative;zero split where the negative section shows no sign.
    size_t chosen = 0;
    auto cond0 = [&](double v) {
        return secs[0].cond.present ? secs[0].cond.test(v) : (n == 1 || (n == 2 ? v >= 0 : v > 0));
    };
    auto cond1 = [&](double v) { return secs[1].cond.present ? secs[1].cond.test(v) : v < 0; };
    bool byCondition = false;
    if (cond0(value))
        byCondition = secs[0].cond.present;
    else if (n >= 2 && cond1(value)) {
        chosen = 1;
        byCondition = secs[1].cond.present;
    } else if (n >= 3)
        chosen = 2;
    else if (n == 2)
        chosen = 1;
    // The sign shows unless a section of its own is there for negatives; a
    // section picked by its own condition is written for the values it takes.
    bool minus = value < 0 && !byCondition && (chosen == 2 || secs[chosen].cond.present || n == 1);

    const Section& sec = secs[chosen];
    double v = std::fabs(value);
    std::string text;
    bool isGeneral = sec.tokens.size() == 1 && sec.tokens[0].kind == Kind::General;
    if (isGeneral || (!sec.hasDigits && !sec.isDate && sec.hasText) || formatCode.empty()) {
        // A text-only section shows numbers as General.
        std::string g = generalText(v);
        text = sec.hasText ? renderText(sec, g) : g;
    } else if (sec.isDate) {
        return toUtf16(renderDate(sec, value, date1904));
    } else {
        text = renderNumber(sec, v);
    }
    if (minus && text != kNumError)
        text.insert(0, "-");
    return toUtf16(text);
}

std::u16string formatText(std::u16string_view text, std::string_view formatCode)
{
    auto parts = splitSections(formatCode);
    const std::string_view* part = nullptr;
    if (parts.size() >= 4)
        part = &parts[3];
    else if (parts.size() == 1)
        part = &parts[0];
    if (!part)
        return std::u16string(text);
    Section sec = parseSection(*part);
    if (!sec.hasText)
        return parts.size() >= 4 ? toUtf16(renderText(sec, "")) : std::u16string(text);
    return toUtf16(renderText(sec, toUtf8(text)));
}

}  // namespace tessly::spreadsheet
