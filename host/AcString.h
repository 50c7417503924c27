// AcString: the host's owned text. A UTF-16 string with the host's accessors.
#pragma once

#include "host/adesk.h"

#include <string>

class AcString : public std::u16string {
public:
    using std::u16string::u16string;
    AcString() = default;
    AcString(const std::u16string& s) : std::u16string(s) {}
    AcString(std::u16string&& s) : std::u16string(std::move(s)) {}

    const ACHAR* kwszPtr() const { return c_str(); }
    bool isEmpty() const { return empty(); }
};
