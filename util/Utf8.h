// UTF-8 to UTF-16 for the module: texts read from files without a byte-order
// mark. Invalid sequences each become U+FFFD; nothing else is changed.
#pragma once

#include <string>
#include <string_view>

namespace utf8 {
std::u16string decode(std::string_view bytes);
}
