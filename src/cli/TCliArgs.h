#pragma once

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrune::cli {

// A usage error: the program prints it with the usage hint and exits with 2.
class EUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Splits a command line into positional words, flags and options with values
// ("--name VALUE" or "--name=VALUE"). Only the names a command declares are
// accepted; --folder and --out-dir name the same option, under the name the
// command declares.
class TCliArgs {
public:
    TCliArgs(const std::vector<std::string>& Words, const std::set<std::string>& Flags,
             const std::set<std::string>& Options);

    const std::vector<std::string>& Positional() const { return FPositional; }
    bool Flag(const std::string& Name) const { return FFlags.count(Name) != 0; }
    bool Has(const std::string& Name) const { return FOptions.count(Name) != 0; }
    std::string Value(const std::string& Name, const std::string& Default = "") const;
    // Every value of an option given more than once, in order.
    std::vector<std::string> Values(const std::string& Name) const;
    // An on/off option (on, off, yes, no, 1, 0); raises EUsage otherwise.
    bool Switch(const std::string& Name, bool Default) const;
    // A decimal option in [Min, Max]; raises EUsage otherwise.
    double Number(const std::string& Name, double Default, double Min, double Max) const;
    // The option as an integer in [Min, Max]; raises EUsage otherwise.
    long Integer(const std::string& Name, long Default, long Min, long Max) const;

private:
    std::vector<std::string> FPositional;
    std::set<std::string> FFlags;
    std::map<std::string, std::vector<std::string>> FOptions;
};

} // namespace kestrune::cli
