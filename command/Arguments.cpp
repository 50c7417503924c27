// Argument parsing; see the header.
#include "command/Arguments.h"

#include "command/Session.h"

#include <iostream>

std::vector<std::string> inputsOf(const std::string& word)
{
    if (word != "-")
        return {word};
    std::vector<std::string> lines;
    for (std::string line; std::getline(std::cin, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

Arguments parseArguments(const std::string& command, const std::vector<std::string>& words,
                         const std::set<std::string>& flagOptions, const std::set<std::string>& valueOptions)
{
    Arguments args;
    bool onlyPositional = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (onlyPositional || w == "-" || w.size() < 2 || w[0] != '-') {
            args.positional.push_back(w);
            continue;
        }
        if (w == "--") {
            onlyPositional = true;
            continue;
        }
        std::string name = w, inlineValue;
        bool hasInline = false;
        if (auto eq = w.find('='); eq != std::string::npos && w.starts_with("--")) {
            name = w.substr(0, eq);
            inlineValue = w.substr(eq + 1);
            hasInline = true;
        }
        if (flagOptions.count(name) && !hasInline) {
            args.flags.insert(name);
        } else if (valueOptions.count(name)) {
            if (!hasInline) {
                if (i + 1 >= words.size())
                    throw UsageError("tessly " + command + ": " + name + " needs a value; see tessly " + command + " --help");
                inlineValue = words[++i];
            }
            args.values[name] = inlineValue;
        } else {
            throw UsageError("tessly " + command + ": unknown option " + name + "; see tessly " + command + " --help");
        }
    }
    return args;
}
