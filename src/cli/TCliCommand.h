#pragma once

#include "cli/TCliArgs.h"
#include "cli/TCliOutput.h"

#include <atomic>
#include <set>
#include <string>
#include <vector>

namespace kestrune::cli {

// One command of kestrune-cli. Every command takes --json, --quiet and
// --help besides its own flags and options.
struct TCliCommand {
    const char* Name;
    const char* Summary;           // one line for the main usage text
    const char* (*Usage)();        // the command's --help text
    std::set<std::string> Flags;   // its own flags
    std::set<std::string> Options; // its own options with values
    // Returns the exit status: 0 done, 1 the job failed. Raises EUsage.
    int (*Execute)(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted);
};

// The commands, in the order the usage text lists them.
const std::vector<TCliCommand>& Commands();

} // namespace kestrune::cli
