// leadingNumber: see the header.
#include "blockcount/LeadingNumber.h"

#include "util/DecimalScanner.h"
#include "util/TextCase.h"

double leadingNumber(std::u16string_view text)
{
    size_t i = 0;
    while (i < text.size() && textcase::isBlank(text[i]))
        ++i;
    DecimalScan scan = scanDecimal(text.substr(i));
    // A text without digits reads as 0, whatever sign it starts with.
    return scan.length ? scan.value : 0.0;
}
