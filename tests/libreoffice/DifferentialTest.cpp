// Every cell of the test workbooks read through both applications behind
// the same automation members, and the differences listed. Each difference
// is known and said why below; a new one, or a known one that went away,
// fails the test. Where the two differ, the built-in application follows
// the spreadsheet application the fields are written for (the one whose
// files these are), not LibreOffice.
#include "external/ExcelAutomation.h"
#include "replacement_host/text/Utf.h"
#include "tests/libreoffice/Calc.h"

#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <set>
#include <string>

namespace {

const std::string kData = std::string(TESSLY_TEST_DATA) + "/xlsx/";

struct Known {
    const char* cell;  // workbook!sheet!cell
    const char* builtin;
    const char* libreoffice;
    const char* why;
};

// "<error>" stands for an automation error raised while reading, "<none>"
// for a worksheet one application does not have; a cell ending in "*"
// stands for every cell of the sheet.
const Known kKnown[] = {
    {"cells.xlsx!Chart!*", "<none>", "",
     "a chart sheet is no worksheet; LibreOffice imports it as a worksheet of its own"},
    {"cells.xlsx!Data!B7", "1.23457E+11", "123456789012",
     "General fits a number into a column of default width; LibreOffice's cell text ignores the width"},
    {"cells.xlsx!Data!B10", "TRUE", "1", "a logical value shows TRUE; LibreOffice reads it into a number"},
    {"cells.xlsx!Data!B20", "TRUE", "1", "the same for a formula's logical result"},
    {"cells.xlsx!Data!B24", "00:00:01", "00:00:00", "0.99999 s rounds to the second shown; LibreOffice cuts it off"},
    {"cells.xlsx!Data!B30", "caf\u00e9 \u2013 A\u00b2", "caf\u00e9 _x2013_ A\u00b2",
     "_x2013_ in a shared string is an escaped character; LibreOffice shows the escape"},
    {"display.xlsx!Other!B7", "<error>", "43.00",
     "a formula saved without its value: only a calculating application can show it"},
    {"display.xlsx!\u00dcbersicht!B10", "2:30 P", "2:30 p",
     "A/P is shown in the case it is written in; LibreOffice writes it in lower case"},
    {"display.xlsx!\u00dcbersicht!B15", "-0", "0",
     "a negative number that rounds to zero keeps its minus sign; LibreOffice drops it"},
    {"display.xlsx!\u00dcbersicht!B16", "-0.00", "0.00", "the same, with two decimals"},
};

using Texts = std::map<std::string, std::string>;

// Workbook!sheet!cell to its displayed text, for the first five columns of
// the first 35 rows of every worksheet.
Texts readAll(const char* application, const std::vector<std::string>& books)
{
    calc::ScopedVariable chosen(spreadsheetserver::kChoiceVariable, application);
    CLSID clsid;
    IDispatch* dispatch = nullptr;
    EXPECT_GE(CLSIDFromProgID(u"Excel.Application", &clsid), 0);
    EXPECT_GE(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, &dispatch), 0) << application;
    Texts texts;
    if (!dispatch)
        return texts;
    excel::CApplication app(dispatch);
    excel::CWorkbooks workbooks = app.GetWorkbooks();
    VARIANT one = excel::variantOf(Adesk::Int32{1});
    const VARIANT& none = excel::omitted();
    for (const std::string& name : books) {
        excel::CWorkbook book = workbooks.Open(utf::toUtf16(kData + name).c_str(), one, one, none, none, none, none,
                                               none, none, none, none, none, none);
        excel::CWorksheets sheets = book.GetWorksheets();
        for (Adesk::Int32 s = 1; s <= sheets.GetCount(); ++s) {
            excel::CWorksheet sheet = sheets.GetItem(excel::variantOf(s));
            std::string prefix = name + "!" + utf::toUtf8(sheet.GetName()) + "!";
            for (int row = 1; row <= 35; ++row) {
                for (char column = 'A'; column <= 'E'; ++column) {
                    std::string cell = std::string(1, column) + std::to_string(row);
                    std::string text;
                    try {
                        VARIANT v = sheet.GetRange(excel::variantOf(utf::toUtf16(cell).c_str()), none).GetText();
                        text = v.vt == VT_BSTR ? utf::toUtf8(v.bstrVal) : "";
                    } catch (const excel::AutomationError&) {
                        text = "<error>";
                    }
                    texts[prefix + cell] = text;
                }
            }
        }
    }
    app.Quit();
    return texts;
}

TEST(Differential, BothApplicationsShowTheSameOrADocumentedDifference)
{
    if (!calc::installed())
        GTEST_SKIP() << "LibreOffice (soffice) or python3-uno is not installed";
    const std::vector<std::string> books = {"cells.xlsx", "display.xlsx"};
    Texts builtin = readAll("builtin", books);
    Texts libreoffice = readAll("libreoffice", books);
    ASSERT_GT(builtin.size(), 500u);
    for (const auto& [cell, text] : libreoffice)
        builtin.emplace(cell, "<none>");

    std::set<std::string> found;
    for (const auto& [cell, text] : builtin) {
        const std::string other = libreoffice.count(cell) ? libreoffice[cell] : "<none>";
        if (text == other)
            continue;
        const Known* known = nullptr;
        for (const Known& k : kKnown) {
            std::string_view pattern = k.cell;
            if (cell == pattern || (pattern.ends_with('*') && cell.starts_with(pattern.substr(0, pattern.size() - 1))))
                known = &k;
        }
        if (!known || found.insert(known->cell).second)
            std::cout << "differs: " << cell << "  built-in \"" << text << "\"  LibreOffice \"" << other << "\"\n";
        if (!known) {
            ADD_FAILURE() << "an unknown difference at " << cell << ": built-in \"" << text << "\", LibreOffice \""
                          << other << "\"";
            continue;
        }
        EXPECT_EQ(text, known->builtin) << cell;
        if (!std::string_view(known->cell).ends_with('*')) {
            EXPECT_EQ(other, known->libreoffice) << cell;
        }
    }
    for (const Known& k : kKnown)
        EXPECT_TRUE(found.count(k.cell)) << k.cell << " no longer differs: " << k.why;
    EXPECT_TRUE(calc::ourProcesses().empty()) << "LibreOffice is left running";
}

}
