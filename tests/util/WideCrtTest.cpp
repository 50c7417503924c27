// Runtime-style conversions of the module: wcstod, _wtoi, %G, case folding.
#include "util/WideCrt.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace {

TEST(WideCrt, Wtoi)
{
    const struct {
        std::u16string_view text;
        int expected;
    } rows[] = {
        {u"42", 42},
        {u"  -17abc", -17},
        {u"\t\n+5", 5},
        {u"", 0},
        {u"abc", 0},
        {u"- 5", 0},
        {u"2.7", 2},
        {u"2147483647", INT_MAX},
        {u"2147483648", INT_MAX},
        {u"99999999999999999999999", INT_MAX},
        {u"-2147483648", INT_MIN},
        {u"-99999999999", INT_MIN},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(crt::narrow(row.text));
        EXPECT_EQ(row.expected, crt::wtoi(row.text));
    }
}

TEST(WideCrt, Wcstod)
{
    const struct {
        std::u16string_view text;
        double expected;
        size_t read;
    } rows[] = {
        {u"1.5", 1.5, 3}, {u"-2.50", -2.5, 5}, {u"+.5", 0.5, 3},  {u"0.1", 0.1, 3},   {u"-", 0, 0},  {u".", 0, 0},
        {u"", 0, 0},      {u"  3x", 3, 3},     {u"1e3", 1000, 3}, {u"2E-2", 0.02, 4}, {u"1e", 1, 1}, {u"5.", 5, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(crt::narrow(row.text));
        size_t read = 99;
        EXPECT_EQ(row.expected, crt::wcstod(row.text, &read));
        EXPECT_EQ(row.read, read);
    }
    std::u16string huge = u"1" + std::u16string(400, u'0');
    EXPECT_EQ(HUGE_VAL, crt::wcstod(huge));
    EXPECT_EQ(0.0, crt::wcstod(u"1e-999"));
    // A negative exponent does not make a number tiny: 10^400 / 10^10 is still past the range.
    EXPECT_EQ(HUGE_VAL, crt::wcstod(huge + u"e-10"));
    EXPECT_EQ(0.0, crt::wcstod(u"0." + std::u16string(400, u'0') + u"1e10"));
}

TEST(WideCrt, FormatG)
{
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        std::u16string_view expected;
    } rows[] = {
        {0, u"0"},
        {-0.0, u"-0"},
        {3, u"3"},
        {-2.5, u"-2.5"},
        {100, u"100"},
        {1.0 / 3, u"0.333333"},
        {0.999999, u"0.999999"},
        {123456, u"123456"},
        {999999.5, u"1E+06"},
        {1234567, u"1.23457E+06"},
        {1e7, u"1E+07"},
        {1e100, u"1E+100"},
        {0.0001, u"0.0001"},
        {0.00001, u"1E-05"},
        {3e-6, u"3E-06"},
        {1.5e-300, u"1.5E-300"},
        {inf, u"INF"},
        {-inf, u"-INF"},
        {std::copysign(std::nan(""), 1.0), u"NAN"},
        {std::copysign(std::nan(""), -1.0), u"-NAN"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(row.expected, crt::formatG(row.value));
    }
}

TEST(WideCrt, FormatD)
{
    EXPECT_EQ(u"0", crt::formatD(0));
    EXPECT_EQ(u"-5", crt::formatD(-5));
    EXPECT_EQ(u"-2147483648", crt::formatD(INT_MIN));
}

TEST(WideCrt, Wcsicmp)
{
    EXPECT_EQ(0, crt::wcsicmp(u"abc", u"ABC"));
    EXPECT_LT(crt::wcsicmp(u"abc", u"abd"), 0);
    EXPECT_GT(crt::wcsicmp(u"b", u"A"), 0);
    EXPECT_LT(crt::wcsicmp(u"a", u"ab"), 0);
    // Letters fold to lower case, so '[' sorts before them.
    EXPECT_LT(crt::wcsicmp(u"[", u"A"), 0);
    // Only ASCII letters fold.
    EXPECT_NE(0, crt::wcsicmp(u"\u00C9", u"\u00E9"));
}

TEST(WideCrt, CaseMapping)
{
    const struct {
        char16_t lower, upper;
    } pairs[] = {{u'a', u'A'}, {u'z', u'Z'}, {u'\u00E9', u'\u00C9'}, {u'\u00FF', u'\u0178'}};
    for (const auto& pair : pairs) {
        EXPECT_EQ(pair.upper, crt::towupper(pair.lower));
        EXPECT_EQ(pair.lower, crt::towlower(pair.upper));
    }
    for (char16_t unchanged : {u'1', u'\u00D7', u'\u00F7', u'\u00DF', u'\u0416'}) {
        EXPECT_EQ(unchanged, crt::towupper(unchanged));
        EXPECT_EQ(unchanged, crt::towlower(unchanged));
    }
}

}
