// leadingNumber: see the header. The digits are checked here and converted by
// std::from_chars, which never looks at the locale.
#include "blockcount/LeadingNumber.h"

#include <charconv>
#include <cmath>
#include <string>

namespace {

bool isWhite(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

}

double leadingNumber(std::u16string_view text)
{
    size_t i = 0;
    while (i < text.size() && isWhite(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';

    // The mantissa, and how many places its first significant digit stands
    // before the point (negative: after it), to tell overflow from underflow.
    std::string digits;
    long magnitude = 0;
    bool seenPoint = false, significant = false, anyDigit = false;
    for (; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c == u'.' && !seenPoint) {
            seenPoint = true;
            digits += '.';
            continue;
        }
        if (!isDigit(c))
            break;
        anyDigit = true;
        significant = significant || c != u'0';
        if (!seenPoint && significant)
            ++magnitude;
        else if (seenPoint && !significant)
            --magnitude;
        digits += static_cast<char>(c);
    }
    if (!anyDigit)
        return 0.0;

    // An exponent counts only with at least one digit.
    long exponent = 0;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        size_t j = i + 1;
        bool expNegative = false;
        if (j < text.size() && (text[j] == u'+' || text[j] == u'-'))
            expNegative = text[j++] == u'-';
        if (j < text.size() && isDigit(text[j])) {
            for (; j < text.size() && isDigit(text[j]); ++j)
                exponent = std::min(exponent * 10 + (text[j] - u'0'), 100000L);
            if (expNegative)
                exponent = -exponent;
            digits += 'e' + std::to_string(exponent);
        }
    }

    double value = 0.0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range)
        value = significant && magnitude + exponent > 0 ? HUGE_VAL : 0.0;
    return negative ? -value : value;
}
