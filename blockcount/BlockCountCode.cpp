// Taking the block count field code apart; see the header.
#include "blockcount/BlockCountCode.h"

#include "blockcount/LeadingNumber.h"
#include "util/CDelimTokenizer.h"
#include "util/TextCase.h"

#include <vector>

namespace {

constexpr auto isWhite = textcase::isBlank;

// Drops leading characters that satisfy lead and trailing ones that satisfy trail.
template <class Lead, class Trail> std::u16string_view trim(std::u16string_view s, Lead lead, Trail trail)
{
    while (!s.empty() && lead(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && trail(s.back()))
        s.remove_suffix(1);
    return s;
}

// The option segments of a code: the pieces after each backslash. A code is
// split once however many options are read from it.
class OptionSegments {
public:
    explicit OptionSegments(std::u16string_view text)
    {
        if (text.empty())
            return;
        CDelimTokenizer segments(text, u"\\");
        std::u16string_view segment;
        // Whatever stands before the first backslash is never an option.
        if (text.front() != u'\\')
            segments.next(segment);
        while (segments.next(segment))
            m_segments.push_back(segment);
    }
    const std::vector<std::u16string_view>& segments() const { return m_segments; }

private:
    std::vector<std::u16string_view> m_segments;
};

void optionValue(const OptionSegments& options, std::u16string_view optionName, AcString& value)
{
    while (!optionName.empty() && optionName.front() == u'\\')
        optionName.remove_prefix(1);
    if (optionName.empty())
        return;
    for (std::u16string_view segment : options.segments()) {
        if (segment.size() <= optionName.size() || !textcase::startsWithIgnoreCase(segment, optionName))
            continue;
        std::u16string_view rest = segment.substr(optionName.size());
        rest = trim(rest, isWhite, isWhite);
        auto quote = [](char16_t c) { return c == u'"'; };
        value = AcString(trim(rest, quote, quote));
        return;
    }
}

void appendPieces(const AcString& value, CStringArrayEx& list)
{
    CDelimTokenizer pieces(value, u";");
    std::u16string piece;
    while (pieces.next(piece))
        list.push_back(piece);
}

}

void getOptionValue(std::u16string_view text, std::u16string_view optionName, AcString& value)
{
    optionValue(OptionSegments(text), optionName, value);
}

void getOptionList(std::u16string_view text, std::u16string_view optionName, CStringArrayEx& list)
{
    AcString value;
    getOptionValue(text, optionName, value);
    appendPieces(value, list);
}

BlockCountRequest parseBlockCountCode(std::u16string_view code)
{
    BlockCountRequest r;
    std::u16string_view t = trim(
        code, [](char16_t c) { return c == u' ' || c == u'"'; }, isWhite);
    if (t.empty())
        return r;
    r.empty = false;

    // Names end at the first double quote, so they need quotes once options follow.
    CDelimTokenizer names(t.substr(0, t.find(u'"')), u";");
    std::u16string name;
    while (names.next(name))
        r.blockNames.push_back(name);

    auto spaceOrParen = [](char16_t c) { return c == u' ' || c == u'(' || c == u')'; };
    AcString windowText, spaceText;
    const OptionSegments options(t);
    optionValue(options, u"\\Window", windowText);
    optionValue(options, u"\\Space", spaceText);
    std::u16string_view window = trim(std::u16string_view(windowText), spaceOrParen, spaceOrParen);
    std::u16string_view space = trim(std::u16string_view(spaceText), spaceOrParen, spaceOrParen);

    std::u16string_view cornerA, cornerB;
    size_t colon = window.find(u':');
    if (!window.empty() && colon != std::u16string_view::npos && colon > 0) {
        cornerA = window.substr(0, colon);
        cornerB = window.substr(colon + 1);
    }

    AcString layers;
    optionValue(options, u"\\layer", layers);
    appendPieces(layers, r.layerNames);
    optionValue(options, u"\\tag", r.tag);
    optionValue(options, u"\\op", r.op);
    optionValue(options, u"\\value", r.value);

    AcGePoint3d a, b;
    if (!window.empty() && parseWindowPoint(cornerA, a) && parseWindowPoint(cornerB, b) && !space.empty()) {
        r.window = AcDbExtents({std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)},
                               {std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)});
        r.space = AcString(space);
    }
    r.nested = t.find(u"\\nested") != std::u16string_view::npos;
    return r;
}

bool parseWindowPoint(std::u16string_view text, AcGePoint3d& point)
{
    // In this order, so a space before a parenthesis keeps the parenthesis.
    while (!text.empty() && text.front() == u'(')
        text.remove_prefix(1);
    while (!text.empty() && text.front() == u' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == u')')
        text.remove_suffix(1);
    while (!text.empty() && text.back() == u' ')
        text.remove_suffix(1);
    CDelimTokenizer pieces(text, u",");
    std::u16string piece;
    double xyz[3];
    for (double& c : xyz) {
        if (!pieces.next(piece))
            return false;
        c = leadingNumber(piece);
    }
    point = AcGePoint3d(xyz[0], xyz[1], xyz[2]);
    return true;
}
