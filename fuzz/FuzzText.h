// Fuzz input as module text: the bytes decoded as UTF-8, so seeds stay
// readable and every UTF-16 unit (surrogates too, through U+FFFD and
// three-byte forms) can still be reached.
#pragma once

#include "util/Utf8.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline std::u16string fuzzText(const uint8_t* data, size_t size)
{
    return utf8::decode(std::string_view(reinterpret_cast<const char*>(data), size));
}
