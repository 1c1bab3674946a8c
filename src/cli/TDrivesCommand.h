#pragma once

#include "cli/TCliArgs.h"
#include "cli/TCliOutput.h"

#include <atomic>
#include <set>
#include <string>

namespace kestrune::cli {

// kestrune-cli drives: the CD writers, each with its speeds and the disc in
// it, as the burn window lists them.
class TDrivesCommand {
public:
    static const char* Usage();
    static const std::set<std::string>& Flags();
    static const std::set<std::string>& Options();
    // 0 listed; 1 the drives could not be scanned.
    static int Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted);
};

} // namespace kestrune::cli
