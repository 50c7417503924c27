// CDelimTokenizer: splits a text into the non-empty runs between delimiter
// characters. Runs of delimiters count as one and delimiters at either end are
// ignored; items are never trimmed. Used wherever a field code holds a list.
// The tokenizer looks into the text it is given, which must outlive it.
#pragma once

#include <string>
#include <string_view>

class CDelimTokenizer {
public:
    CDelimTokenizer(std::u16string_view text, std::u16string_view delimiters) : m_text(text), m_delims(delimiters) {}

    // Gives the next item, or false at the end of the text.
    bool next(std::u16string& item);
    // The same as a view into the text.
    bool next(std::u16string_view& item);

private:
    bool isDelim(char16_t c) const { return m_delims.find(c) != std::u16string_view::npos; }

    std::u16string_view m_text;
    std::u16string_view m_delims;
    size_t m_pos = 0;
};
