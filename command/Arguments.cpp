// Argument parsing; see the header.
#include "command/Arguments.h"

#include "command/Session.h"
#include "replacement_host/text/Nearest.h"

#include <algorithm>
#include <cctype>
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
        if (flagOptions.count(name) && hasInline) {
            throw UsageError("tessly " + command + ": " + name + " takes no value; give " + name + " alone");
        } else if (flagOptions.count(name)) {
            args.flags.insert(name);
        } else if (valueOptions.count(name)) {
            if (!hasInline) {
                if (i + 1 >= words.size())
                    throw UsageError("tessly " + command + ": " + name + " needs a value; see tessly " + command +
                                     " --help");
                inlineValue = words[++i];
            }
            args.values[name] = inlineValue;
        } else {
            std::vector<std::string> known(flagOptions.begin(), flagOptions.end());
            known.insert(known.end(), valueOptions.begin(), valueOptions.end());
            throw UsageError("tessly " + command + ": unknown option " + name + nearestword::suggestion(name, known) +
                             "; see tessly " + command + " --help");
        }
    }
    return args;
}

void checkEvaluatorIds(const std::set<std::string>& ids)
{
    static const std::vector<std::string> known{"AcLength",  "AcArea",    "AcBlockCount", "TextField",
                                                "TableCell", "ExcelCell", "TsExpr",       "AcObjProp"};
    for (const std::string& id : ids) {
        bool found = false;
        for (const std::string& k : known)
            found |=
                k.size() == id.size() && std::equal(k.begin(), k.end(), id.begin(), [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                });
        if (!found)
            throw UsageError("--only " + id + ": no evaluator has this id" + nearestword::suggestion(id, known));
    }
}
