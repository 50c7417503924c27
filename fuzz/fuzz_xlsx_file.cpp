// The workbook reader on any file: zip container, parts and cells. Every
// sheet is read through a cell, a rectangle and a name, as the cell field
// would ask.
#include "spreadsheet_app/Spreadsheet.h"

#include <cstdio>
#include <string>
#include <unistd.h>

using namespace tessly::spreadsheet;

namespace {

void readAll(const std::string& path)
{
    try {
        Workbook book = Workbook::open(std::u16string(path.begin(), path.end()));
        book.date1904();
        int count = book.worksheetCount();
        for (int i = 1; i <= count && i <= 8; ++i) {
            Worksheet sheet = book.worksheet(i);
            sheet.name();
            for (const char16_t* ref : {u"A1", u"B2", u"$C$3", u"A1:D30", u"Total"}) {
                try {
                    sheet.range(ref).text();
                } catch (const SpreadsheetError&) {
                }
            }
        }
    } catch (const SpreadsheetError&) {
    }
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 262144)
        return -1;
    static const std::string path = "/tmp/tessly-fuzz-book-" + std::to_string(getpid()) + ".xlsx";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    readAll(path);
    return 0;
}
