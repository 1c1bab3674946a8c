#pragma once

#include "cli/TCliArgs.h"
#include "cli/TCliOutput.h"

#include <atomic>

namespace kestrune::cli {

// kestrune-cli convert IN OUT [options]: one chain from a file reader to a
// file writer, with progress, a clear error and no half-written result left
// behind on failure or interruption.
class TConvertCommand {
public:
    static const char* Usage();
    static const std::set<std::string>& Flags();
    static const std::set<std::string>& Options();

    // Returns the exit status: 0 done, 1 failed. Raises EUsage for bad options.
    static int Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted);
};

} // namespace kestrune::cli
