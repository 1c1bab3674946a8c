#pragma once

#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
#include <vector>

namespace kestrune::test {

// The command's --json output, one object a line.
inline std::vector<nlohmann::json> JsonLines(const std::string& Text)
{
    std::vector<nlohmann::json> lines;
    std::istringstream in(Text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line));
    return lines;
}

} // namespace kestrune::test
