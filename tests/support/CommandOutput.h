// Reading what the tessly command wrote: one JSON object per output line,
// and whole files read back byte for byte.
#pragma once

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testhost {

// One parsed object per line of the command's standard output.
template <class Json = nlohmann::ordered_json> std::vector<Json> jsonLines(const std::string& out)
{
    std::vector<Json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(Json::parse(line));
    return lines;
}

// The whole file as bytes; empty when it cannot be read.
inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}
