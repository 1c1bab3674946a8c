#include "cli/TCliArgs.h"

#include <cerrno>
#include <cstdlib>

namespace kestrune::cli {

TCliArgs::TCliArgs(const std::vector<std::string>& Words, const std::set<std::string>& Flags,
                   const std::set<std::string>& Options)
{
    bool onlyPositional = false;
    for (size_t i = 0; i < Words.size(); ++i) {
        const std::string& word = Words[i];
        if (onlyPositional || word.size() < 2 || word[0] != '-' || word == "-") {
            FPositional.push_back(word);
            continue;
        }
        if (word == "--") {
            onlyPositional = true;
            continue;
        }
        std::string name = word;
        std::string value;
        bool hasValue = false;
        if (const auto eq = word.find('='); word.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = word.substr(0, eq);
            value = word.substr(eq + 1);
            hasValue = true;
        }
        if (Flags.count(name)) {
            if (hasValue)
                throw EUsage("option " + name + " takes no value");
            FFlags.insert(name);
        } else if (Options.count(name)) {
            if (!hasValue) {
                if (i + 1 >= Words.size())
                    throw EUsage("option " + name + " needs a value");
                value = Words[++i];
            }
            FOptions[name] = value;
        } else {
            throw EUsage("unknown option " + name);
        }
    }
}

std::string TCliArgs::Value(const std::string& Name, const std::string& Default) const
{
    const auto it = FOptions.find(Name);
    return it == FOptions.end() ? Default : it->second;
}

long TCliArgs::Integer(const std::string& Name, long Default, long Min, long Max) const
{
    const auto it = FOptions.find(Name);
    if (it == FOptions.end())
        return Default;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(it->second.c_str(), &end, 10);
    if (it->second.empty() || *end != '\0' || errno != 0 || value < Min || value > Max)
        throw EUsage("option " + Name + " needs a whole number from " + std::to_string(Min) + " to " +
                     std::to_string(Max) + ", not \"" + it->second + "\"");
    return value;
}

} // namespace kestrune::cli
