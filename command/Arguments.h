// Command-line arguments of a subcommand: positional words and options,
// each option either a flag or taking one value. "-" is a positional word.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::set<std::string> flags;

    bool has(const std::string& option) const { return flags.count(option) || values.count(option); }
    std::string value(const std::string& option, const std::string& fallback = {}) const
    {
        auto it = values.find(option);
        return it == values.end() ? fallback : it->second;
    }
};

// The word itself, or for "-" every line of standard input (without a
// carriage return before the line feed).
std::vector<std::string> inputsOf(const std::string& word);

// Throws UsageError for an unknown option or a missing value.
Arguments parseArguments(const std::string& command, const std::vector<std::string>& words,
                         const std::set<std::string>& flagOptions, const std::set<std::string>& valueOptions);

// Throws UsageError, with the nearest id, for an id no evaluator has.
void checkEvaluatorIds(const std::set<std::string>& ids);
