// Field code syntax: "%<\Id parameters>%", codes nested in the parameters,
// object references "%<\_ObjId N>%" and "%<\_ObjHandle H>%" that stay text,
// and an optional trailing standard format option \f "format".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fieldcode {

// Deeper nesting is kept as plain text, so no code can exhaust the stack.
constexpr int kMaxNesting = 32;

struct Span {
    size_t begin = 0;  // position of "%<"
    size_t end = 0;    // one past ">%"
};

// The codes at the top level of a text, in order; an unclosed "%<" is text.
std::vector<Span> findCodes(std::u16string_view text);
// The first of them that starts at or after from; false when there is none.
bool nextCode(std::u16string_view text, size_t from, Span& span);

// Whether the text is one code from its first character to its last.
bool isWholeCode(std::u16string_view text);

// Object references name an object inside another code; they are not fields.
bool isObjectReference(std::u16string_view code);

// Parts of a code, as views of the code read.
struct Parsed {
    bool ok = false;
    std::u16string_view id;
    std::u16string_view parameters;  // without the format option
    std::u16string_view format;      // inside \f "..."; empty when none
    std::vector<Span> children;      // nested field codes, positions in parameters
};

// Reads one whole code (the text from "%<" to ">%"); the parts are views of it.
Parsed parse(std::u16string_view code, int depth = 0);

// The codes nested at the top level of parameters that are fields.
std::vector<Span> childCodes(std::u16string_view parameters, int depth);

}
