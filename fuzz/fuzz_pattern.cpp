// The pattern matcher: the input up to the first newline is the pattern,
// the rest the text matched against it.
#include "fuzz/FuzzText.h"
#include "tablecell/RegExp.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return -1;
    std::u16string input = fuzzText(data, size);
    size_t split = input.find(u'\n');
    std::u16string pattern = input.substr(0, split);
    std::u16string text = split == std::u16string::npos ? std::u16string() : input.substr(split + 1);
    std::vector<std::u16string> groups;
    matchGroups(text, pattern, groups);
    return 0;
}
