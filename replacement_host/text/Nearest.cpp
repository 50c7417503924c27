// Nearest known word; see the header.
#include "replacement_host/text/Nearest.h"

#include <algorithm>
#include <cctype>

namespace nearestword {

namespace {
size_t distance(const std::string& a, const std::string& b)
{
    // Damerau-Levenshtein (adjacent swaps count once): "Lenght" is one step from "Length".
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t cost = lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && lower(a[i - 1]) == lower(b[j - 2]) && lower(a[i - 2]) == lower(b[j - 1]))
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}
}

std::string nearest(const std::string& word, const std::vector<std::string>& candidates)
{
    std::string best;
    size_t bestDistance = std::min<size_t>(3, std::max<size_t>(1, word.size() / 3)) + 1;
    for (const std::string& c : candidates) {
        size_t d = distance(word, c);
        if (d < bestDistance && d > 0) {
            best = c;
            bestDistance = d;
        }
    }
    return best;
}

std::string suggestion(const std::string& word, const std::vector<std::string>& candidates)
{
    std::string n = nearest(word, candidates);
    return n.empty() ? std::string() : " (did you mean " + n + "?)";
}

}
