#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

// A cue sheet as other programs write them: UTF-8 with or without a
// byte-order mark, keywords in any letter case, Windows line ends, data
// files named by a Windows path, a relative path or in another letter case.
//
// The CD library reads an image in one shape only (one data file named like
// the cue sheet with ".bin" beside it, upper-case keywords it knows, no
// PREGAP or POSTGAP), so an image is checked here and handed to it in that
// shape (LibraryText); silence that PREGAP and POSTGAP add to the disc is
// kept as gaps for the drive to put back.
struct TCueImageFile;

class TCueSheet {
public:
    struct TTrack {
        int Number = 0;
        std::string Mode;          // AUDIO, MODE1/2352, ...
        std::int64_t Index00 = -1; // sector in the data file, -1 when missing
        std::int64_t Index01 = -1;
        std::int64_t Pregap = 0;  // sectors of silence not in the data file
        std::int64_t Postgap = 0; // before the track's first index, and after its data
    };

    std::vector<std::string> Files;     // the names of the FILE lines, as written
    std::vector<std::string> FileTypes; // BINARY, MOTOROLA, WAVE, ... (upper case)
    std::vector<TTrack> Tracks;

    // Any text; lines it does not know are passed over. Never raises.
    static TCueSheet Parse(std::string_view Text);

    // Reads and checks the cue sheet at CuePath and finds its data file:
    // the FILE line's path taken beside the cue sheet (a relative path, or
    // a Windows path's last part), in any letter case. Raises EACSException
    // naming the fault: no data file named, several, the data file missing,
    // a WAV file given as raw data, no tracks, or a data file shorter than
    // its tracks or not a whole number of sectors.
    static TCueImageFile CheckImage(const std::filesystem::path& CuePath);

    // The cue sheet's text as the CD library reads it: without a byte-order
    // mark, keywords in upper case, lines it does not know (REM, PREGAP,
    // POSTGAP) left out, and the one FILE line naming BinName.
    static std::string LibraryText(std::string_view Text, const std::string& BinName);

    // "MM:SS:FF" as a sector count, -1 when it is not such a time.
    static std::int64_t ParseTime(std::string_view Text);
};

// Silence the disc holds that the data file does not: Sectors sectors
// in front of the data file's sector At.
struct TCueGap {
    std::int64_t At = 0;
    std::int64_t Sectors = 0;
};

struct TCueImageFile {
    std::string Text; // the cue sheet as read
    TCueSheet Sheet;
    std::filesystem::path DataFile; // where the FILE line's data was found
    std::int64_t DataSectors = 0;
    std::vector<TCueGap> Gaps; // in the order of At
};

} // namespace kestrune
