// The host's progress callback for evaluation passes: the command uses it
// to show how far a long pass has come. Called after each top-level field.
#pragma once

#include <cstddef>
#include <functional>

namespace fieldprogress {
using Callback = std::function<void(size_t done, size_t total)>;
// An empty callback turns reporting off.
void set(Callback callback);
void report(size_t done, size_t total);
}

// The same for reading a large drawing file: bytes read of the file's size.
namespace readprogress {
using Callback = std::function<void(size_t done, size_t total)>;
void set(Callback callback);
void report(size_t done, size_t total);
}
