// Field code syntax; see the header.
#include "replacement_host/fields/FieldCode.h"

namespace fieldcode {

namespace {
bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// Where the code that opens at `open` ends, just past its matching ">%"
// (nested "%<" counted); npos when it never closes.
size_t closeOf(std::u16string_view text, size_t open)
{
    int depth = 0;
    size_t j = open;
    while (j + 1 < text.size()) {
        if (text[j] == u'%' && text[j + 1] == u'<') {
            ++depth;
            j += 2;
        } else if (text[j] == u'>' && text[j + 1] == u'%') {
            j += 2;
            if (--depth == 0)
                return j;
        } else {
            ++j;
        }
    }
    return std::u16string_view::npos;
}
}

bool nextCode(std::u16string_view text, size_t from, Span& span)
{
    for (size_t i = from; i + 1 < text.size(); ++i) {
        if (text[i] != u'%' || text[i + 1] != u'<')
            continue;
        size_t close = closeOf(text, i);
        if (close == std::u16string_view::npos)
            return false;  // unclosed: the rest is text
        span = {i, close};
        return true;
    }
    return false;
}

std::vector<Span> findCodes(std::u16string_view text)
{
    std::vector<Span> spans;
    Span s;
    for (size_t from = 0; nextCode(text, from, s); from = s.end)
        spans.push_back(s);
    return spans;
}

bool isWholeCode(std::u16string_view text)
{
    // The first code must close at the very end.
    return text.starts_with(u"%<") && closeOf(text, 0) == text.size();
}

bool isObjectReference(std::u16string_view code)
{
    // Most codes differ at the underscore: the words are compared only then.
    return code.size() > 3 && code[3] == u'_' &&
        (code.starts_with(u"%<\\_ObjId") || code.starts_with(u"%<\\_ObjHandle"));
}

std::vector<Span> childCodes(std::u16string_view parameters, int depth)
{
    if (depth >= kMaxNesting)
        return {};
    std::vector<Span> out = findCodes(parameters);
    std::erase_if(out, [&](const Span& s) { return isObjectReference(parameters.substr(s.begin, s.end - s.begin)); });
    return out;
}

Parsed parse(std::u16string_view code, int depth)
{
    Parsed p;
    if (code.size() < 5 || !code.starts_with(u"%<\\") || !code.ends_with(u">%"))
        return p;
    std::u16string_view inner = code.substr(3, code.size() - 5);
    size_t idEnd = 0;
    while (idEnd < inner.size() && !isBlank(inner[idEnd]))
        ++idEnd;
    if (idEnd == 0)
        return p;
    p.id = inner.substr(0, idEnd);
    size_t start = idEnd;
    while (start < inner.size() && isBlank(inner[start]))
        ++start;
    std::u16string_view rest = inner.substr(start);

    // A format option counts only at the top level and at the very end.
    size_t trimmed = rest.size();
    while (trimmed > 0 && isBlank(rest[trimmed - 1]))
        --trimmed;
    if (trimmed >= 4 && rest[trimmed - 1] == u'"') {
        int level = 0;
        size_t lastOption = std::u16string::npos;
        // Stops before the last quote: an option needs a closing quote after its opening one.
        for (size_t i = 0; i + 4 < trimmed; ++i) {
            if (rest[i] == u'%' && rest[i + 1] == u'<')
                ++level;
            else if (rest[i] == u'>' && rest[i + 1] == u'%')
                --level;
            else if (level == 0 && rest[i] == u'\\' && rest[i + 1] == u'f' && rest[i + 2] == u' ' &&
                     rest[i + 3] == u'"')
                lastOption = i;
        }
        if (lastOption != std::u16string::npos) {
            std::u16string_view fmt(rest.data() + lastOption + 4, trimmed - 1 - (lastOption + 4));
            if (fmt.find(u'"') == std::u16string_view::npos) {
                p.format = fmt;
                size_t cut = lastOption;
                while (cut > 0 && isBlank(rest[cut - 1]))
                    --cut;
                rest = rest.substr(0, cut);
            }
        }
    }
    p.parameters = rest;
    p.children = childCodes(p.parameters, depth + 1);
    p.ok = true;
    return p;
}

}
