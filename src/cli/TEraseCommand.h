#pragma once

#include "cli/TCliArgs.h"
#include "cli/TCliOutput.h"

#include <atomic>
#include <set>
#include <string>

namespace kestrune::cli {

// kestrune-cli erase: quick-erases the CD-RW in a burner.
class TEraseCommand {
public:
    static const char* Usage();
    static const std::set<std::string>& Flags();
    static const std::set<std::string>& Options();
    // 0 erased; 1 refused, failed or stopped.
    static int Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted);
};

} // namespace kestrune::cli
