// Timings of the expression engine and the pattern matcher next to common
// libraries doing the same work: muparser for arithmetic, std::regex and RE2
// for the two reference patterns (each compiled and matched per run).
#include "expr/CExpression.h"
#include "tablecell/RegExp.h"

#include <benchmark/benchmark.h>
#include <muParser.h>
#include <re2/re2.h>

#include <regex>
#include <string>
#include <vector>

namespace {

const std::vector<std::u16string> kTypical = {
    u"1+2*3",        u"(4.5-1.5)/3*7",        u"2^10-1",         u"-(1+2)*3",
    u"1 < 2",        u"'abc' = 'ABC'",        u"3 >= 2.99999",   u"ROUND(1234.5678, 2)",
    u"SUM(1,2,3,4)", u"IF(1>0, 'yes', 'no')", u"UCASE('hello')", u"SUBSTITUTE('a-b-c', '-', '+')",
};

const std::vector<std::string> kArithmetic = {"1+2*3", "(4.5-1.5)/3*7", "2^10-1", "-(1+2)*3"};

std::u16string Widen(const std::string& text) { return std::u16string(text.begin(), text.end()); }

void TypicalExpressions(benchmark::State& state)
{
    for (auto _ : state) {
        for (const std::u16string& text : kTypical) {
            CExpression expression(text);
            std::u16string result;
            benchmark::DoNotOptimize(expression.Evaluate(result));
        }
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kTypical.size()));
}
BENCHMARK(TypicalExpressions);

void ArithmeticOurs(benchmark::State& state)
{
    std::vector<std::u16string> texts;
    for (const std::string& text : kArithmetic)
        texts.push_back(Widen(text));
    for (auto _ : state) {
        for (const std::u16string& text : texts) {
            CExpression expression(text);
            std::u16string result;
            benchmark::DoNotOptimize(expression.Evaluate(result));
        }
    }
    state.SetItemsProcessed(state.iterations() * int64_t(texts.size()));
}
BENCHMARK(ArithmeticOurs);

void ArithmeticMuParser(benchmark::State& state)
{
    mu::Parser parser;
    for (auto _ : state) {
        for (const std::string& text : kArithmetic) {
            parser.SetExpr(text);
            benchmark::DoNotOptimize(parser.Eval());
        }
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kArithmetic.size()));
}
BENCHMARK(ArithmeticMuParser);

// Pattern work: 0 the table reference, 1 the object handle; range(1) 0 a
// short text, 1 the reference at the end of a 2 KB text.
struct PatternCase {
    std::u16string ours;
    std::string standard;
    std::string text;
};

const PatternCase kPatterns[] = {
    {u"TABLE\\([<]*{[A-Z0-9a-z]+}[>]*\\)\\.{.*}", R"(TABLE\(<*([A-Z0-9a-z]+)>*\)\.(.*))", "TABLE(<1F2>).$A$1"},
    {u"%<\\\\_ObjHandle {[0-9a-zA-Z]+}>%", R"(%<\\_ObjHandle ([0-9a-zA-Z]+)>%)",
     "%<\\AcObjProp Object(%<\\_ObjHandle 2F1>%).Length>%"},
};

std::string TextOf(const benchmark::State& state)
{
    const PatternCase& pattern = kPatterns[state.range(0)];
    if (state.range(1) == 0)
        return pattern.text;
    std::string filler;
    while (filler.size() < 2048)
        filler += "Field text with TABLE words and %< marks, ";
    return filler.substr(0, 2048 - pattern.text.size()) + pattern.text;
}

void PatternOurs(benchmark::State& state)
{
    const PatternCase& pattern = kPatterns[state.range(0)];
    std::u16string text = Widen(TextOf(state));
    std::vector<std::u16string> groups;
    for (auto _ : state)
        benchmark::DoNotOptimize(matchGroups(text, pattern.ours, groups));
}
BENCHMARK(PatternOurs)->ArgsProduct({{0, 1}, {0, 1}});

void PatternStdRegex(benchmark::State& state)
{
    const PatternCase& pattern = kPatterns[state.range(0)];
    std::string text = TextOf(state);
    for (auto _ : state) {
        std::regex regex(pattern.standard);
        std::smatch match;
        benchmark::DoNotOptimize(std::regex_search(text, match, regex));
        std::vector<std::string> groups(match.begin() + 1, match.end());
        benchmark::DoNotOptimize(groups);
    }
}
BENCHMARK(PatternStdRegex)->ArgsProduct({{0, 1}, {0, 1}});

void PatternRe2(benchmark::State& state)
{
    const PatternCase& pattern = kPatterns[state.range(0)];
    std::string text = TextOf(state);
    for (auto _ : state) {
        RE2 regex(pattern.standard);
        re2::StringPiece groups[3];
        int count = 1 + regex.NumberOfCapturingGroups();
        benchmark::DoNotOptimize(regex.Match(text, 0, text.size(), RE2::UNANCHORED, groups, count));
        std::vector<std::string> texts;
        for (int i = 1; i < count; ++i)
            texts.emplace_back(groups[i]);
        benchmark::DoNotOptimize(texts);
    }
}
BENCHMARK(PatternRe2)->ArgsProduct({{0, 1}, {0, 1}});

// The same matches with the pattern compiled once, as a caller that keeps it.
void PatternOursCompiled(benchmark::State& state)
{
    const PatternCase& pattern = kPatterns[state.range(0)];
    std::u16string text = Widen(TextOf(state));
    CRegExp regExp;
    regExp.parse(pattern.ours);
    CRegExpMatchContext context;
    for (auto _ : state)
        benchmark::DoNotOptimize(regExp.match(text, context));
    state.SetBytesProcessed(state.iterations() * int64_t(text.size()));
}
BENCHMARK(PatternOursCompiled)->ArgsProduct({{0, 1}, {0, 1}});

void PatternRe2Compiled(benchmark::State& state)
{
    const PatternCase& pattern = kPatterns[state.range(0)];
    std::string text = TextOf(state);
    RE2 regex(pattern.standard);
    re2::StringPiece groups[3];
    int count = 1 + regex.NumberOfCapturingGroups();
    for (auto _ : state)
        benchmark::DoNotOptimize(regex.Match(text, 0, text.size(), RE2::UNANCHORED, groups, count));
    state.SetBytesProcessed(state.iterations() * int64_t(text.size()));
}
BENCHMARK(PatternRe2Compiled)->ArgsProduct({{0, 1}, {0, 1}});

}

BENCHMARK_MAIN();
