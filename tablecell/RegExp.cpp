// The pattern matcher: a recursive-descent compiler from the pattern syntax
// to a small instruction list, and a backtracking machine that runs it with
// an explicit stack on the heap. Interface: CRegExp::parse, CRegExp::match
// and matchGroups.
#include "tablecell/RegExp.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <utility>

namespace {

// Deeper nesting than this is refused rather than risking the C stack.
constexpr int kMaxNesting = 200;
// Steps of the machine for one match over all start positions: patterns like
// {a*a*b} backtrack polynomially (or worse) on long texts, and a field must
// not hang the host, so past this many steps the text does not match.
constexpr long kMaxSteps = 20000000;

// Each abbreviation: its letter, then the body compiled in its place.
constexpr std::u16string_view kAbbreviations[] = {
    u"a([a-zA-Z0-9])",           // a letter or digit
    u"b([ \t])",                 // a blank
    u"c([a-zA-Z])",              // a letter
    u"d([0-9])",                 // a digit
    u"h([0-9a-fA-F])",           // a hexadecimal digit
    u"n(\r|(\r?\n))",            // a line break
    u"q(\"[^\"]*\")|('[^']*')",  // a quoted text
    u"w([a-zA-Z]+)",             // a word
    u"z([0-9]+)",                // a whole number
};

enum Opcode {
    kChar,       // one given character
    kAny,        // any one character
    kSet,        // one character in (or not in) set x
    kSplit,      // go on at x; on failure at y
    kJump,       // go on at x
    kSave,       // capture slot x takes the position
    kLoopEnter,  // loop x remembers where this repetition starts
    kLoopCheck,  // fail when repetition x consumed nothing
    kBackRef,    // the current text of group x
    kEnd,        // the end of the text
    kNotBegin,   // the item up to kNotEnd must not match; go on at x
    kNotEnd,     // the forbidden item matched
    kMatch,      // the pattern matched
};

struct Instruction {
    Opcode op;
    int x = 0;
    int y = 0;
    char16_t c = 0;
};

struct CharSet {
    bool negated = false;
    std::vector<std::pair<char16_t, char16_t>> ranges;

    bool contains(char16_t c) const
    {
        bool in = false;
        for (const auto& [low, high] : ranges)
            if (c >= low && c <= high) {
                in = true;
                break;
            }
        return in != negated;
    }
};

enum NodeKind {
    kNodeChar,
    kNodeAny,
    kNodeSet,
    kNodeGroup,
    kNodeNot,
    kNodeBackRef,
    kNodeEnd,
    kNodeEmpty,
    kNodeAlternation,
    kNodeStar,
    kNodePlus,
    kNodeOptional
};

struct Node {
    explicit Node(NodeKind k) : kind(k) {}

    NodeKind kind;
    char16_t c = 0;
    int index = -1;  // set, capture group (-1: none) or referenced group
    bool lazy = false;
    bool nullable = false;  // can match an empty text, judged from the pattern
    std::vector<int> children;
};

// Backtracking stack entries.
enum EntryKind {
    kRetry,        // resume at index with position value
    kRestoreSlot,  // capture slot index had value
    kRestoreLoop,  // loop start index had value
    kBarrier,      // a forbidden item started here; go on at index if it fails
};

class Compiler {
public:
    Compiler(std::vector<Node>& nodes, std::vector<CharSet>& sets, int& groups)
        : m_nodes(nodes), m_sets(sets), m_groups(groups)
    {
    }

    // Compiles a whole pattern (or an abbreviation body) into a sequence node.
    int compile(std::u16string_view pattern, int& root)
    {
        m_pattern = pattern;
        m_pos = 0;
        root = sequence(m_depth);
        return m_error;
    }

    size_t position() const { return m_pos; }

private:
    bool atEnd() const { return m_pos >= m_pattern.size(); }
    char16_t current() const { return m_pattern[m_pos]; }

    int add(Node node)
    {
        m_nodes.push_back(std::move(node));
        return int(m_nodes.size() - 1);
    }

    int fail(int error)
    {
        if (!m_error)
            m_error = error;
        return add(Node(kNodeEmpty));
    }

    int sequence(int depth)
    {
        Node node(kNodeGroup);
        node.nullable = true;
        while (!m_error && !atEnd() && current() != u')' && current() != u']' && current() != u'}') {
            int child = alternation(depth);
            node.nullable = node.nullable && m_nodes[child].nullable;
            node.children.push_back(child);
        }
        // An empty group counts as one that cannot match an empty text.
        if (node.children.empty())
            node.nullable = false;
        return add(std::move(node));
    }

    int alternation(int depth)
    {
        int first = quantified(depth);
        if (m_error || atEnd() || current() != u'|')
            return first;
        Node node(kNodeAlternation);
        node.children.push_back(first);
        node.nullable = m_nodes[first].nullable;
        while (!m_error && !atEnd() && current() == u'|') {
            ++m_pos;
            int next = quantified(depth);
            node.nullable = node.nullable || m_nodes[next].nullable;
            node.children.push_back(next);
        }
        return add(std::move(node));
    }

    int quantified(int depth)
    {
        int item = this->item(depth);
        if (m_error || atEnd())
            return item;
        char16_t q = current();
        NodeKind kind = q == u'*' ? kNodeStar : q == u'+' ? kNodePlus : q == u'?' ? kNodeOptional : kNodeEmpty;
        if (kind == kNodeEmpty)
            return item;
        ++m_pos;
        Node node(kind);
        if (!atEnd() && current() == u'?') {
            node.lazy = true;
            ++m_pos;
        }
        bool itemNullable = m_nodes[item].nullable;
        if (kind != kNodeOptional && itemNullable)
            return fail(CRegExp::kEmptyRepeat);
        node.nullable = kind != kNodePlus || itemNullable;
        node.children.push_back(item);
        return add(std::move(node));
    }

    int item(int depth)
    {
        if (depth > kMaxNesting)
            return fail(CRegExp::kOutOfMemory);
        if (atEnd() || current() == u')' || current() == u']' || current() == u'}') {
            // An alternative left empty ("a|") matches the empty text.
            Node node(kNodeEmpty);
            node.nullable = true;
            return add(std::move(node));
        }
        char16_t c = m_pattern[m_pos++];
        switch (c) {
        case u'.': return add(Node(kNodeAny));
        case u'[': return set();
        case u'{':
        case u'(': {
            int group = c == u'{' ? m_groups++ : -1;
            int inner = sequence(depth + 1);
            if (m_error)
                return inner;
            if (atEnd() || current() != (c == u'{' ? u'}' : u')'))
                return fail(c == u'{' ? CRegExp::kMissingBrace : CRegExp::kMissingParen);
            ++m_pos;
            m_nodes[inner].index = group;
            return inner;
        }
        case u'!': {
            int inner = item(depth + 1);
            Node node(kNodeNot);
            node.nullable = m_nodes[inner].nullable;
            node.children.push_back(inner);
            return add(std::move(node));
        }
        case u'\\': return escape(depth);
        case u'$':
            if (m_pos == m_pattern.size()) {
                Node node(kNodeEnd);
                node.nullable = true;
                return add(std::move(node));
            }
            break;
        default: break;
        }
        Node node(kNodeChar);
        node.c = c;
        return add(std::move(node));
    }

    int escape(int depth)
    {
        if (atEnd()) {
            // A trailing backslash stands for itself.
            Node node(kNodeChar);
            node.c = u'\\';
            return add(std::move(node));
        }
        char16_t c = current();
        if (c >= u'0' && c <= u'9') {
            long group = 0;
            while (!atEnd() && current() >= u'0' && current() <= u'9') {
                group = std::min(group * 10 + (current() - u'0'), 1000000L);
                ++m_pos;
            }
            if (group >= m_groups)
                return fail(CRegExp::kUnknownGroup);
            Node node(kNodeBackRef);
            node.index = int(group);
            return add(std::move(node));
        }
        ++m_pos;
        for (std::u16string_view abbreviation : kAbbreviations) {
            if (abbreviation[0] != c)
                continue;
            Compiler body(m_nodes, m_sets, m_groups);
            body.m_depth = depth + 1;
            int root = -1;
            if (body.compile(abbreviation.substr(1), root) || body.position() != abbreviation.size() - 1)
                return fail(CRegExp::kBadAbbreviation);
            m_nodes[root].nullable = false;
            return root;
        }
        Node node(kNodeChar);
        node.c = c;
        return add(std::move(node));
    }

    int set()
    {
        CharSet charSet;
        if (!atEnd() && current() == u'^') {
            charSet.negated = true;
            ++m_pos;
        }
        if (!atEnd() && current() == u']')
            return fail(CRegExp::kEmptySet);
        for (;;) {
            if (atEnd())
                return fail(CRegExp::kBadSet);
            char16_t low = m_pattern[m_pos++];
            if (low == u']')
                break;
            if (low == u'\\') {
                if (atEnd())
                    return fail(CRegExp::kBadSet);
                low = m_pattern[m_pos++];
                if (low == u't')
                    low = u'\t';
            }
            char16_t high = low;
            if (!atEnd() && current() == u'-') {
                ++m_pos;
                if (atEnd() || current() == u']')
                    return fail(CRegExp::kBadSet);
                high = m_pattern[m_pos++];
                if (high < low)
                    return fail(CRegExp::kReversedRange);
            }
            charSet.ranges.emplace_back(low, high);
        }
        m_sets.push_back(std::move(charSet));
        Node node(kNodeSet);
        node.index = int(m_sets.size() - 1);
        return add(std::move(node));
    }

    std::vector<Node>& m_nodes;
    std::vector<CharSet>& m_sets;
    int& m_groups;
    std::u16string_view m_pattern;
    size_t m_pos = 0;
    int m_error = 0;
    int m_depth = 0;
};

class Emitter {
public:
    Emitter(const std::vector<Node>& nodes, std::vector<Instruction>& code) : m_nodes(nodes), m_code(code) {}

    int loops() const { return m_loops; }

    void emit(int index)
    {
        const Node& node = m_nodes[index];
        switch (node.kind) {
        case kNodeChar: m_code.push_back({kChar, 0, 0, node.c}); break;
        case kNodeAny: m_code.push_back({kAny}); break;
        case kNodeSet: m_code.push_back({kSet, node.index}); break;
        case kNodeBackRef: m_code.push_back({kBackRef, node.index}); break;
        case kNodeEnd: m_code.push_back({kEnd}); break;
        case kNodeEmpty: break;
        case kNodeGroup:
            if (node.index >= 0)
                m_code.push_back({kSave, 2 * node.index});
            for (int child : node.children)
                emit(child);
            if (node.index >= 0)
                m_code.push_back({kSave, 2 * node.index + 1});
            break;
        case kNodeNot: {
            size_t begin = here();
            m_code.push_back({kNotBegin});
            emit(node.children[0]);
            m_code.push_back({kNotEnd});
            m_code[begin].x = int(here());
            break;
        }
        case kNodeAlternation: {
            std::vector<size_t> exits;
            for (size_t i = 0; i + 1 < node.children.size(); ++i) {
                size_t split = here();
                m_code.push_back({kSplit, int(split + 1)});
                emit(node.children[i]);
                exits.push_back(here());
                m_code.push_back({kJump});
                m_code[split].y = int(here());
            }
            emit(node.children.back());
            for (size_t exit : exits)
                m_code[exit].x = int(here());
            break;
        }
        case kNodeOptional: {
            size_t split = here();
            m_code.push_back({kSplit});
            emit(node.children[0]);
            setBranches(split, split + 1, here(), node.lazy);
            break;
        }
        case kNodePlus: emit(node.children[0]); [[fallthrough]];
        case kNodeStar: {
            int loop = m_loops++;
            size_t split = here();
            m_code.push_back({kSplit});
            m_code.push_back({kLoopEnter, loop});
            emit(node.children[0]);
            m_code.push_back({kLoopCheck, loop});
            m_code.push_back({kJump, int(split)});
            setBranches(split, split + 1, here(), node.lazy);
            break;
        }
        }
    }

private:
    size_t here() const { return m_code.size(); }

    // Greedy tries the item first, lazy tries leaving it out first.
    void setBranches(size_t split, size_t item, size_t out, bool lazy)
    {
        m_code[split].x = int(lazy ? out : item);
        m_code[split].y = int(lazy ? item : out);
    }

    const std::vector<Node>& m_nodes;
    std::vector<Instruction>& m_code;
    int m_loops = 0;
};

}

namespace {
// Where prefix next stands in text from `from` on. The first unit is found
// with memchr on its low byte, which on little-endian machines only stands
// at even offsets in the units that hold it.
size_t findPrefix(std::u16string_view text, size_t from, std::u16string_view prefix)
{
    if constexpr (std::endian::native != std::endian::little)
        return text.find(prefix, from);
    const char* bytes = reinterpret_cast<const char*>(text.data());
    const size_t size = text.size() * 2;
    const int low = prefix[0] & 0xFF;
    for (size_t at = from * 2; at < size;) {
        const void* hit = std::memchr(bytes + at, low, size - at);
        if (!hit)
            return std::u16string_view::npos;
        size_t offset = size_t(static_cast<const char*>(hit) - bytes);
        at = offset + 1;
        if (offset % 2 == 0 && text.substr(offset / 2).starts_with(prefix))
            return offset / 2;
    }
    return std::u16string_view::npos;
}
}

struct CRegExp::Program {
    std::vector<Instruction> code;
    std::vector<CharSet> sets;
    int groups = 0;
    int loops = 0;
    bool anchored = false;
    // The characters every match begins with, so a search can skip to them.
    std::u16string prefix;
};

CRegExp::CRegExp() = default;
CRegExp::~CRegExp() = default;

size_t CRegExp::groupCount() const { return m_program ? size_t(m_program->groups) : 0; }

int CRegExp::parse(const char16_t* pattern)
{
    if (!pattern) {
        m_program.reset();
        return kNoPattern;
    }
    return parse(std::u16string_view(pattern));
}

int CRegExp::parse(std::u16string_view pattern)
{
    m_program.reset();
    try {
        auto program = std::make_unique<Program>();
        if (!pattern.empty() && pattern[0] == u'^') {
            program->anchored = true;
            pattern.remove_prefix(1);
        }
        std::vector<Node> nodes;
        Compiler compiler(nodes, program->sets, program->groups);
        int root = -1;
        if (int error = compiler.compile(pattern, root))
            return error;
        Emitter emitter(nodes, program->code);
        emitter.emit(root);
        program->code.push_back({kMatch});
        program->loops = emitter.loops();
        // Captures opening at the start take no text; the characters after
        // them, before any choice, must stand where a match starts.
        size_t pc = 0;
        while (program->code[pc].op == kSave)
            ++pc;
        while (program->code[pc].op == kChar)
            program->prefix += program->code[pc++].c;
        m_program = std::move(program);
        return kOk;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

bool CRegExpMatchContext::group(size_t index, size_t& start, size_t& end) const
{
    if (index >= groupCount() || m_slots[2 * index] < 0 || m_slots[2 * index + 1] < 0)
        return false;
    start = size_t(m_slots[2 * index]);
    end = size_t(m_slots[2 * index + 1]);
    return true;
}

// One match attempt after another, one start position at a time: step runs
// one instruction, backtrack returns to the latest choice. The step budget
// spans all start positions.
class CRegExp::Machine {
public:
    enum Outcome { kMatched, kNoMatch, kOutOfSteps };

    Machine(const Program& program, std::u16string_view text, CRegExpMatchContext& context)
        : m_program(program),
          m_text(text),
          m_length(std::ptrdiff_t(text.size())),
          m_slots(context.m_slots),
          m_loopStarts(context.m_loopStarts),
          m_stack(context.m_stack)
    {
        m_stack.clear();
        m_stack.reserve(256);
    }

    // Flattened: the machine's state stays in registers only when step and
    // backtrack are inlined here (unflattened, short matches ran 2x slower).
    [[gnu::flatten]] Outcome runFrom(std::ptrdiff_t start)
    {
        m_slots.assign(2 * size_t(m_program.groups), -1);
        m_loopStarts.assign(size_t(m_program.loops), -1);
        m_stack.clear();
        Where at{0, start};
        for (;;) {
            if (--m_stepsLeft < 0)
                return kOutOfSteps;
            switch (step(at)) {
            case kStepOn: break;
            case kStepMatched: return kMatched;
            case kStepFailed:
                if (!backtrack(at))
                    return kNoMatch;
                break;
            }
        }
    }

private:
    using Entry = CRegExpMatchContext::Entry;
    enum Step { kStepOn, kStepFailed, kStepMatched };
    // The instruction to run and the text position it looks at.
    struct Where {
        size_t pc;
        std::ptrdiff_t pos;
    };

    // Consumes one text unit when test holds for it.
    template <typename Test> Step consume(Where& at, Test test)
    {
        bool ok = at.pos < m_length && test(m_text[size_t(at.pos)]);
        ++at.pos, ++at.pc;
        return ok ? kStepOn : kStepFailed;
    }

    // Remembers a value to put back when the machine backtracks past here.
    void setUndoably(Where& at, EntryKind kind, std::vector<std::ptrdiff_t>& values, int index)
    {
        m_stack.push_back({kind, index, values[size_t(index)]});
        values[size_t(index)] = at.pos;
        ++at.pc;
    }

    Step step(Where& at)
    {
        const Instruction& in = m_program.code[at.pc];
        switch (in.op) {
        case kChar: return consume(at, [&](char16_t c) { return c == in.c; });
        case kAny: return consume(at, [](char16_t) { return true; });
        case kSet: return consume(at, [&](char16_t c) { return m_program.sets[size_t(in.x)].contains(c); });
        case kSplit:
            m_stack.push_back({kRetry, in.y, at.pos});
            at.pc = size_t(in.x);
            return kStepOn;
        case kJump: at.pc = size_t(in.x); return kStepOn;
        case kSave: setUndoably(at, kRestoreSlot, m_slots, in.x); return kStepOn;
        case kLoopEnter: setUndoably(at, kRestoreLoop, m_loopStarts, in.x); return kStepOn;
        case kLoopCheck: ++at.pc; return m_loopStarts[size_t(in.x)] != at.pos ? kStepOn : kStepFailed;
        case kBackRef: ++at.pc; return backReference(at, in.x) ? kStepOn : kStepFailed;
        case kEnd: ++at.pc; return at.pos == m_length ? kStepOn : kStepFailed;
        case kNotBegin:
            m_stack.push_back({kBarrier, in.x, at.pos});
            ++at.pc;
            return kStepOn;
        case kNotEnd:
            // The forbidden item matched: undo it down to its barrier, then fail.
            while (!m_stack.empty()) {
                Entry entry = m_stack.back();
                m_stack.pop_back();
                if (entry.kind == kBarrier)
                    break;
                undo(entry);
            }
            return kStepFailed;
        case kMatch: return kStepMatched;
        }
        return kStepFailed;
    }

    // The text of group `group` again; a group that took nothing matches.
    bool backReference(Where& at, int group)
    {
        std::ptrdiff_t from = m_slots[2 * size_t(group)], to = m_slots[2 * size_t(group) + 1];
        if (from < 0 || to <= from)
            return true;
        std::u16string_view captured = m_text.substr(size_t(from), size_t(to - from));
        bool ok = m_text.substr(size_t(at.pos)).starts_with(captured);
        at.pos += to - from;
        return ok;
    }

    void undo(const Entry& entry)
    {
        if (entry.kind == kRestoreSlot)
            m_slots[size_t(entry.index)] = entry.value;
        else if (entry.kind == kRestoreLoop)
            m_loopStarts[size_t(entry.index)] = entry.value;
    }

    // Back to the latest choice, undoing captures on the way; false when no
    // choice is left. A retry, or a forbidden item that failed, goes on after it.
    bool backtrack(Where& at)
    {
        while (!m_stack.empty()) {
            Entry entry = m_stack.back();
            m_stack.pop_back();
            if (entry.kind == kRetry || entry.kind == kBarrier) {
                at.pc = size_t(entry.index);
                at.pos = entry.value;
                return true;
            }
            undo(entry);
        }
        return false;
    }

    const Program& m_program;
    const std::u16string_view m_text;
    const std::ptrdiff_t m_length;
    std::vector<std::ptrdiff_t>& m_slots;
    std::vector<std::ptrdiff_t>& m_loopStarts;
    std::vector<Entry>& m_stack;
    long m_stepsLeft = kMaxSteps;
};

bool CRegExp::match(std::u16string_view text, CRegExpMatchContext& context) const
{
    if (!m_program)
        return false;
    const Program& program = *m_program;
    Machine machine(program, text, context);
    const std::u16string_view prefix = program.prefix;
    for (std::ptrdiff_t start = 0; start < std::ptrdiff_t(text.size()); ++start) {
        if (program.anchored && start > 0)
            break;
        if (!prefix.empty() && !program.anchored) {
            // No match starts before the next place the prefix stands.
            size_t next = findPrefix(text, size_t(start), prefix);
            if (next == std::u16string_view::npos)
                break;
            start = std::ptrdiff_t(next);
        }
        switch (machine.runFrom(start)) {
        case Machine::kMatched: return true;
        case Machine::kOutOfSteps: return false;
        case Machine::kNoMatch: break;
        }
    }
    return false;
}

namespace {
// The few patterns the fields use, compiled once: a pass over many table
// references would otherwise compile the same pattern for every one. Null
// for a pattern that does not compile.
const CRegExp* compiledPattern(std::u16string_view pattern)
{
    struct Compiled {
        std::u16string pattern;
        std::unique_ptr<CRegExp> regExp;
        bool ok = false;
    };
    static Compiled kept[8];
    static size_t next = 0;
    for (const Compiled& c : kept)
        if (c.regExp && c.pattern == pattern)
            return c.ok ? c.regExp.get() : nullptr;
    Compiled& c = kept[next++ % std::size(kept)];
    c.pattern = pattern;
    c.regExp = std::make_unique<CRegExp>();
    c.ok = c.regExp->parse(pattern) == CRegExp::kOk;
    return c.ok ? c.regExp.get() : nullptr;
}
}

bool matchGroups(std::u16string_view text, std::u16string_view pattern, std::vector<std::u16string>& groups)
{
    if (text.empty() || pattern.empty())
        return false;
    groups.clear();
    const CRegExp* compiled = compiledPattern(pattern);
    if (!compiled)
        return false;
    const CRegExp& regExp = *compiled;
    CRegExpMatchContext context;
    if (!regExp.match(text, context))
        return false;
    for (size_t i = 0; i < regExp.groupCount(); ++i) {
        size_t start = 0, end = 0;
        if (context.group(i, start, end) && end > start)
            groups.emplace_back(text.substr(start, end - start));
        else
            groups.emplace_back();
    }
    return true;
}
