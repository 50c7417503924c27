// Cell addresses of table cell fields; see the header.
#include "tablecell/CellAddress.h"

#include "util/TextCase.h"
#include "util/WideCrt.h"

namespace {
constexpr auto isAsciiLetter = textcase::isLetter;
int letterValue(char16_t c) { return c - 64; }
}

bool parseCellAddress(std::u16string_view text, int& row, int& column)
{
    if (text.empty())
        return false;
    size_t at = text.find(u'$');
    if (at == std::u16string_view::npos || at + 1 >= text.size() || !isAsciiLetter(text[at + 1]))
        return false;
    column = letterValue(text[at + 1]);
    size_t next = at + 2;
    if (next < text.size() && text[next] == u'$') {
        row = crt::wtoi(text.substr(next + 1));
        return true;
    }
    if (next < text.size() && isAsciiLetter(text[next])) {
        column = column * 26 + letterValue(text[next]);
        if (next + 1 >= text.size() || text[next + 1] != u'$')
            return false;
        row = crt::wtoi(text.substr(next + 2));
        return true;
    }
    return false;
}
