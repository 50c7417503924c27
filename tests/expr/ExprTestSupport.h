// Helpers shared by the expression tests: building marked texts and running
// an expression with preset cell values.
#pragma once

#include "expr/CExpression.h"
#include "util/WideCrt.h"

#include <string>
#include <utility>
#include <vector>

// A string constant as the tokenizer makes it.
inline std::u16string Quoted(std::u16string_view text)
{
    std::u16string quoted(1, kStringMarker);
    quoted.append(text);
    return quoted;
}

struct Cell {
    std::u16string reference;
    std::u16string value;
};

struct Outcome {
    int ok;
    std::u16string text;
};

inline Outcome EvaluateText(const std::u16string& text, const std::vector<Cell>& cells = {})
{
    CExpression expression(text);
    for (const Cell& cell : cells)
        expression.SetCellValue(cell.reference, cell.value);
    Outcome outcome{};
    outcome.ok = expression.Evaluate(outcome.text);
    return outcome;
}

// Trace text for a row: the input with control characters made visible.
inline std::string Trace(std::u16string_view text) { return crt::narrow(text); }
