// The spreadsheet cell field code through the field engine, the module
// loaded as the host loads it and the stand-in application behind
// automation: the input follows a real workbook's path, so it is the
// worksheet and the reference (or, with more colons, anything after them).
#include "fuzz/FuzzText.h"
#include "replacement_host/CommandLine.h"
#include "tests/support/TestHost.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1024)
        return -1;
    static const std::u16string book = testhost::u16(TESSLY_TEST_DATA "/xlsx/cells.xlsx");
    // Failed reads are reported on the command line: not wanted in the log.
    static const bool quiet = (commandline::setSink([](std::u16string_view) {}), true);
    (void)quiet;
    testhost::Drawing drawing;
    drawing.evaluateCode(u"%<\\ExcelCell " + book + u":" + fuzzText(data, size) + u">%");
    return 0;
}
