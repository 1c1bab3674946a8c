#pragma once

#include "cli/TCliArgs.h"
#include "cli/TCliOutput.h"

#include <atomic>
#include <set>
#include <string>

namespace kestrune::cli {

// kestrune-cli noise-level [--device DEV] [--config FILE]: the settings
// window's noise-level capture without a window. Measures what the capture
// device delivers while nothing plays (10 s at 8 bits, 11 s at 16 bits),
// prints Level8 and Level16 and saves them into the settings file.
class TNoiseLevelCommand {
public:
    static const char* Usage();
    static const std::set<std::string>& Flags();
    static const std::set<std::string>& Options();
    static int Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted);
};

} // namespace kestrune::cli
