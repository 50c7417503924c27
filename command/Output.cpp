// The command's output writer; see the header.
#include "command/Output.h"

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

namespace output {

namespace {
constexpr size_t kChunk = 1 << 16;

struct Writer {
    std::string buffer;
    bool live = ::isatty(STDOUT_FILENO) != 0;
    bool broken = false;

    Writer() { std::atexit([] { output::flush(); }); }

    void drain()
    {
        put(buffer);
        buffer.clear();
    }

    void put(std::string_view text)
    {
        size_t at = 0;
        while (at < text.size() && !broken) {
            ssize_t n = ::write(STDOUT_FILENO, text.data() + at, text.size() - at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                broken = true; // a closed pipe: the rest has no reader
            else
                at += static_cast<size_t>(n);
        }
    }
};

// Never destroyed: the flush at exit runs after static destructors may have.
Writer& writer()
{
    static Writer* w = new Writer;
    return *w;
}
}

void write(std::string_view text)
{
    Writer& w = writer();
    if (text.size() >= kChunk) {
        // A large piece goes out as it is, after what waits before it.
        w.drain();
        w.put(text);
        return;
    }
    w.buffer.append(text);
    if (w.buffer.size() >= kChunk)
        w.drain();
}

void itemDone()
{
    if (writer().live)
        writer().drain();
}

void flush() { writer().drain(); }

void setLive(bool live) { writer().live = live || ::isatty(STDOUT_FILENO) != 0; }

}
