// The table-cell and handle-list field codes through the real field engine,
// with the module loaded as the host loads it, on a small drawing: a table,
// a text, a circle and a closed polyline. The first byte picks the field
// kind, the rest is its parameters.
#include "fuzz/FuzzText.h"
#include "tests/support/TestHost.h"

namespace {

const char* const kDrawing = R"([
    {"type": "table", "handle": "2F1", "rows": 3, "columns": 2, "cells": [
        {"row": 0, "column": 0, "text": "1"}, {"row": 0, "column": 1, "text": "x"},
        {"row": 1, "column": 0, "text": "2.5"}]},
    {"type": "text", "handle": "3A0", "text": "Hello"},
    {"type": "circle", "handle": "1A", "center": [0, 0], "radius": 2},
    {"type": "lwpolyline", "handle": "2B", "vertices": [[0, 0], [10, 0], [10, 10]], "closed": true}])";

const char16_t* const kKinds[] = {u"TableCell", u"AcLength", u"AcArea", u"TsExpr"};

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 2048)
        return -1;
    std::u16string code = u"%<\\";
    code += kKinds[data[0] % 4];
    code += u' ';
    code += fuzzText(data + 1, size - 1);
    code += u">%";
    testhost::Drawing drawing(kDrawing);
    drawing.evaluateCode(code);
    return 0;
}
