// CDelimTokenizer: see the header. The position stays on the delimiter that
// ended the last item, so the next call starts by skipping it.
#include "util/CDelimTokenizer.h"

bool CDelimTokenizer::next(std::u16string_view& item)
{
    while (m_pos < m_text.size() && isDelim(m_text[m_pos]))
        ++m_pos;
    if (m_pos >= m_text.size())
        return false;
    size_t start = m_pos;
    while (m_pos < m_text.size() && !isDelim(m_text[m_pos]))
        ++m_pos;
    item = m_text.substr(start, m_pos - start);
    return true;
}

bool CDelimTokenizer::next(std::u16string& item)
{
    std::u16string_view view;
    if (!next(view))
        return false;
    item.assign(view);
    return true;
}
