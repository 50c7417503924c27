// Conversions between the UTF-16 of the host interface and the UTF-8 of
// files and the terminal. Invalid sequences become U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace utf {
std::u16string toUtf16(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);
}
