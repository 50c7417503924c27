// Standard output of the command: one buffered writer for everything a
// command prints, written in large pieces when output goes to a file or a
// pipe, and line by line where someone watches it (a terminal, or --watch).
#pragma once

#include <string>
#include <string_view>

namespace output {

void write(std::string_view text);
inline void line(std::string_view text)
{
    write(text);
    write("\n");
}
// The end of one item (a field, a drawing): shown now when a person watches.
void itemDone();
// Everything so far, now; also done at exit.
void flush();
// Every item shows as soon as it is done (--watch).
void setLive(bool live);

}
