#pragma once

#include "cli/TCliArgs.h"
#include "cli/TCliOutput.h"

#include <atomic>
#include <cstdint>
#include <set>
#include <string>

namespace kestrune {
class TACSInput;
}

namespace kestrune::cli {

// kestrune-cli split FILE [options]: an existing recording (WAV, MP3, Ogg,
// FLAC or APE) cut into one file per song by the recorder's own rules, read
// as fast as the machine allows.
class TSplitCommand {
public:
    static const char* Usage();
    static const std::set<std::string>& Flags();
    static const std::set<std::string>& Options();
    static int Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted);

    // The noise level of an input as the noise capture would measure it: the
    // largest sample magnitude (|v - 128| for 8-bit, |s| for 16-bit, |s| / 256
    // rounded up for 24-bit, in the scale of the level settings) over the
    // quietest stretch of WindowMs milliseconds. Opens and closes Input.
    static int QuietestLevel(TACSInput& Input, int WindowMs);
    // The level the splitter is given for a measured peak: above it, so that
    // the stretch measured counts as quiet (the recorder's test is
    // |s| < level), with room for other gaps whose floor is a little higher,
    // and never below the few steps a dithered 16-bit silence moves.
    static int LevelAbovePeak(int Peak, int BitsPerSample);
    // A cue sheet time: minutes, seconds and frames of 1/75 s.
    static std::string CueTime(std::int64_t Bytes, std::int64_t BytesPerSecond);
};

} // namespace kestrune::cli
