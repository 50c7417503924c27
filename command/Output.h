// Standard output of the command: one buffered writer for everything a
// command prints, written in large pieces when output goes to a file or a
// pipe, and line by line where someone watches it (a terminal, or --watch).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace output {

namespace detail {
// The bytes not yet written; write() appends to them in line while they fit,
// since a report is made of many short pieces.
struct Pending {
    char* at;
    char* end;
};
extern Pending pending;
void writeSlow(std::string_view text);
}

// In line wherever it is called: most pieces are short literals, whose
// copy then costs a few moves.
[[gnu::always_inline]] inline void write(std::string_view text)
{
    detail::Pending& p = detail::pending;
    if (text.size() < static_cast<size_t>(p.end - p.at)) {
        std::char_traits<char>::copy(p.at, text.data(), text.size());
        p.at += text.size();
        return;
    }
    detail::writeSlow(text);
}
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

// How text is escaped on its way out.
enum class Escape {
    kNone,
    kTable,  // newline, return and tab as \n, \r and \t
    kCsv,    // double quotes doubled (the caller writes the quotes around)
    kJson,   // inside a JSON string, as nlohmann::json writes it
};
// Host text (UTF-16) as UTF-8, converted straight into the output, so a
// long value is never copied whole; a lone surrogate shows as U+FFFD.
void text(std::u16string_view text, Escape escape = Escape::kNone);
// UTF-8 text, escaped.
void text(std::string_view utf8, Escape escape);
// A JSON string, quotes included, written as nlohmann::json dumps it (bytes
// that are not UTF-8 as U+FFFD).
void jsonString(std::u16string_view text);
void jsonString(std::string_view utf8);
// What jsonString writes between the quotes, as a string to keep (for
// short texts written many times).
std::string jsonEscaped(std::u16string_view text);
// JSON numbers as nlohmann::json dumps them: shortest round trip, "null"
// for what is not finite.
void jsonNumber(double value);
void jsonNumber(long long value);

}
