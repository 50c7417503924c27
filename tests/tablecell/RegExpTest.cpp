// The pattern matcher: compile errors, matching, groups and its bounds.
#include "tablecell/RegExp.h"
#include "util/WideCrt.h"

#include <gtest/gtest.h>

namespace {

using Groups = std::vector<std::u16string>;

// The table reference and object-handle patterns, as the fields use them.
const std::u16string kTablePattern = u"TABLE\\([<]*{[A-Z0-9a-z]+}[>]*\\)\\.{.*}";
const std::u16string kHandlePattern = u"%<\\\\_ObjHandle {[0-9a-zA-Z]+}>%";

struct Row {
    std::u16string text;
    std::u16string pattern;
    bool matched;
    Groups groups;
};

void ExpectRows(const std::vector<Row>& rows)
{
    for (const Row& row : rows) {
        SCOPED_TRACE(crt::narrow(row.pattern) + " on " + crt::narrow(row.text));
        Groups groups{u"stale"};
        EXPECT_EQ(row.matched, matchGroups(row.text, row.pattern, groups));
        EXPECT_EQ(row.groups, groups);
    }
}

TEST(RegExp, FixedPatterns)
{
    ExpectRows({
        {u"TABLE(<1F2>).$A$1", kTablePattern, true, {u"1F2", u"$A$1"}},
        {u"TABLE(1F2).$A$1", kTablePattern, true, {u"1F2", u"$A$1"}},
        {u"TABLE(<<1F2>>).$A$1", kTablePattern, true, {u"1F2", u"$A$1"}},
        {u"XTABLE(<1F2>).$A$1", kTablePattern, true, {u"1F2", u"$A$1"}},
        {u"TABLE(<1F2>).", kTablePattern, true, {u"1F2", u""}},
        {u"TABLE(<>).$A$1", kTablePattern, false, {}},
        {u"TABLE(<1F-2>).$A$1", kTablePattern, false, {}},
        {u"TABLE(<1F2>)$A$1", kTablePattern, false, {}},
        {u"table(<1f2>).$a$1", kTablePattern, false, {}},
        {u"%<\\_ObjHandle 2A>%", kHandlePattern, true, {u"2A"}},
        {u"x %<\\_ObjHandle 2A>%.Length>%", kHandlePattern, true, {u"2A"}},
        {u"%<\\_ObjHandle >%", kHandlePattern, false, {}},
    });
}

TEST(RegExp, Syntax)
{
    ExpectRows({
        {u"abd", u"ab|cd", true, {}},
        {u"acd", u"ab|cd", true, {}},
        {u"ab", u"ab|cd", false, {}},
        {u"ab", u"(ab)|(cd)", true, {}},
        {u"cd", u"(ab)|(cd)", true, {}},
        {u"c", u"a|b|c", true, {}},
        {u"ab", u"{a??b}", true, {u"ab"}},
        {u"b", u"{a}??b", true, {u""}},
        {u"aaab", u"{a}*b", true, {u"a"}},
        {u"aaab", u"{a*}ab", true, {u"aa"}},
        {u"aaa", u"{a+?}", true, {u"a"}},
        {u"aaa", u"{a+}", true, {u"aaa"}},
        {u"<a><b>", u"<{.*}>", true, {u"a><b"}},
        {u"<a><b>", u"<{.*?}>", true, {u"a"}},
        {u"ay", u"({a}x)|({a}y)", true, {u"", u"a"}},
        {u"aa*b", u"{a**}", true, {u"aa*"}},
        {u"a?b", u"{a??\\?b}", true, {u"a?b"}},
        {u"a|b", u"{a\\|b}", true, {u"a|b"}},
        {u"123", u"\\d+", true, {}},
        {u"t", u"\\t", true, {}},
        {u"\t", u"\\t", false, {}},
        {u"abcxyz", u"abc)def", true, {}},
        {u"abab", u"^{ab}\\0$", true, {u"ab"}},
        {u"abac", u"^{ab}\\0", false, {}},
        {u"xaax", u"{a}\\0", true, {u"a"}},
        {u"xab", u"^ab", false, {}},
        {u"abx", u"^ab", true, {}},
        {u"abc", u"c$", true, {}},
        {u"cab", u"c$", false, {}},
        {u"a$b", u"a$b", true, {}},
        {u"a^b", u"a^b", true, {}},
        {u"abac", u"{a!b.}", true, {u"ac"}},
        {u"ab", u"a!c", true, {}},
        {u"ac", u"a!c", false, {}},
        {u"x", u"[^0-9]", true, {}},
        {u"5", u"[^0-9]", false, {}},
        {u"-", u"[a\\-z]", true, {}},
        {u"b", u"[a\\-z]", false, {}},
        {u"-", u"[-a]", true, {}},
        {u"]", u"[a\\]]", true, {}},
        {u"\t", u"[\\t]", true, {}},
        {u"x1", u"{\\a\\d}", true, {u"x1"}},
        {u"ab \tc", u"b\\b+c", true, {}},
        {u"1a", u"\\c", true, {}},
        {u"0xFF", u"0x{\\h+}", true, {u"FF"}},
        {u"say \"hi\" now", u"{\\q}", true, {u"\"hi\""}},
        {u"x 'ok'", u"{\\q}", true, {u"'ok'"}},
        {u"hello world", u"{\\w}", true, {u"hello"}},
        {u"ab 123", u"{\\z}", true, {u"123"}},
        {u"a\r\nb", u"a\\nb", true, {}},
        {u"a\rb", u"a\\nb", true, {}},
        {u"a\nb", u"a\\nb", true, {}},
        {u"ab", u"a\\nb", false, {}},
        {u"abc", u"a\\", false, {}},
        {u"a\\", u"a\\", true, {}},
        // Captures from a repetition keep the last one.
        {u"a1b2c3", u"{{\\c}\\d}+", true, {u"c3", u"c"}},
        // No start position after the last character.
        {u"abc", u"$", false, {}},
    });
}

TEST(RegExp, EmptyInputsLeaveGroupsAlone)
{
    Groups groups{u"kept"};
    EXPECT_FALSE(matchGroups(u"", u"a", groups));
    EXPECT_FALSE(matchGroups(u"a", u"", groups));
    EXPECT_EQ(Groups{u"kept"}, groups);
}

TEST(RegExp, CompileErrors)
{
    const struct {
        std::u16string pattern;
        int code;
    } rows[] = {
        {u"[a-]", CRegExp::kBadSet},
        {u"[abc", CRegExp::kBadSet},
        {u"[a-", CRegExp::kBadSet},
        {u"[\\", CRegExp::kBadSet},
        {u"[z-a]", CRegExp::kReversedRange},
        {u"[]", CRegExp::kEmptySet},
        {u"[^]", CRegExp::kEmptySet},
        {u"{a", CRegExp::kMissingBrace},
        {u"{a)", CRegExp::kMissingBrace},
        {u"(a", CRegExp::kMissingParen},
        {u"(a}", CRegExp::kMissingParen},
        {u"(a*)*", CRegExp::kEmptyRepeat},
        {u"(a?)+", CRegExp::kEmptyRepeat},
        {u"(a|)*", CRegExp::kEmptyRepeat},
        {u"x*?+?", CRegExp::kOk},
        {u"(a*)+?", CRegExp::kEmptyRepeat},
        {u"\\3", CRegExp::kUnknownGroup},
        {u"{a}{b}\\2", CRegExp::kUnknownGroup},
        {u"{a\\0}", CRegExp::kOk},
        {u"(a+?)*", CRegExp::kOk},
        {u"{}*", CRegExp::kOk},
        {u"(!a)*", CRegExp::kOk},
        {u"(a*)?", CRegExp::kOk},
        {u"a**", CRegExp::kOk},
        {u"\\d*", CRegExp::kOk},
        {u"", CRegExp::kOk},
        {kTablePattern, CRegExp::kOk},
        {kHandlePattern, CRegExp::kOk},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(crt::narrow(row.pattern));
        CRegExp regExp;
        EXPECT_EQ(row.code, regExp.parse(row.pattern));
    }
    CRegExp regExp;
    EXPECT_EQ(CRegExp::kNoPattern, regExp.parse(static_cast<const char16_t*>(nullptr)));
}

TEST(RegExp, MatchContextPositions)
{
    CRegExp regExp;
    ASSERT_EQ(CRegExp::kOk, regExp.parse(u"{b+}|{x}"));
    EXPECT_EQ(2u, regExp.groupCount());
    CRegExpMatchContext context;
    ASSERT_TRUE(regExp.match(u"abbc", context));
    size_t start = 0, end = 0;
    ASSERT_TRUE(context.group(0, start, end));
    EXPECT_EQ(1u, start);
    EXPECT_EQ(3u, end);
    EXPECT_FALSE(context.group(1, start, end));
    EXPECT_FALSE(context.group(2, start, end));
    // A failed compile leaves nothing to match with.
    EXPECT_NE(CRegExp::kOk, regExp.parse(u"{"));
    EXPECT_FALSE(regExp.match(u"abbc", context));
}

TEST(RegExp, LongTextsStayOffTheCallStack)
{
    std::u16string text(300000, u'a');
    Groups groups;
    ASSERT_TRUE(matchGroups(text, u"^{.*}$", groups));
    EXPECT_EQ(text.size(), groups[0].size());
    text += u'b';
    ASSERT_TRUE(matchGroups(text, u"^{(a|c)*}b$", groups));
    EXPECT_EQ(text.size() - 1, groups[0].size());
    ASSERT_TRUE(matchGroups(text, u"{a*?}b", groups));
    EXPECT_EQ(text.size() - 1, groups[0].size());
}

// A search goes straight to where the pattern's leading characters stand;
// what it finds there must be what trying every start would find.
TEST(RegExp, SearchFromTheLeadingCharacters)
{
    std::u16string filler;
    while (filler.size() < 2000)
        filler += u"TABLE words, TABLE(<x and %<\\_ObjHandle marks ";
    ExpectRows({
        {u"aab", u"ab", true, {}},
        {u"xxabab", u"{ab}ab", true, {u"ab"}},
        {u"TTABLE(<1>).A", kTablePattern, true, {u"1", u"A"}},
        {u"xab", u"^ab", false, {}},
        {u"abd", u"ab|cd", true, {}},
        {u"xacd", u"ab|cd", true, {}},
        {u"xyz", u"xq|yz", true, {}},
        {u"xyw", u"xq|yz", false, {}},
        {u"b", u"a*b", true, {}},
        {filler + u"TABLE(<1F2>).$B$2", kTablePattern, true, {u"1F2", u"$B$2"}},
        {filler + u"%<\\_ObjHandle 2F1>%", kHandlePattern, true, {u"2F1"}},
        {filler, kTablePattern, false, {}},
        {filler + u"TABL", kTablePattern, false, {}},
    });
}

// Former bugs: faults that could hang or crash the matcher.
TEST(RegExp, FormerBugs)
{
    ExpectRows({
        // A repetition of an item that consumes nothing must not loop forever.
        {u"b", u"(!a)*b", true, {}},
        {u"x", u"{}*x", true, {u""}},
        {u"aab", u"{(!c)+}b", true, {u""}},
    });
    // Deep nesting of a pattern is refused instead of exhausting the C stack.
    std::u16string deep = std::u16string(100000, u'(') + u"a" + std::u16string(100000, u')');
    CRegExp regExp;
    EXPECT_EQ(CRegExp::kOutOfMemory, regExp.parse(deep));
    EXPECT_EQ(CRegExp::kOutOfMemory, regExp.parse(std::u16string(100000, u'!') + u"a"));
}

}
