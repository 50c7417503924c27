// "Did you mean ...?": the known word nearest to a misspelt one, by edit
// distance ignoring letter case. One interface: nearest().
#pragma once

#include <string>
#include <vector>

namespace nearestword {

// The candidate closest to word, or empty when none is close enough to be
// what the user meant (at most a third of the word's letters differ, and at
// most 3).
std::string nearest(const std::string& word, const std::vector<std::string>& candidates);

// " (did you mean X?)" for the nearest candidate, or empty.
std::string suggestion(const std::string& word, const std::vector<std::string>& candidates);

}
