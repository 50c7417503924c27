// The tokenizer: splits an expression text into operator and operand tokens.
// Quoted texts become string constants (U+0013 + the text), and a sign joins
// the number after it when it stands in operand position. Interface:
// CExpression::Tokenize.
#include "expr/CExpression.h"

#include "util/TextCase.h"

namespace {

constexpr auto isTrimmedSpace = textcase::isBlank;

using textcase::isDigit;

class Tokenizer {
public:
    explicit Tokenizer(CExpression::TokenList& tokens) : m_tokens(tokens) {}

    void run(std::u16string_view text)
    {
        size_t first = 0, last = text.size();
        while (first < last && isTrimmedSpace(text[first]))
            ++first;
        while (last > first && isTrimmedSpace(text[last - 1]))
            --last;
        text = text.substr(first, last - first);

        int depth = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            char16_t c = text[i];
            switch (c) {
            case u' ': flush(); break;
            case u'"':
            case u'\'': {
                flush();
                size_t close = text.find(c, i + 1);
                if (close == std::u16string_view::npos)
                    throw CExpressionError(u"Unterminated string constant");
                std::u16string constant(1, kStringMarker);
                constant.append(text.substr(i + 1, close - i - 1));
                m_tokens.push_back(std::move(constant));
                i = close;
                break;
            }
            case u'%':
            case u'&':
            case u'(':
            case u')':
            case u'*':
            case u',':
            case u'/':
            case u'=':
            case u'^':
            case u'|':
                flush();
                m_tokens.emplace_back(1, c);
                if (c == u'(')
                    ++depth;
                else if (c == u')')
                    --depth;
                break;
            case u'<':
                flush();
                if (i + 1 < text.size() && (text[i + 1] == u'=' || text[i + 1] == u'>')) {
                    m_tokens.push_back(std::u16string{c, text[i + 1]});
                    ++i;
                } else {
                    m_tokens.emplace_back(1, c);
                }
                break;
            case u'>':
                flush();
                if (i + 1 < text.size() && text[i + 1] == u'=') {
                    m_tokens.push_back(u">=");
                    ++i;
                } else {
                    m_tokens.emplace_back(1, c);
                }
                break;
            case u'+':
            case u'-':
                flush();
                if (i == 0 ||
                    (followsOperator() && i + 1 < text.size() && (isDigit(text[i + 1]) || text[i + 1] == u'(')))
                    m_accumulator += c;
                else
                    m_tokens.emplace_back(1, c);
                break;
            default: m_accumulator += c; break;
            }
        }
        if (depth > 0)
            throw CExpressionError(u"Unbalanced parenthesis.");
        flush();
    }

private:
    void flush()
    {
        if (!m_accumulator.empty())
            m_tokens.push_back(std::move(m_accumulator));
        m_accumulator.clear();
    }

    // Whether the last token leaves the next one in operand position.
    bool followsOperator() const
    {
        std::u16string_view last = m_tokens.empty() ? std::u16string_view() : m_tokens.back();
        return CExpression::IsInList(CExpression::kArithmeticOperators, last) ||
            CExpression::IsInList(CExpression::kComparisonOperators, last) || last == u"(" || last == u",";
    }

    CExpression::TokenList& m_tokens;
    std::u16string m_accumulator;
};

}

void CExpression::Tokenize(const std::u16string& text, TokenList& tokens) { Tokenizer(tokens).run(text); }
