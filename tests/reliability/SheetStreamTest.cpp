// Worksheets read as their XML streams out of the package: cells that span
// the pieces the part is inflated in, inline and rich text, blanks, order,
// and errors met deep in a large sheet.
#include "spreadsheet_app/Spreadsheet.h"
#include "spreadsheet_app/TextConvert.h"
#include "tests/reliability/Workbooks.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace tessly::spreadsheet;

const std::string kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                          "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
const std::string kTail = "</sheetData></worksheet>";

TEST(SheetStream, CellsReadAsTheWholeSheetWould)
{
    testfiles::Folder dir;
    std::string rows;
    // Far more than one inflated piece, each cell a different length.
    for (int r = 3; r <= 6000; ++r)
        rows += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) + "\"><v>" + std::to_string(r * 7) +
            "</v></c><c><v>" + std::to_string(r) + ".5</v></c></row>";
    std::string sheet = kHead +
        "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><r><t>ab</t></r><r><rPr/><t xml:space=\"preserve\"> c</t></r>"
        "<rPh><t>phonetic</t></rPh></is></c>"
        "<c r=\"B1\" t=\"inlineStr\"><is><t>  </t></is></c>"
        "<c r=\"C1\"><v> 12 </v></c><c r=\"D1\" t=\"str\"><v>x_x000D_y &amp; z</v></c>"
        "<c r=\"E1\" t=\"b\"><v>1</v></c><c r=\"F1\" s=\"0\"/><c r=\"G1\"><v>1</v><v>2</v></c></row>" +
        rows +
        // Rows out of order are put in order.
        "<row r=\"2\"><c r=\"B2\"><!-- note --><v>4<![CDATA[2]]></v></c></row>" + kTail;
    Workbook book = Workbook::open(toUtf16(testbooks::workbookWith(dir, "xl/worksheets/sheet1.xml", sheet)));
    Worksheet ws = book.worksheet(1);
    struct Row {
        const char16_t* ref;
        const char16_t* text;
    } expected[] = {
        {u"A1", u"ab c"},     {u"B1", u"  "},        {u"C1", u"12"},  {u"D1", u"x\ry & z"}, {u"E1", u"TRUE"},
        {u"F1", u""},         {u"G1", u"1"},         {u"B2", u"42"},  {u"A3", u"21"},       {u"B3", u"3.5"},
        {u"A6000", u"42000"}, {u"B6000", u"6000.5"}, {u"C6000", u""},
    };
    for (const Row& row : expected) {
        SCOPED_TRACE(toUtf8(row.ref));
        EXPECT_EQ(toUtf8(ws.range(row.ref).text()), toUtf8(row.text));
    }
}

TEST(SheetStream, ErrorsDeepInALargeSheetNameTheSheet)
{
    testfiles::Folder dir;
    std::string rows;
    for (int r = 1; r <= 5000; ++r)
        rows += "<row><c><v>" + std::to_string(r) + "</v></c></row>";
    struct Case {
        const char* name;
        std::string sheet;
        const char* message;
    } cases[] = {
        {"bad address", kHead + rows + "<row><c r=\"1A\"><v>1</v></c></row>" + kTail, "bad cell address '1A'"},
        {"unclosed", kHead + rows + "<row><c><v>1</v></c>" + kTail, "'xl/worksheets/sheet1.xml' is corrupt"},
        {"cut short", kHead + rows, "'xl/worksheets/sheet1.xml' is corrupt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error = testbooks::workbookError(testbooks::workbookWith(dir, "xl/worksheets/sheet1.xml", c.sheet));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_NE(error.find("book.xlsx"), std::string::npos) << error;
    }
}

}
