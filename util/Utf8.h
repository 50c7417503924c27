// UTF-8 to UTF-16 for the module: texts read from files without a byte-order
// mark. Invalid sequences each become U+FFFD; nothing else is changed.
#pragma once

#include <string>
#include <string_view>

namespace utf8 {
std::u16string decode(std::string_view bytes);
// Decodes onto the end of out. Text read in pieces decodes as it would whole
// when every piece but the last ends where completePrefix says.
void decodeAppend(std::string_view bytes, std::u16string& out);
// The length of bytes up to the start of a sequence its end may cut.
size_t completePrefix(std::string_view bytes);
}
