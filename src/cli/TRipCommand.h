#pragma once

#include "cli/TCliArgs.h"
#include "cli/TCliOutput.h"

#include <atomic>
#include <set>
#include <string>

namespace kestrune::cli {

// kestrune-cli rip [options]: the rip window's run without a window. The
// disc of a drive or a BIN/CUE image is read, its album information fetched
// when asked, and the chosen tracks grabbed into tagged files of one format,
// verified against AccurateRip; the questions the window would ask are
// answered by the options.
class TRipCommand {
public:
    static const char* Usage();
    static const std::set<std::string>& Flags();
    static const std::set<std::string>& Options();

    // Returns the exit status: 0 every chosen track has its file, 1 not.
    // Raises EUsage for bad options.
    static int Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted);

    // "1,3-5,7" as track numbers; raises EUsage for anything else.
    static std::set<int> ParseTrackList(const std::string& Text);
};

} // namespace kestrune::cli
