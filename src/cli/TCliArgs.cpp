#include "cli/TCliArgs.h"

#include <cerrno>
#include <cstdlib>
#include <utility>

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
        // The output folder has one name on some commands and the other on
        // the rest; every command that writes files takes both.
        if (!Options.count(name) && !Flags.count(name)) {
            for (const auto& [one, other] : {std::pair<const char*, const char*>{"--folder", "--out-dir"},
                                             std::pair<const char*, const char*>{"--out-dir", "--folder"}})
                if (name == one && Options.count(other))
                    name = other;
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
            FOptions[name].push_back(value);
        } else {
            throw EUsage("unknown option " + name);
        }
    }
}

std::string TCliArgs::Value(const std::string& Name, const std::string& Default) const
{
    const auto it = FOptions.find(Name);
    return it == FOptions.end() ? Default : it->second.back();
}

std::vector<std::string> TCliArgs::Values(const std::string& Name) const
{
    const auto it = FOptions.find(Name);
    return it == FOptions.end() ? std::vector<std::string>() : it->second;
}

bool TCliArgs::Switch(const std::string& Name, bool Default) const
{
    if (!Has(Name))
        return Default;
    const std::string value = Value(Name);
    if (value == "on" || value == "yes" || value == "1")
        return true;
    if (value == "off" || value == "no" || value == "0")
        return false;
    throw EUsage("option " + Name + " needs on or off, not \"" + value + "\"");
}

double TCliArgs::Number(const std::string& Name, double Default, double Min, double Max) const
{
    if (!Has(Name))
        return Default;
    const std::string text = Value(Name);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !(value >= Min && value <= Max))
        throw EUsage("option " + Name + " needs a number from " + std::to_string(Min) + " to " + std::to_string(Max) +
                     ", not \"" + text + "\"");
    return value;
}

long TCliArgs::Integer(const std::string& Name, long Default, long Min, long Max) const
{
    if (!Has(Name))
        return Default;
    const std::string text = Value(Name);
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < Min || value > Max)
        throw EUsage("option " + Name + " needs a whole number from " + std::to_string(Min) + " to " +
                     std::to_string(Max) + ", not \"" + text + "\"");
    return value;
}

} // namespace kestrune::cli
