// Text decoding: the module's UTF-8 decoder on the bytes, and the same bytes
// as a text file read by the text-file field (byte-order marks, odd
// lengths, zero bytes).
#include "fuzz/FuzzText.h"
#include "tests/support/TestHost.h"

#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 65536)
        return -1;
    fuzzText(data, size);

    static const std::string path = "/tmp/tessly-fuzz-text-" + std::to_string(getpid()) + ".txt";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    testhost::Drawing drawing;
    drawing.evaluateCode(u"%<\\TextField " + testhost::u16(path) + u">%");
    return 0;
}
