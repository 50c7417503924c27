// Where the host's command line goes. The command prints it on standard
// error; tests catch it.
#pragma once

#include <functional>
#include <string_view>

namespace commandline {
using Sink = std::function<void(std::u16string_view)>;
// Gives the sink that was in place.
Sink setSink(Sink sink);
}
