// Length and area fields run through the real field engine on drawings read
// from drawing-file text, with the module loaded as the host loads it, and a
// few through the tessly command.
#include "host/AcFdEval.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/fields/ValueDisplay.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <string>
#include <unistd.h>

namespace {

using testhost::RecordingResult;

constexpr double kPi = std::numbers::pi;

// 1A circle r=1; 2B closed square side 10; 3C the same square open; 4D line
// 3-4-5; 5E bulge-1 semicircle of radius 1, open; 6F arc r=2 from 350° to
// 10°; 7A arc r=2 from 10° to 100°; 8B text; 9C closed circle of radius 1
// made of two clockwise arcs.
const char* const kObjects = R"([
  {"type": "circle", "handle": "1A", "center": [5, 5, 0], "radius": 1},
  {"type": "lwpolyline", "handle": "2B", "vertices": [[0, 0], [10, 0], [10, 10], [0, 10]], "closed": true},
  {"type": "lwpolyline", "handle": "3C", "vertices": [[0, 0], [10, 0], [10, 10], [0, 10]]},
  {"type": "line", "handle": "4D", "start": [1, 1, 0], "end": [4, 5, 0]},
  {"type": "lwpolyline", "handle": "5E", "vertices": [[0, 0, 1], [2, 0]]},
  {"type": "arc", "handle": "6F", "center": [0, 0, 0], "radius": 2, "startAngle": 6.10865238198015, "endAngle": 0.174532925199433},
  {"type": "arc", "handle": "7A", "center": [0, 0, 0], "radius": 2, "startAngle": 0.174532925199433, "endAngle": 1.74532925199433},
  {"type": "text", "handle": "8B", "text": "plain", "position": [0, 0, 0]},
  {"type": "lwpolyline", "handle": "9C", "vertices": [[0, 0, -1], [0, 2, -1]], "closed": true, "layer": "Walls"}
])";

struct Case {
    const char16_t* code;
    double expected;
};

// Each test makes its own, since a drawing is the working drawing only while it lives.
class MeasureTest : public ::testing::Test {
protected:
    testhost::Drawing drawing{kObjects};
    void expectValue(const Case& c, double tolerance);
};

void MeasureTest::expectValue(const Case& c, double tolerance)
{
    SCOPED_TRACE(testhost::u8(c.code));
    testhost::FieldResult r = drawing.evaluateCode(c.code);
    EXPECT_EQ(r.status, 2);
    ASSERT_EQ(r.value.dataType(), AcValue::kDouble);
    double v = 0;
    r.value.get(v);
    if (tolerance == 0)
        EXPECT_EQ(v, c.expected);
    else
        EXPECT_NEAR(v, c.expected, tolerance);
    EXPECT_EQ(HostAccess::openObjectCount(drawing.database()), 0) << "a measure left an object open";
}

TEST_F(MeasureTest, LengthFieldSumsTheObjectsNamed)
{
    const Case cases[] = {
        {u"%<\\AcLength Object(<1A>)>%", 6.28318530718},
        {u"%<\\AcLength Object(<2B>)>%", 40},
        {u"%<\\AcLength Object(<3C>)>%", 30},
        {u"%<\\AcLength Object(<4D>)>%", 5},
        {u"%<\\AcLength Object(<1A;4D>)>%", 6.28318530718 + 5},
        {u"%<\\AcLength Object(<>)>%", 0},
        {u"%<\\AcLength Object(<1A;;1A;>)>%", 2 * 6.28318530718},
        {u"%<\\AcLength Object(<4D;4D>)>%", 10},
        // Letter case passes the keyword test, but trimming leaves "object(<4D".
        {u"%<\\AcLength object(<4D;2B>)>%", 40},
        {u"%<\\AcLength OBJECT(<4D;2B>)>%", 40},
        {u"%<\\AcLength Object(<4D>))>%", 5},
        {u"%<\\AcLength Object((<<4D>)>%", 5},
        // Handles as the host writes them; unknown, blank-prefixed and
        // non-geometric objects add nothing.
        {u"%<\\AcLength Object(<4d>)>%", 5},
        {u"%<\\AcLength Object(<FFFF;4D;zz>)>%", 5},
        {u"%<\\AcLength Object(< 4D;4D>)>%", 5},
        {u"%<\\AcLength Object(<8B;1;2>)>%", 0},
        {u"%<\\AcLength Object(<4D>) \\f \"%lu2\">%", 5},
    };
    for (const Case& c : cases)
        expectValue(c, 0);
}

TEST_F(MeasureTest, LengthFieldArcsAndBulges)
{
    const Case cases[] = {
        {u"%<\\AcLength Object(<5E>)>%", kPi},
        {u"%<\\AcLength Object(<9C>)>%", 2 * kPi},
        {u"%<\\AcLength Object(<7A>)>%", 2 * kPi / 2},
        {u"%<\\AcLength Object(<6F>)>%", 2 * 20 * kPi / 180},
    };
    for (const Case& c : cases)
        expectValue(c, 1e-9);
}

TEST_F(MeasureTest, AreaFieldSumsWhatTheObjectsReport)
{
    // Circle π·r²; arc the segment between arc and chord; polyline the
    // enclosed area with its arcs.
    double quarterSegment = 2.0 * 2.0 / 2 * (kPi / 2 - 1);
    const Case cases[] = {
        {u"%<\\AcArea Object(<1A>)>%", kPi},
        {u"%<\\AcArea Object(<2B>)>%", 100},
        {u"%<\\AcArea Object(<3C>)>%", 100},
        {u"%<\\AcArea Object(<5E>)>%", kPi / 2},
        {u"%<\\AcArea Object(<9C>)>%", kPi},
        {u"%<\\AcArea Object(<7A>)>%", quarterSegment},
        {u"%<\\AcArea Object(<6F>)>%", 2.0 * 2.0 / 2 * (20 * kPi / 180 - std::sin(20 * kPi / 180))},
        {u"%<\\AcArea Object(<4D>)>%", 0},
        {u"%<\\AcArea Object(<4D;8B;2B>)>%", 100},
        {u"%<\\AcArea Object(<2B;2B>)>%", 200},
        {u"%<\\AcArea Object(<>)>%", 0},
        {u"%<\\AcArea object(<1A;2B>)>%", 100},
    };
    for (const Case& c : cases)
        expectValue(c, 1e-9);
}

TEST_F(MeasureTest, MeasureFieldsCodesWithoutTheKeywordAreInvalid)
{
    const char16_t* const codes[] = {
        u"%<\\AcLength Obj(<4D>)>%",   u"%<\\AcLength Objec>%", u"%<\\AcLength <4D>>%",
        u"%<\\AcArea Objects(<4D>)>%", u"%<\\AcArea 4D>%",
    };
    for (const char16_t* code : codes) {
        SCOPED_TRACE(testhost::u8(code));
        testhost::FieldResult r = drawing.evaluateCode(code);
        EXPECT_EQ(r.status, 16);
        EXPECT_EQ(r.value.dataType(), AcValue::kUnknown);
    }
}

TEST_F(MeasureTest, MeasureFieldsDataWithALeadingBlankFailsTheKeywordTest)
{
    // The host strips blanks after the id, so the data is set directly.
    for (const char16_t* id : {u"AcLength", u"AcArea"}) {
        SCOPED_TRACE(testhost::u8(id));
        testhost::module();
        const ACHAR* asked = id;
        AcFdFieldEvaluator* evaluator = acdbGetFieldEngine()->findEvaluator(nullptr, asked);
        ASSERT_NE(evaluator, nullptr);
        AcDbField field(u"%<\\AcLength x>%");
        AcValue data(u" Object(<2B>)");
        field.setData((std::u16string(id) + u" Data").c_str(), &data);
        RecordingResult result;
        EXPECT_EQ(evaluator->evaluate(&field, 0, nullptr, &result), Acad::eInvalidInput);
        EXPECT_EQ(result.status, 16);

        AcValue good(u"Object(<2B>)");
        field.setData((std::u16string(id) + u" Data").c_str(), &good);
        EXPECT_EQ(evaluator->evaluate(&field, 0, nullptr, &result), Acad::eOk);
        EXPECT_EQ(result.status, 2);
    }
}

TEST(MeasureFields, ErasedObjectsAreSkipped)
{
    testhost::Drawing d(R"([{"type": "line", "handle": "4D", "start": [0, 0], "end": [3, 4], "erased": true},
                            {"type": "circle", "handle": "5E", "center": [0, 0], "radius": 2, "erased": true}])");
    for (const char16_t* code : {u"%<\\AcLength Object(<4D;5E>)>%", u"%<\\AcArea Object(<5E>)>%"}) {
        SCOPED_TRACE(testhost::u8(code));
        testhost::FieldResult r = d.evaluateCode(code);
        EXPECT_EQ(r.status, 2);
        double v = -1;
        r.value.get(v);
        EXPECT_EQ(v, 0.0);
    }
}

// Former bugs.
TEST_F(MeasureTest, LengthFieldFormerBugsArcAcrossZeroMeasuresItsSweep)
{
    // 350° to 10° is a 20° arc; |r·(end − start)| took it for 340°.
    testhost::FieldResult r = drawing.evaluateCode(u"%<\\AcLength Object(<6F>)>%");
    double v = 0;
    r.value.get(v);
    EXPECT_NEAR(v, 2 * 20 * kPi / 180, 1e-9);
    EXPECT_GT(2 * 340 * kPi / 180 - v, 1);
}

// The command, with the drawing in a temporary file.
class TemporaryDrawing {
public:
    explicit TemporaryDrawing(const std::string& objects)
    {
        char name[] = "/tmp/tessly-measure-XXXXXX.json";
        int fd = mkstemps(name, 5);
        if (fd < 0)
            throw std::runtime_error("cannot make a temporary drawing");
        ::close(fd);
        m_path = name;
        std::ofstream(m_path) << "{\"tesslyDrawing\": 1, \"objects\": " << objects << "}";
    }
    ~TemporaryDrawing() { std::remove(m_path.c_str()); }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

TEST(MeasureCommand, FieldThroughTessly)
{
    TemporaryDrawing file(kObjects);
    struct Row {
        const char* code;
        const char* json;
    };
    const Row rows[] = {
        {R"(%<\AcLength Object(<1A>)>%)", R"("status":2,"returned":0,"type":"real","value":6.28318530718,)"},
        {R"(%<\AcLength Object(<2B>)>%)", R"("value":40.0,)"},
        {R"(%<\AcLength Object(<3C>)>%)", R"("value":30.0,)"},
        {R"(%<\AcLength Object(<1A;;1A;>)>%)", R"("value":12.56637061436,)"},
        {R"(%<\AcArea Object(<4D;2B>)>%)", R"("value":100.0,)"},
        {R"(%<\AcLength Object(<>)>%)", R"("status":2,"returned":0,"type":"real","value":0.0,)"},
        {R"(%<\AcArea Thing(<2B>)>%)", R"("status":16,"returned":3,"type":null,"value":null,)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        testhost::CommandResult r =
            testhost::runTessly("field " + testhost::shellQuote(row.code) + " --drawing " + file.path() + " --json");
        std::string json = row.json;
        bool failed = json.find("\"status\":") != std::string::npos && json.find("\"status\":2,") == std::string::npos;
        EXPECT_EQ(r.exitStatus, failed ? 1 : 0) << r.err;
        EXPECT_NE(r.out.find(row.json), std::string::npos) << r.out;
    }
}

TEST(MeasureCommand, BadDrawingFileIsReported)
{
    TemporaryDrawing file(R"([{"type": "circle", "handle": "1A", "center": [0, 0], "radius": -1}])");
    testhost::CommandResult r = testhost::runTessly("field " + testhost::shellQuote(R"(%<\AcLength Object(<1A>)>%)") +
                                                    " --drawing " + file.path() + " --json");
    EXPECT_NE(r.exitStatus, 0);
    EXPECT_NE(r.err.find("\"radius\" must be greater than 0"), std::string::npos) << r.err;
}

}

// Reals show in the fixed form with the format's decimals, byte for byte
// as printf's "%.*f" writes them, and integers as their digits.
TEST(ValueDisplay, RealsShowAsTheFixedFormWithTheFormatsDecimals)
{
    const double values[] = {
        0.0,    -0.0,    0.5,       1.5,        2.5,     -2.5,        0.125,    1e-9,
        -1e-9,  0.00005, 0.000049,  123.456789, 1e15,    1e16,        1e22,     1.7976931348623157e308,
        5e-324, -1.25e7, 0.1 + 0.2, 2.675,      1.0 / 3, 98765.43215, -0.00004, 4.35};
    for (double v : values) {
        for (int precision = 0; precision <= 8; ++precision) {
            char expected[512];
            std::snprintf(expected, sizeof expected, "%.*f", precision, v);
            std::string want = expected;
            // A value that rounds to zero shows no sign.
            if (want[0] == '-' && want.find_first_not_of("-0.") == std::string::npos)
                want.erase(0, 1);
            AcValue value;
            value.set(v);
            std::u16string format = u"%pr" + std::u16string(1, char16_t(u'0' + precision));
            SCOPED_TRACE(want);
            EXPECT_EQ(testhost::u8(valuedisplay::format(value, format)), want);
        }
    }
    for (Adesk::Int32 v : {0, -1, 7, 2147483647, -2147483647 - 1}) {
        AcValue value;
        value.set(v);
        EXPECT_EQ(testhost::u8(valuedisplay::format(value, u"")), std::to_string(v));
    }
}
