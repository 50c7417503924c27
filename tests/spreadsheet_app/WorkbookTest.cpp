// Workbooks of the stand-in spreadsheet application: displayed cell texts,
// sheets by index and name, references and names, files it cannot read.
#include "spreadsheet_app/Spreadsheet.h"
#include "spreadsheet_app/TextConvert.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

using namespace tessly::spreadsheet;

namespace {

std::u16string dataFile(const char* name) { return toUtf16(std::string(TESSLY_TEST_DATA) + "/xlsx/" + name); }

std::string textAt(const Worksheet& sheet, const char* ref) { return toUtf8(sheet.range(toUtf16(ref)).text()); }

// Runs f, expecting a SpreadsheetError whose message holds every given part.
template <typename F> void expectError(F f, std::initializer_list<const char*> parts)
{
    try {
        f();
        ADD_FAILURE() << "no SpreadsheetError";
    } catch (const SpreadsheetError& e) {
        for (const char* p : parts)
            EXPECT_NE(std::string(e.what()).find(p), std::string::npos) << e.what();
    }
}

}  // namespace

// Column B holds values of every kind, column C what the application shows
// for each (see make_workbooks.py).
TEST(Workbook, DisplayedTextMatchesExpectedColumn)
{
    Workbook book = Workbook::open(dataFile("cells.xlsx"));
    Worksheet data = book.worksheet(1);
    ASSERT_EQ(textAt(data, "C2"), "$1,250.00");
    for (int row = 2; row <= 30; ++row) {
        // Appended, not "B" + text: GCC 12 takes that insertion for an overlapping copy (-Wrestrict).
        std::string b = std::string("B").append(std::to_string(row)), c = std::string("C").append(std::to_string(row));
        SCOPED_TRACE(b);
        EXPECT_EQ(textAt(data, b.c_str()), textAt(data, c.c_str()));
    }
    EXPECT_EQ(textAt(data, "B23"), "");  // empty cell
    EXPECT_EQ(textAt(data, "B30"), "café – A²");
}

TEST(Workbook, WorksheetsByIndexAndName)
{
    Workbook book = Workbook::open(dataFile("cells.xlsx"));
    EXPECT_EQ(book.worksheetCount(), 2);  // the chart sheet is no worksheet
    EXPECT_EQ(toUtf8(book.worksheet(1).name()), "Data");
    EXPECT_EQ(toUtf8(book.worksheet(2).name()), "Second Sheet");
    EXPECT_EQ(textAt(book.worksheetByName(u"SECOND sheet"), "B2"), "42");
    EXPECT_FALSE(book.date1904());
    expectError([&] { book.worksheet(3); }, {"cells.xlsx", "3"});
    expectError([&] { book.worksheet(0); }, {"cells.xlsx"});
    expectError([&] { book.worksheetByName(u"Chart"); }, {"cells.xlsx", "Chart"});
    EXPECT_EQ(std::filesystem::path(toUtf8(book.fullName())),
              std::filesystem::absolute(toUtf8(dataFile("cells.xlsx"))).lexically_normal());
}

TEST(Workbook, ReferencesAndNames)
{
    Workbook book = Workbook::open(dataFile("cells.xlsx"));
    Worksheet data = book.worksheet(1), second = book.worksheet(2);
    struct Row {
        const Worksheet* sheet;
        const char* ref;
        const char* expected;
    };
    const Row rows[] = {
        {&data, "B2", "$1,250.00"},    {&data, "$B$2", "$1,250.00"},
        {&data, "b2", "$1,250.00"},    {&data, "B$2:$B2", "$1,250.00"},
        {&data, "Price", "$1,250.00"}, {&data, "PRICE", "$1,250.00"},
        {&data, "Local", "15%"},       {&second, "Local", "42"},  // sheet's own name first
        {&data, "Mixed", ""},          {&second, "Same", "x"},    // cells differ
        {&second, "D1:D2", "x"},       {&second, "D2:D1", "x"},
        {&second, "D1:D3", ""},        {&data, "B23:C23", ""},  // D3 is empty
        {&data, "XFD1048576", ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.ref);
        EXPECT_EQ(textAt(*r.sheet, r.ref), r.expected);
    }
    for (const char* bad : {"", "B0", "1B", "A1:", "XFE1", "A1048577", "NoSuchName", "A1 ", "Data!"}) {
        SCOPED_TRACE(bad);
        expectError([&] { data.range(toUtf16(bad)); }, {"cells.xlsx", "Data", bad});
    }
    expectError([&] { data.range(u"Constant"); }, {"Constant", "42"});
    // A worksheet's range cannot lie on another sheet, whatever a name says.
    expectError([&] { second.range(u"Price"); }, {"Price", "sheet 'Data'"});
    expectError([&] { data.range(u"Same"); }, {"Same", "sheet 'Second Sheet'"});
}

// display.xlsx has the cells.xlsx layout for the finer points of the text.
TEST(Workbook, FinerPointsMatchExpectedColumn)
{
    Workbook book = Workbook::open(dataFile("display.xlsx"));
    Worksheet first = book.worksheetByName(u"\u00FCBERSICHT");  // folds beyond Latin-1 too
    ASSERT_EQ(toUtf8(first.name()), "\u00DCbersicht");
    for (int row = 2; row <= 17; ++row) {
        // Built in steps: GCC 12 warns wrongly about "literal" + std::string at -O3.
        std::string b = "B", c = "C";
        b += std::to_string(row);
        c += std::to_string(row);
        SCOPED_TRACE(b);
        EXPECT_EQ(textAt(first, b.c_str()), textAt(first, c.c_str()));
    }
    EXPECT_EQ(textAt(first, "B14"), " ");  // one space is a text, not emptiness
    EXPECT_EQ(textAt(book.worksheetByName(u"other"), "A1"), "6");
}

TEST(Workbook, WhatOnlyACalculatingApplicationCanShow)
{
    Workbook book = Workbook::open(dataFile("display.xlsx"));
    Worksheet other = book.worksheet(2);
    expectError([&] { other.range(u"B7").text(); },
                {"display.xlsx", "sheet 'Other'", "B7 holds a formula with no stored value",
                 "the built-in application does not compute formulas"});
    expectError([&] { other.range(u"B7:C7").text(); }, {"B7 holds a formula"});
    EXPECT_EQ(toUtf8(other.range(u"A1:B7").text()), "");  // A1 and A2 already differ
    expectError([&] { other.range(u"Elsewhere"); }, {"Elsewhere", "sheet '\u00DCbersicht'"});
}

TEST(Workbook, Date1904System)
{
    Workbook book = Workbook::open(dataFile("dates1904.xlsx"));
    EXPECT_TRUE(book.date1904());
    Worksheet mac = book.worksheetByName(u"Mac");
    EXPECT_EQ(textAt(mac, "A1"), "12/8/2026");
    EXPECT_EQ(textAt(mac, "A2"), "1904-01-01");
}

TEST(Workbook, UnreadableFiles)
{
    expectError([] { Workbook::open(dataFile("missing.xlsx")); }, {"missing.xlsx", "does not exist"});
    expectError([] { Workbook::open(dataFile("truncated.xlsx")); }, {"truncated.xlsx", "corrupt"});
    expectError([] { Workbook::open(dataFile("encrypted.xlsx")); }, {"encrypted.xlsx", "encrypted"});
    expectError([] { Workbook::open(dataFile("make_workbooks.py")); }, {"make_workbooks.py", "not a workbook"});
    expectError([] { Workbook::open(toUtf16(TESSLY_TEST_DATA)); }, {"does not exist"});
}

// Other applications' formats are refused by name before the file is read;
// the zip-package variants of the workbook open as workbooks.
TEST(Workbook, FormatsByExtension)
{
    const std::string data = std::string(TESSLY_TEST_DATA) + "/xlsx/cells.xlsx";
    std::string dir = std::filesystem::temp_directory_path() / ("tessly-formats-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    for (const char* ext : {".xlsm", ".xltx", ".XLTM"}) {
        SCOPED_TRACE(ext);
        std::string copy = dir + "/book" + ext;
        std::filesystem::copy_file(data, copy, std::filesystem::copy_options::overwrite_existing);
        EXPECT_EQ(textAt(Workbook::open(toUtf16(copy)).worksheet(1), "B2"), "$1,250.00");
    }
    const char* refused[][2] = {
        {".xls", "Excel 97-2003"}, {".xlsb", "binary workbook"}, {".ods", "OpenDocument"}, {".CSV", "comma-separated"}};
    for (const auto& [ext, format] : refused) {
        SCOPED_TRACE(ext);
        std::string copy = dir + "/book" + ext;
        std::filesystem::copy_file(data, copy, std::filesystem::copy_options::overwrite_existing);
        expectError([&] { Workbook::open(toUtf16(copy)); },
                    {"book", ext, format, "cannot open", "--spreadsheet libreoffice"});
    }
    std::filesystem::remove_all(dir);
}

TEST(Application, CountsStartsAndOpens)
{
    Application::resetCounters();
    int running = Application::runningCount();
    {
        Application app;
        EXPECT_EQ(Application::startedCount(), 1);
        EXPECT_EQ(Application::runningCount(), running + 1);
        app.open(dataFile("cells.xlsx"));
        app.open(dataFile("dates1904.xlsx"));
        EXPECT_THROW(app.open(dataFile("truncated.xlsx")), SpreadsheetError);
        EXPECT_EQ(Application::openedCount(), 2);
        ASSERT_EQ(app.workbookCount(), 2);
        EXPECT_TRUE(toUtf8(app.workbook(2).fullName()).ends_with("dates1904.xlsx"));
        EXPECT_THROW(app.workbook(3), SpreadsheetError);
        app.quit();
        EXPECT_EQ(app.workbookCount(), 0);
        EXPECT_EQ(Application::runningCount(), running);
        EXPECT_THROW(app.open(dataFile("cells.xlsx")), SpreadsheetError);
    }
    EXPECT_EQ(Application::runningCount(), running);
    Application second;
    EXPECT_EQ(Application::startedCount(), 2);
}

// Sheets are parsed on first use, so a broken sheet only fails when read.
TEST(Workbook, SheetReadOnFirstUse)
{
    Workbook book = Workbook::open(dataFile("badsheet.xlsx"));
    EXPECT_EQ(textAt(book.worksheet(1), "B3"), "15%");
    Worksheet broken = book.worksheet(2);
    EXPECT_EQ(toUtf8(broken.name()), "Second Sheet");
    Range r = broken.range(u"B2");
    expectError([&] { r.text(); }, {"badsheet.xlsx", "sheet2.xml", "corrupt"});
}
