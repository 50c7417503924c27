// Worksheets read only as far as a request needs: answers must not depend on
// which cells were asked before, on which sheet, or on how far the sheet had
// been read. The workbooks are written here, large enough that a sheet is
// inflated and parsed in several pieces.
#include "spreadsheet_app/Spreadsheet.h"
#include "spreadsheet_app/TextConvert.h"

#include <gtest/gtest.h>

#include <zip.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

using namespace tessly::spreadsheet;

namespace {

// Just over the 1 MB a sheet is read by at a time, and small enough for the
// suite under valgrind.
constexpr int kRows = 8000;  // five columns: about 1.3 MB of XML

// Each cell A1..E<rows> holds row * 10 + column, except row 7 and C9; the
// row `late`, if any, comes last.
std::string numberSheet(int rows, int late = 0)
{
    auto row = [](int r) {
        std::string xml = "<row r=\"" + std::to_string(r) + "\">";
        for (int c = 1; c <= 5; ++c) {
            if (r == 9 && c == 3)
                continue;
            xml += std::string("<c r=\"") + static_cast<char>('A' + c - 1) + std::to_string(r) + "\"><v>" +
                std::to_string(r * 10 + c) + "</v></c>";
        }
        return xml + "</row>";
    };
    std::string xml = "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
    for (int r = 1; r <= rows; ++r)
        if (r != 7 && r != late)
            xml += row(r);
    if (late)
        xml += row(late);
    return xml + "</sheetData></worksheet>";
}

std::string smallSheet(const std::string& rows)
{
    return "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>" + rows +
        "</sheetData></worksheet>";
}

// Shared strings of several pieces: "item 0" to "item 44999", item 1 in two
// rich-text runs with a phonetic run.
std::string sharedStrings()
{
    std::string xml = "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
    for (int i = 0; i < 45000; ++i) {
        if (i == 1)
            xml += "<si><r><t>ite</t></r><r><rPr><b/></rPr><t>m 1</t></r><rPh><t>x</t></rPh></si>";
        else
            xml += "<si><t>item " + std::to_string(i) + "</t></si>";
    }
    return xml + "</sst>";
}

// A workbook of the sheets Other, Shuffled, Disordered, Strings and Big, with
// shared strings; Big's part is written last, or the shared strings.
std::string writeWorkbook(const std::string& path, bool stringsLast)
{
    const std::pair<const char*, std::string> sheets[] = {
        {"Other",
         smallSheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"
                    "<row r=\"2\"><c r=\"B2\" t=\"inlineStr\"><is><t>two</t></is></c></row>")},
        // Rows out of order, as no producer writes them: in a small sheet and
        // in one of several pieces.
        {"Shuffled",
         smallSheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"3\"><c r=\"A3\"><v>3</v></c></row>"
                    "<row r=\"2\"><c r=\"A2\"><v>2</v></c></row><row r=\"4\"><c r=\"A4\"><v>4</v></c></row>")},
        {"Disordered", numberSheet(7000, 3500)},
        {"Strings",
         smallSheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>44999</v></c><c r=\"B1\"><v>7</v></c></row>"
                    "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>0</v></c></row>"
                    "<row r=\"3\"><c r=\"A3\" t=\"s\"><v>1</v></c></row>"
                    "<row r=\"4\"><c r=\"A4\" t=\"s\"><v>45000</v></c></row>"
                    "<row r=\"5\"><c r=\"A5\" t=\"s\"><v>20000</v></c></row>")},
        {"Big", numberSheet(kRows)},
    };
    std::string book = "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                       "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>";
    std::string rels = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    for (size_t i = 0; i < std::size(sheets); ++i) {
        std::string n = std::to_string(i + 1);
        book.append("<sheet name=\"").append(sheets[i].first).append("\" sheetId=\"").append(n);
        book.append("\" r:id=\"rId").append(n).append("\"/>");
        rels.append("<Relationship Id=\"rId")
            .append(n)
            .append("\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
                    "Target=\"worksheets/sheet");
        rels.append(n).append(".xml\"/>");
    }
    rels += "<Relationship Id=\"rId99\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
            "sharedStrings\" Target=\"sharedStrings.xml\"/>";
    std::vector<std::pair<std::string, std::string>> parts = {
        {"xl/workbook.xml", book + "</sheets></workbook>"}, {"xl/_rels/workbook.xml.rels", rels + "</Relationships>"}};
    if (!stringsLast)
        parts.emplace_back("xl/sharedStrings.xml", sharedStrings());
    for (size_t i = 0; i < std::size(sheets); ++i)
        parts.emplace_back("xl/worksheets/sheet" + std::to_string(i + 1) + ".xml", sheets[i].second);
    if (stringsLast)
        parts.emplace_back("xl/sharedStrings.xml", sharedStrings());
    int err = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!zip)
        return "cannot create " + path;
    for (const auto& [name, data] : parts) {
        zip_source_t* src = zip_source_buffer(zip, data.data(), data.size(), 0);
        zip_int64_t index = src ? zip_file_add(zip, name.c_str(), src, ZIP_FL_OVERWRITE) : -1;
        // The fastest deflate level: the suite runs under valgrind too.
        if (index < 0 || zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 1) < 0) {
            if (index < 0)
                zip_source_free(src);
            zip_discard(zip);
            return "cannot add " + name;
        }
    }
    return zip_close(zip) == 0 ? "" : "cannot write " + path;
}

// Damages the last part's compressed data close to its end, which lies just
// before the central directory, or its checksum, which is checked once the
// part has been inflated whole; the package itself stays readable.
void damageLastPart(const std::string& path, bool checksum, const std::string& name = "xl/worksheets/sheet5.xml")
{
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    ASSERT_GT(all.size(), 22u);
    const unsigned char* end = reinterpret_cast<const unsigned char*>(all.data()) + all.size() - 22;
    ASSERT_EQ(end[0], 0x50);  // end of central directory, no comment
    uint32_t directory = end[16] | end[17] << 8 | end[18] << 16 | static_cast<uint32_t>(end[19]) << 24;
    ASSERT_GT(directory, 4000u);
    if (checksum) {
        // In the local header and the directory alike, as they must agree.
        struct Header {
            const char* signature;
            size_t name, crc;
        };
        for (const Header& h : {Header{"PK\3\4", 30, 14}, Header{"PK\1\2", 46, 16}}) {
            size_t at = all.find(h.signature);
            for (; at != std::string::npos; at = all.find(h.signature, at + 1))
                if (all.compare(at + h.name, name.size(), name) == 0)
                    break;
            ASSERT_NE(at, std::string::npos);
            all[at + h.crc] = static_cast<char>(all[at + h.crc] ^ 1);
        }
    } else {
        for (uint32_t i = directory - 3000; i < directory - 2900; ++i)
            all[i] = static_cast<char>(all[i] ^ 0x5A);
    }
    f.seekp(0);
    f.write(all.data(), static_cast<std::streamsize>(all.size()));
}

class SheetReading : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder = std::filesystem::temp_directory_path() / ("tessly-sheets-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        ASSERT_EQ(writeWorkbook((folder / "book.xlsx").string(), false), "");
        ASSERT_EQ(writeWorkbook((folder / "strings.xlsx").string(), true), "");
        damageLastPart((folder / "strings.xlsx").string(), false);
        std::filesystem::copy_file(folder / "book.xlsx", folder / "damaged.xlsx");
        damageLastPart((folder / "damaged.xlsx").string(), false);
        std::filesystem::copy_file(folder / "book.xlsx", folder / "checksum.xlsx");
        damageLastPart((folder / "checksum.xlsx").string(), true);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(folder); }

    // A request and its answer: the text, or a part of the error's message.
    struct Ask {
        const char* sheet;
        const char* ref;
        const char* text;
        const char* error = nullptr;
    };

    // Asks in the given order of one freshly opened workbook.
    static void askInOrder(const char* file, const std::vector<Ask>& asks)
    {
        Workbook book = Workbook::open(toUtf16((folder / file).string()));
        for (const Ask& a : asks) {
            SCOPED_TRACE(std::string(a.sheet) + "!" + a.ref);
            Range range = book.worksheetByName(toUtf16(a.sheet)).range(toUtf16(a.ref));
            try {
                std::string text = toUtf8(range.text());
                EXPECT_FALSE(a.error) << "no error, the text is '" << text << "'";
                if (a.text) {
                    EXPECT_EQ(text, a.text);
                }
            } catch (const SpreadsheetError& e) {
                ASSERT_TRUE(a.error) << e.what();
                EXPECT_NE(std::string(e.what()).find(a.error), std::string::npos) << e.what();
            }
        }
    }

    static inline std::filesystem::path folder;
};

TEST_F(SheetReading, AnswersWhateverWasAskedBefore)
{
    const std::vector<std::vector<Ask>> orders = {
        {{"Big", "A1", "11"}, {"Big", "B1", "12"}, {"Big", "E8000", "80005"}},
        {{"Big", "E8000", "80005"}, {"Big", "A1", "11"}, {"Big", "C4000", "40003"}},
        {{"Big", "D6000", "60004"}, {"Big", "D5999", "59994"}, {"Big", "A6001", "60011"}},
        // Cells not stored: a missing row, a gap in a row, past the last
        // column, past the last row.
        {{"Big", "A7", ""},
         {"Big", "C9", ""},
         {"Big", "D9", "94"},
         {"Big", "F1", ""},
         {"Big", "A1048576", ""},
         {"Big", "E7999", "79995"}},
        {{"Big", "A8001", ""}, {"Big", "A7", ""}, {"Big", "C9", ""}},
        // A range ends past what was read; one cell of it is missing.
        {{"Big", "A1", "11"}, {"Big", "A1:E3", ""}, {"Big", "C9:C9", ""}, {"Big", "B8:B8", "82"}},
        // Two sheets read alternately, each from where it stopped.
        {{"Big", "A2", "21"},
         {"Other", "A1", "1"},
         {"Big", "E4000", "40005"},
         {"Other", "B2", "two"},
         {"Big", "B3", "32"},
         {"Big", "E7000", "70005"},
         {"Other", "C3", ""}},
        // A row out of order: a small sheet is read whole, a larger one read
        // through and sorted once the disorder shows.
        {{"Shuffled", "A2", "2"}, {"Shuffled", "A4", "4"}, {"Shuffled", "A3", "3"}},
        {{"Shuffled", "A3", "3"}, {"Shuffled", "A2", "2"}, {"Shuffled", "A1:A4", ""}},
        // Shared strings read as far as a cell needs, in any order; past
        // the last item is empty.
        {{"Strings", "B1", "7"},
         {"Strings", "A2", "item 0"},
         {"Strings", "A3", "item 1"},
         {"Strings", "A1", "item 44999"},
         {"Strings", "A5", "item 20000"},
         {"Strings", "A4", ""}},
        {{"Strings", "A4", ""}, {"Strings", "A5", "item 20000"}, {"Strings", "A3", "item 1"}},
        {{"Disordered", "A1", "11"}, {"Disordered", "E7000", "70005"}, {"Disordered", "C3500", "35003"}},
        {{"Disordered", "E6000", "60005"}, {"Disordered", "A7001", ""}, {"Disordered", "A3500", "35001"}},
    };
    for (size_t i = 0; i < orders.size(); ++i) {
        SCOPED_TRACE("order " + std::to_string(i));
        askInOrder("book.xlsx", orders[i]);
    }
}

// The damage shows only when the read gets there; the cells before it read
// the same before and after, and the other sheets are untouched.
TEST_F(SheetReading, DamageFoundLateInASheet)
{
    const std::vector<std::vector<Ask>> orders = {
        {{"Big", "A1", "11"},
         {"Big", "E8000", nullptr, "sheet5.xml' is corrupt"},
         {"Big", "A1", "11"},
         {"Big", "B2:B3", ""},
         {"Big", "A8000", nullptr, "sheet5.xml' is corrupt"},
         {"Other", "B2", "two"}},
        {{"Big", "E8000", nullptr, "damaged.xlsx"}, {"Big", "A1", "11"}, {"Big", "E8000", nullptr, "corrupt"}},
    };
    for (size_t i = 0; i < orders.size(); ++i) {
        SCOPED_TRACE("order " + std::to_string(i));
        askInOrder("damaged.xlsx", orders[i]);
    }
    // Damaged shared strings show only when a cell needs an item past the
    // fault: the workbook opens and the items before it read.
    askInOrder("strings.xlsx",
               {{"Strings", "B1", "7"},
                {"Strings", "A5", "item 20000"},
                {"Strings", "A1", nullptr, "sharedStrings.xml' is corrupt"},
                {"Strings", "A2", "item 0"},
                {"Strings", "A4", nullptr, "sharedStrings.xml' is corrupt"},
                {"Big", "E8000", "80005"}});
    // A wrong checksum shows once the whole part is inflated: every cell
    // before the last reads, the last one fails.
    askInOrder("checksum.xlsx",
               {{"Big", "E7999", "79995"},
                {"Big", "E8000", nullptr, "sheet5.xml' is corrupt: CRC error"},
                {"Big", "A1:A2", ""},
                {"Big", "E8000", nullptr, "CRC error"},
                {"Shuffled", "A2", "2"}});
}

}  // namespace
