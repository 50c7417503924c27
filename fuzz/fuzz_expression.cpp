// The expression evaluator end to end: tokenizing, postfix conversion and
// evaluation of any text, with two preset cells so references resolve.
#include "expr/CExpression.h"
#include "fuzz/FuzzText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return -1;
    CExpression expression(fuzzText(data, size));
    expression.SetCellValue(u"A1", u"2");
    expression.SetCellValue(u"B2", u"text");
    std::u16string result;
    expression.Evaluate(result);
    return 0;
}
