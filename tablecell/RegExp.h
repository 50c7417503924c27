// CRegExp: the backtracking pattern matcher that picks references out of
// field texts. Its syntax is its own: {..} captures, (..) groups, !item
// forbids an item, \1 refers back, \d and friends abbreviate common sets.
// A pattern is compiled once with parse and matched with match; matchGroups
// does both and hands back the captured texts.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CRegExp;

// The state of one match: the capture positions and the backtracking stack,
// which lives on the heap so that long texts cannot exhaust the C stack.
class CRegExpMatchContext {
public:
    // The start and end of a capture group; false while the group has taken
    // no part in the match.
    bool group(size_t index, size_t& start, size_t& end) const;
    size_t groupCount() const { return m_slots.size() / 2; }

private:
    friend class CRegExp;
    struct Entry {
        int kind;
        int index;
        std::ptrdiff_t value;
    };
    std::vector<std::ptrdiff_t> m_slots;
    std::vector<std::ptrdiff_t> m_loopStarts;
    std::vector<Entry> m_stack;
};

class CRegExp {
public:
    // Compile errors; 0 is success.
    enum ParseError {
        kOk = 0,               // compiled
        kOutOfMemory = 1,      // no room for the program (or nesting too deep)
        kMissingBrace = 2,     // "{" without "}"
        kMissingParen = 3,     // "(" without ")"
        kBadSet = 4,           // "[" without "]", or a range without its end
        kBadAbbreviation = 5,  // an abbreviation's body failed to compile
        kEmptySet = 6,         // "[]" or "[^]"
        kUnknownGroup = 7,     // back reference to a group not opened yet
        kReversedRange = 8,    // a range whose end is below its start
        kEmptyRepeat = 9,      // "*" or "+" on an item that can match nothing
        kNoPattern = 10,       // no pattern at all
    };

    CRegExp();
    ~CRegExp();
    CRegExp(const CRegExp&) = delete;
    CRegExp& operator=(const CRegExp&) = delete;

    int parse(const char16_t* pattern);
    int parse(std::u16string_view pattern);
    bool match(std::u16string_view text, CRegExpMatchContext& context) const;
    size_t groupCount() const;

private:
    struct Program;
    class Machine;
    std::unique_ptr<Program> m_program;
};

// Compiles the pattern and matches it against the text. On a match the
// groups receive the text of every capture group in order (empty for a group
// that took no part). An empty text or pattern gives false and leaves the
// groups alone; otherwise they are cleared first.
bool matchGroups(std::u16string_view text, std::u16string_view pattern, std::vector<std::u16string>& groups);
