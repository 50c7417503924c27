// Former bugs: inputs a fuzz target crashed, leaked or hung on, run again
// through the same entry point. The inputs also stay in the targets' seed
// corpora (fuzz/corpus/<target>/crash-*).
#include "replacement_host/fields/FieldCode.h"
#include "replacement_host/file/DrawingFile.h"
#include "spreadsheet_app/NumberFormat.h"
#include "spreadsheet_app/TextConvert.h"
#include "tests/reliability/Workbooks.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

namespace {

std::string corpusFile(const std::string& target, const std::string& name)
{
    std::ifstream in(std::string(TESSLY_FUZZ_CORPUS) + "/" + target + "/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A value that is not finite (a workbook can spell "nan" or "1e999") made
// the renderer read through a null pointer.
TEST(FormerBugs, NonFiniteNumbersShowAsNumError)
{
    using tessly::spreadsheet::formatNumber;
    const double values[] = {std::numeric_limits<double>::quiet_NaN(), HUGE_VAL, -HUGE_VAL};
    for (double v : values) {
        for (const char* code : {"General", "0.00", "#,##0_);[Red](#,##0)", "m/d/yyyy", "0.0 \"kg\"", "# ?/?"}) {
            SCOPED_TRACE(code);
            EXPECT_EQ(tessly::spreadsheet::toUtf8(formatNumber(v, code, false)), "#NUM!");
        }
    }
    std::string input = corpusFile("fuzz_number_format", "crash-nan-value");
    ASSERT_GT(input.size(), 8u);
    double value;
    std::memcpy(&value, input.data(), sizeof value);
    EXPECT_EQ(tessly::spreadsheet::toUtf8(formatNumber(value, input.substr(8), false)), "#NUM!");

    testfiles::Folder dir;
    std::string path = testbooks::workbookWith(
        dir, "xl/worksheets/sheet2.xml",
        R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>)"
        R"(<row r="1"><c r="A1"><v>1e999</v></c><c r="B1"><v>nan</v></c></row></sheetData></worksheet>)");
    using namespace tessly::spreadsheet;
    Workbook book = Workbook::open(toUtf16(path));
    EXPECT_EQ(toUtf8(book.worksheet(2).range(u"A1").text()), "#NUM!");
    EXPECT_EQ(toUtf8(book.worksheet(2).range(u"B1").text()), "#NUM!");
}

// Numbers the renderer could not lay out: a percent past the largest double,
// the smallest numbers in scientific form (10^exponent is not a finite
// double there), placeholders after a fraction (read past the integer
// digits), and a fraction with very many denominator digits (a search over
// every denominator).
TEST(FormerBugs, NumbersAtTheEdgesOfDouble)
{
    const struct {
        double value;
        const char* code;
        const char* shown;
    } rows[] = {
        {1.7e308, "0%", "#NUM!"},
        {-1.7e308, "0.0%", "#NUM!"},
        {3.0730883171325535e-321, "0.0E+0", "3.1E-321"},
        {4.9406564584124654e-324, "##0.0E+0", "4.9E-324"},
        {1.5e-310, "0.00E+00", "1.50E-310"},
        {1.23e-5, "0.00E+00", "1.23E-05"},
        {0.5, "# ?/? 0", " 1/2 "},
        {2.25, "# ?/? 00", "2 1/4 "},
        {0.3333333, "?/?????????", "1/3        "},
        {0.3333333, "?/????????????????????", "1/3                   "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(tessly::spreadsheet::toUtf8(tessly::spreadsheet::formatNumber(row.value, row.code, false)),
                  row.shown);
    }
    for (const char* name : {"crash-percent-overflow", "crash-digits-after-fraction", "crash-denormal-scientific"}) {
        SCOPED_TRACE(name);
        std::string input = corpusFile("fuzz_number_format", name);
        ASSERT_GT(input.size(), 8u);
        double value;
        std::memcpy(&value, input.data(), sizeof value);
        tessly::spreadsheet::formatNumber(value, input.substr(8), false);
    }
}

// An object whose reading failed after it was made (a layer without a name,
// a text whose "text" or "layer" is not text) was never freed. The leak shows under
// the sanitizers and valgrind; here the error line must still name it.
TEST(FormerBugs, ObjectsThatFailToReadAreFreed)
{
    const struct {
        const char* name;
        std::string text;
        const char* error;
    } rows[] = {
        {"layer without a name", corpusFile("fuzz_drawing_json", "crash-leak-layer-without-name"), "name"},
        {"text that is a number", R"({"tesslyDrawing": 1, "objects": [{"type": "text", "handle": "1A", "text": 5}]})",
         "text"},
        {"attribute text",
         R"({"tesslyDrawing": 1, "objects": [{"type": "attribute", "handle": "1A", "owner": "1B", "tag": "T", "text": []}]})",
         "text"},
        {"block xref",
         R"({"tesslyDrawing": 1, "objects": [{"type": "block", "handle": "1A", "name": "B", "xref": 3}]})", "xref"},
        {"table position",
         R"({"tesslyDrawing": 1, "objects": [{"type": "table", "handle": "1A", "rows": 1, "columns": 1, "position": "x"}]})",
         "position"},
        {"entity layer not a text", corpusFile("fuzz_drawing_json", "crash-leak-text-layer-not-text"), "layer"},
        {"entity xdata not an object",
         R"({"tesslyDrawing": 1, "objects": [{"type": "text", "handle": "1A", "text": "x", "xdata": 3}]})", "xdata"},
        {"table cell text",
         R"({"tesslyDrawing": 1, "objects": [{"type": "table", "handle": "1A", "rows": 1, "columns": 1, "cells": [{"row": 0, "column": 0, "text": 1}]}]})",
         "text"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        drawingfile::LoadResult r = drawingfile::loadFromText(row.text, "bad.json");
        EXPECT_FALSE(r.database);
        EXPECT_NE(r.error.find(row.error), std::string::npos) << r.error;
    }
}

// A code whose parameters end in an opening format quote took that quote for
// the closing one: a view of length -1 read past the code (SIGSEGV in the
// command). The quote is text of the parameters, with no format.
TEST(FormerBugs, UnclosedFormatOptionIsText)
{
    const struct {
        std::u16string code;
        std::u16string parameters, format;
    } rows[] = {
        {u"%<\\AcVar \\f \">%", u"\\f \"", u""},
        {u"%<\\AcLength Object(<100>) \\f \">%", u"Object(<100>) \\f \"", u""},
        {u"%<\\AcLength x \\f \"  >%", u"x \\f \"  ", u""},
        {u"%<\\AcLength x \\f \"\">%", u"x", u""},
        {u"%<\\AcLength x \\f \"%pr2\">%", u"x", u"%pr2"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testhost::u8(row.code));
        fieldcode::Parsed p = fieldcode::parse(row.code);
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.parameters, row.parameters);
        EXPECT_EQ(p.format, row.format);
    }
    std::string code = corpusFile("fuzz_field_codes", "crash-unclosed-format").substr(1);
    EXPECT_EQ(code, "Object(<2B>) \\f \"");
    for (const std::string& text : {std::string("%<\\AcVar \\f \">%"), "%<\\AcLength " + code + ">%"}) {
        testhost::CommandResult r = testhost::runTessly("field " + testhost::shellQuote(text));
        // The field may fail (exit 1: AcVar is no evaluator here); it must not crash.
        EXPECT_TRUE(r.exitStatus == 0 || r.exitStatus == 1) << text << ": " << r.exitStatus << " " << r.err;
    }
    drawingfile::LoadResult r =
        drawingfile::loadFromText(corpusFile("fuzz_drawing_json", "crash-unclosed-format"), "x.json");
    EXPECT_TRUE(r.database) << r.error;
}

}
