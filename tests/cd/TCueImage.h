#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrune::test {

// A BIN/CUE image written by the tests: tracks of generated audio (or data),
// each a whole number of sectors, with the cue features the grabber must
// honour. The bin holds the tracks back to back; a track's pregap is written
// as silence in front of it, so it ends up in the track before.
// "MM:SS:FF" for a count of sectors, as cue sheets give times.
std::string Msf(int Sectors);

struct TCueImageTrack {
    enum TKind { tkSine, tkNoise, tkData };
    TKind Kind = tkSine;
    int Sectors = 75;
    int PregapSectors = 0; // an INDEX 00 this many sectors before INDEX 01
    std::string Isrc;
    bool PreEmphasis = false;
    std::string Title;
    std::string Performer;
};

struct TCueImage {
    std::string Title;
    std::string Performer;
    std::string Catalog;
    std::vector<TCueImageTrack> Tracks;

    // Writes NAME.bin and NAME.cue into Folder; returns the cue's path.
    std::filesystem::path Write(const std::filesystem::path& Folder, const std::string& Name) const;

    // The bytes of the bin, as Write writes them.
    std::vector<std::uint8_t> Bin() const;
    // Where each track's INDEX 01 lies, in sectors from the start of the bin.
    std::vector<int> Starts() const;
    int TotalSectors() const;
};

} // namespace kestrune::test
