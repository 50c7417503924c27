// Number-format rendering: the first eight bytes are the value, the rest
// the format code; both the number and the text forms are rendered.
#include "spreadsheet_app/NumberFormat.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 9 || size > 1024)
        return -1;
    double value;
    std::memcpy(&value, data, sizeof value);
    std::string code(reinterpret_cast<const char*>(data + 8), size - 8);
    tessly::spreadsheet::formatNumber(value, code, false);
    tessly::spreadsheet::formatNumber(value, code, true);
    tessly::spreadsheet::formatText(u"text", code);
    return 0;
}
