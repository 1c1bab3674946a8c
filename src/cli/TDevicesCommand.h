#pragma once

#include "cli/TCliArgs.h"
#include "cli/TCliOutput.h"
#include "pipeline/TAudioFormat.h"

#include <atomic>
#include <set>
#include <string>
#include <vector>

namespace kestrune::cli {

// kestrune-cli devices: the capture devices, each on one line with the formats
// of the quality list it accepts summed up (all of them under --verbose and
// in --json), then the playback devices, real devices first.
class TDevicesCommand {
public:
    static const char* Usage();
    static const std::set<std::string>& Flags();
    static const std::set<std::string>& Options();

    // Returns the exit status: 0 listed. Raises EUsage for bad options.
    static int Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted);

    // Formats of the quality list in a few words: "all 12 formats",
    // "11025-44100 Hz, mono/stereo, 8/16-bit", or rate by rate when the rates
    // differ in what they offer; "cannot be opened" for none.
    static std::string FormatSummary(const std::vector<TAudioFormat>& Formats);
};

} // namespace kestrune::cli
