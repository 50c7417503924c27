// CStringStack: the stack of texts that the postfix conversion and the
// evaluation use, one local instance per pass. Push adds on top, pop removes
// and gives the top, peek shows the top (empty text when the stack is empty).
#pragma once

#include <string>
#include <string_view>
#include <vector>

class CStringStack {
public:
    void Push(std::u16string text) { m_items.push_back(std::move(text)); }
    // Callers check Count() first; popping an empty stack is a programming error.
    std::u16string Pop()
    {
        std::u16string top = std::move(m_items.back());
        m_items.pop_back();
        return top;
    }
    // A view of the top, valid until the next push or pop: the conversion
    // looks at the top far more often than it takes it.
    std::u16string_view Peek() const { return m_items.empty() ? std::u16string_view() : m_items.back(); }
    size_t Count() const { return m_items.size(); }
    bool IsEmpty() const { return m_items.empty(); }

private:
    std::vector<std::u16string> m_items;
};
