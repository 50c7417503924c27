// The workbook reader's XML: a well-formed package (tests/data cells.xlsx)
// with one part replaced by the input, so the fuzzer works on the XML and
// not on zip checksums. The first byte picks the part.
#include "spreadsheet_app/Spreadsheet.h"

#include <zip.h>

#include <cstdio>
#include <string>
#include <unistd.h>

using namespace tessly::spreadsheet;

namespace {

const char* const kParts[] = {"xl/workbook.xml",
                              "xl/worksheets/sheet1.xml",
                              "xl/sharedStrings.xml",
                              "xl/styles.xml",
                              "xl/_rels/workbook.xml.rels",
                              "[Content_Types].xml",
                              "xl/worksheets/sheet2.xml",
                              "_rels/.rels"};

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 65536)
        return -1;
    static const std::string path = "/tmp/tessly-fuzz-parts-" + std::to_string(getpid()) + ".xlsx";
    const char* replaced = kParts[data[0] % (sizeof kParts / sizeof kParts[0])];

    int error = 0;
    zip_t* source = zip_open(TESSLY_TEST_DATA "/xlsx/cells.xlsx", ZIP_RDONLY, &error);
    std::remove(path.c_str());
    zip_t* out = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!source || !out)
        __builtin_trap();
    for (zip_int64_t i = 0; i < zip_get_num_entries(source, 0); ++i) {
        const char* name = zip_get_name(source, i, 0);
        zip_source_t* part = std::string(name) == replaced ? zip_source_buffer(out, data + 1, size - 1, 0)
                                                           : zip_source_zip(out, source, i, 0, 0, -1);
        zip_file_add(out, name, part, ZIP_FL_OVERWRITE);
    }
    zip_close(out);
    zip_close(source);

    try {
        Workbook book = Workbook::open(std::u16string(path.begin(), path.end()));
        for (int i = 1; i <= book.worksheetCount() && i <= 8; ++i) {
            Worksheet sheet = book.worksheet(i);
            for (const char16_t* ref : {u"A1", u"B2", u"C5", u"B2:B30", u"Total"}) {
                try {
                    sheet.range(ref).text();
                } catch (const SpreadsheetError&) {
                }
            }
        }
    } catch (const SpreadsheetError&) {
    }
    return 0;
}
