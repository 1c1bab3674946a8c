#pragma once

#include "cli/TCliArgs.h"
#include "cli/TCliOutput.h"

#include <atomic>
#include <set>
#include <string>

namespace kestrune::cli {

// kestrune-cli burn: writes audio files as an audio CD, on a burner or as a
// BIN/CUE image, through the burn window's controller: the same checks, the
// same texts, the same writer.
class TBurnCommand {
public:
    static const char* Usage();
    static const std::set<std::string>& Flags();
    static const std::set<std::string>& Options();
    // 0 written; 1 refused, failed or stopped.
    static int Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted);
};

} // namespace kestrune::cli
