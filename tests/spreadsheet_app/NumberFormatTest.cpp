// Number formats of the stand-in spreadsheet application: the displayed text
// of numbers, dates and texts under format codes and built-in format ids.
#include "spreadsheet_app/NumberFormat.h"
#include "spreadsheet_app/TextConvert.h"

#include <gtest/gtest.h>

using namespace tessly::spreadsheet;

namespace {

struct Row {
    double value;
    const char* format;
    const char* expected;
};

void check(const std::vector<Row>& rows, bool date1904 = false)
{
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.format) + " with " + std::to_string(r.value));
        EXPECT_EQ(toUtf8(formatNumber(r.value, r.format, date1904)), r.expected);
    }
}

}  // namespace

TEST(NumberFormat, GeneralFitsElevenCharacters)
{
    check({
        {0, "General", "0"},
        {42, "General", "42"},
        {-42, "General", "-42"},
        {0.1 + 0.2, "General", "0.3"},
        {1234.56789012, "General", "1234.56789"},
        {0.123456789012, "General", "0.123456789"},
        {12345678901, "General", "12345678901"},
        {123456789012, "General", "1.23457E+11"},
        {-123456789012, "General", "-1.23457E+11"},
        {100000000000, "General", "1E+11"},
        {0.0001, "General", "0.0001"},
        {0.00001, "General", "1E-05"},
        {0.000123456789, "General", "0.000123457"},
        {1e100, "General", "1E+100"},
        {99999999999.6, "General", "1E+11"},
        {3, "", "3"},
    });
}

TEST(NumberFormat, Placeholders)
{
    check({
        {1250, "0", "1250"},
        {2.5, "0", "3"},
        {2.675, "0.00", "2.68"},  // rounds on the decimal digits, not the binary value
        {0.5, "#.00", ".50"},
        {5, "000", "005"},
        {1.5, "#.##", "1.5"},
        {1, "0.##", "1."},
        {1.5, "0.0?", "1.5 "},
        {123456789, "000-00-0000", "123-45-6789"},
        {1234567.891, "#,##0.00", "1,234,567.89"},
        {0, "#,##0", "0"},
        {5, "00,000", "00,005"},
        {1234567, "#,##0,", "1,235"},
        {1234567, "0.0,,", "1.2"},
        {1250, "$#,##0.00", "$1,250.00"},
        {-1250, "$#,##0.00", "-$1,250.00"},
        {0.15, "0%", "15%"},
        {0.1234, "0.00%", "12.34%"},
        {1234567890123456789.0, "0", "1234567890123460000"},
        {12.3, "\"Total: \"0.0", "Total: 12.3"},
        {7, "0\\ \\k\\g", "7 kg"},
        {7, "0_)", "7 "},
        {7, "**0", "7"},
        {-3, "[Red]0", "-3"},
        {12, "[$€-407]0", "€12"},
        {5, "General\" units\"", "5 units"},
    });
}

TEST(NumberFormat, SectionsAndConditions)
{
    check({
        {5, "0;(0)", "5"},
        {-5, "0;(0)", "(5)"},
        {0, "0;(0);\"zero\"", "zero"},
        {-5, "0;;", ""},
        {150, "[>100]\"big\";[<=100]\"small\"", "big"},
        {50, "[>100]\"big\";[<=100]\"small\"", "small"},
        {150, "[>100]0.0;0", "150.0"},
        {50, "[>100]0.0;0", "50"},
        {-1234, "#,##0_);[Red](#,##0)", "(1,234)"},
        {1234, "#,##0_);[Red](#,##0)", "1,234 "},
        {0,
         "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"?"
         "?_);_(@_)",
         " -   "},
        {1234.5,
         "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"?"
         "?_);_(@_)",
         " $1,234.50 "},
        // A section picked by its own condition adds no minus sign.
        {-1, "[<0]\"neg\";[>0]\"pos\";\"zero\"", "neg"},
        {1, "[<0]\"neg\";[>0]\"pos\";\"zero\"", "pos"},
        {0, "[<0]\"neg\";[>0]\"pos\";\"zero\"", "zero"},
        {-5, "[<-1]0.0;0", "5.0"},
        // A negative number that rounds to zero keeps its sign.
        {-0.001, "0", "-0"},
        {-0.001, "0.00", "-0.00"},
        {-0.4, "#,##0", "-0"},
    });
}

TEST(NumberFormat, ScientificAndFractions)
{
    check({
        {12345, "0.00E+00", "1.23E+04"},
        {0.00012345, "0.00E+00", "1.23E-04"},
        {9.999, "0.00E+00", "1.00E+01"},
        {12345, "0.0E-0", "1.2E4"},
        {0, "0.00E+00", "0.00E+00"},
        {12345, "##0.0E+0", "12.3E+3"},
        {1234567, "##0.0E+0", "1.2E+6"},
        {1.5, "# ?/?", "1 1/2"},
        {0.75, "# ?/?", " 3/4"},
        {2, "# ?/?", "2    "},
        {3.14159,
         "# ??"
         "/??",
         "3 14/99"},
        {1.3, "# ?/?", "1 2/7"},
        {0.3,
         "# ??"
         "/16",
         "  5/16"},
        {1.5, "?/?", "3/2"},
    });
}

TEST(NumberFormat, DatesAndTimes)
{
    // 46364 is 8 December 2026 in the 1900 system.
    check({
        {46364, "m/d/yyyy", "12/8/2026"},
        {46364, "mm/dd/yy", "12/08/26"},
        {46364, "d-mmm-yy", "8-Dec-26"},
        {46364, "dddd, mmmm d, yyyy", "Tuesday, December 8, 2026"},
        {46364, "ddd mmmmm", "Tue D"},
        {46364.75, "m/d/yyyy h:mm", "12/8/2026 18:00"},
        {46364.75, "h:mm AM/PM", "6:00 PM"},
        {0.25, "h:mm:ss am/pm", "6:00:00 AM"},  // am/pm shows upper case however written
        {0.604166666666667, "h:mm am/pm", "2:30 PM"},
        {0, "h:mm am/pm", "12:00 AM"},
        {0.604166666666667, "h:mm a/p", "2:30 p"},  // a/p keeps its case
        {0.5, "hh:mm A/P", "12:00 P"},
        {0, "h AM/PM", "12 AM"},
        {0.0625, "h:mm", "1:30"},
        {0.000011574, "hh:mm:ss", "00:00:01"},
        {1.5, "[h]:mm:ss", "36:00:00"},
        {0.0208333333, "[mm]:ss", "30:00"},
        {0.5 / 86400, "mm:ss.0", "00:00.5"},
        {1.25 / 86400, "ss.00", "01.25"},
        {0.99999999, "h:mm:ss", "0:00:00"},
        {60, "yyyy-mm-dd", "1900-02-29"},
        {61, "yyyy-mm-dd", "1900-03-01"},
        {1, "yyyy-mm-dd dddd", "1900-01-01 Sunday"},
        {0, "m/d/yyyy", "1/0/1900"},
        {-1, "m/d/yyyy", "########"},
        {46364, "[$-409]mmmm yyyy", "December 2026"},
        // 2023-12-31 23:59:59.6: rounding to the second moves the date only
        // when the format shows the time.
        {45291.999995370374, "d-mmm-yy", "31-Dec-23"},
        {45291.999995370374, "m/d/yyyy", "12/31/2023"},
        {45291.999995370374, "dddd, mmmm d, yyyy", "Sunday, December 31, 2023"},
        {45291.999995370374, "m/d/yyyy h:mm:ss", "1/1/2024 0:00:00"},
        {45291.999995370374, "yyyy-mm-dd hh:mm:ss.0", "2023-12-31 23:59:59.6"},
    });
    check(
        {
            {0, "yyyy-mm-dd dddd", "1904-01-01 Friday"},
            {44902, "m/d/yyyy", "12/8/2026"},
        },
        true);
}

TEST(NumberFormat, BuiltinIds)
{
    struct IdRow {
        int id;
        double value;
        const char* expected;
    };
    const IdRow rows[] = {
        {0, 3.5, "3.5"},
        {1, 3.5, "4"},
        {2, 3.14159, "3.14"},
        {3, 1234.5, "1,235"},
        {4, 1234.5, "1,234.50"},
        {5, -1250, "($1,250)"},
        {9, 0.15, "15%"},
        {10, 0.15, "15.00%"},
        {11, 1500, "1.50E+03"},
        {12, 0.5, " 1/2"},
        {14, 46364, "12/8/2026"},
        {15, 46364, "8-Dec-26"},
        {16, 46364, "8-Dec"},
        {17, 46364, "Dec-26"},
        {18, 0.75, "6:00 PM"},
        {19, 0.75, "6:00:00 PM"},
        {20, 0.75, "18:00"},
        {21, 0.75, "18:00:00"},
        {22, 46364.5, "12/8/2026 12:00"},
        {37, -5, "(5)"},
        {45, 0.75, "00:00"},
        {46, 2.5, "60:00:00"},
        {47, 0.5 / 86400 + 1.0 / 1440, "0100.5"},
        {48, 12345, "12.3E+3"},
        {49, 7, "7"},
        {30, 7, "7"},
    };
    for (const IdRow& r : rows) {
        SCOPED_TRACE("built-in " + std::to_string(r.id));
        EXPECT_EQ(toUtf8(formatNumber(r.value, builtinFormatCode(r.id), false)), r.expected);
    }
}

TEST(NumberFormat, TextSections)
{
    struct TextRow {
        const char* text;
        const char* format;
        const char* expected;
    };
    const TextRow rows[] = {
        {"abc", "General", "abc"},
        {"abc", "0.00", "abc"},
        {"abc", "@", "abc"},
        {"abc", "\"<\"@\">\"", "<abc>"},
        {"abc", "0;-0;0;\"Text: \"@", "Text: abc"},
        {"abc", "0;-0;0;\"fixed\"", "fixed"},
        {"abc", "_(@_)", " abc "},
        {"Ünïcode", "@", "Ünïcode"},
    };
    for (const TextRow& r : rows) {
        SCOPED_TRACE(std::string(r.text) + " in " + r.format);
        EXPECT_EQ(toUtf8(formatText(toUtf16(r.text), r.format)), r.expected);
    }
    EXPECT_EQ(toUtf8(formatNumber(12.5, "\"n=\"@", false)), "n=12.5");
}
