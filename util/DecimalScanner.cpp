// scanDecimal: see the header. The characters are checked here and converted
// by std::from_chars, which is exact and never looks at the locale.
#include "util/DecimalScanner.h"

#include "util/TextCase.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

using textcase::isDigit;

DecimalScan scanDecimal(std::u16string_view text)
{
    size_t i = 0;
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
    DecimalScan scan;
    if (!anyDigit) {
        scan.value = negative ? -0.0 : 0.0;
        return scan;
    }

    // Exponents past any double's range are clamped: the result is the same.
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
            i = j;
        }
    }
    scan.length = i;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), scan.value);
    (void)end;
    if (ec == std::errc::result_out_of_range)
        scan.value = significant && magnitude + exponent > 0 ? HUGE_VAL : 0.0;
    if (negative)
        scan.value = -scan.value;
    return scan;
}
