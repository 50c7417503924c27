// The block-count field's parameters: names, options and their values.
#include "blockcount/BlockCountCode.h"
#include "fuzz/FuzzText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return -1;
    parseBlockCountCode(fuzzText(data, size));
    return 0;
}
