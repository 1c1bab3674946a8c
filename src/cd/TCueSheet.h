#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

// The parts of a cue sheet that decide whether the CD library can read the
// image it describes. The library reads such images in one shape only: one
// data file, named like the cue sheet with ".bin", beside it. Everything
// else it reads wrongly or not at all, so images are checked here first and
// refused with a reason the user can act on.
class TCueSheet {
public:
    struct TTrack {
        int Number = 0;
        std::string Mode;          // AUDIO, MODE1/2352, ...
        std::int64_t Index01 = -1; // sector in the data file, -1 when missing
    };

    std::vector<std::string> Files; // the names of the FILE lines, as written
    std::vector<TTrack> Tracks;

    // Any text; lines it does not know are passed over. Never raises.
    static TCueSheet Parse(std::string_view Text);

    // Reads and checks the cue sheet at CuePath and its data file. Raises
    // EACSException naming the fault: no data file named, several, the data
    // file missing or named differently from the cue sheet, no tracks, or a
    // data file shorter than its tracks.
    static TCueSheet CheckImage(const std::filesystem::path& CuePath);

    // "MM:SS:FF" as a sector count, -1 when it is not such a time.
    static std::int64_t ParseTime(std::string_view Text);
};

} // namespace kestrune
