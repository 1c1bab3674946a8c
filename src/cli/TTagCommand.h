#pragma once

#include "cli/TCliArgs.h"
#include "cli/TCliOutput.h"

#include <atomic>

namespace kestrune::cli {

// kestrune-cli tag FILE [--title T] [--artist A] [--album B] [--genre G]:
// writes the four texts into the file, as a RIFF INFO list for ".wav" files
// and an ID3v1 tag for all others, as the recorder and the rip window do.
class TTagCommand {
public:
    static const char* Usage();
    static const std::set<std::string>& Flags();
    static const std::set<std::string>& Options();

    // Returns the exit status: 0 done, 1 failed. Raises EUsage for bad options.
    static int Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted);
};

} // namespace kestrune::cli
