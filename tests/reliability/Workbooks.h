// Test workbooks: cells.xlsx with one part replaced, and the first error
// met reading every sheet of a workbook.
#pragma once

#include "spreadsheet_app/Spreadsheet.h"
#include "spreadsheet_app/TextConvert.h"
#include "tests/external/Files.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstring>
#include <string>

namespace testbooks {

// cells.xlsx with one part replaced.
inline std::string workbookWith(const testfiles::Folder& dir, const char* part, const std::string& content)
{
    std::string path = dir / "book.xlsx";
    int error = 0;
    zip_t* source = zip_open(TESSLY_TEST_DATA "/xlsx/cells.xlsx", ZIP_RDONLY, &error);
    zip_t* out = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    EXPECT_TRUE(source && out);
    for (zip_int64_t i = 0; i < zip_get_num_entries(source, 0); ++i) {
        const char* name = zip_get_name(source, i, 0);
        zip_source_t* s = std::strcmp(name, part) == 0 ? zip_source_buffer(out, content.data(), content.size(), 0)
                                                       : zip_source_zip(out, source, i, 0, 0, -1);
        zip_file_add(out, name, s, ZIP_FL_OVERWRITE);
    }
    EXPECT_EQ(zip_close(out), 0);
    zip_close(source);
    return path;
}

inline std::string workbookError(const std::string& path)
{
    using namespace tessly::spreadsheet;
    try {
        Workbook book = Workbook::open(toUtf16(path));
        for (int i = 1; i <= book.worksheetCount(); ++i)
            book.worksheet(i).range(u"A1").text();
    } catch (const SpreadsheetError& e) {
        return e.what();
    }
    return {};
}

}
