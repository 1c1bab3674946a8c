#pragma once

#include "cd/TDiscToc.h"
#include "cd/ICdDrive.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrune::test {

class TTempDir;

// Writes 16-bit PCM samples as a WAV file; returns its name.
std::string WriteWav(const std::string& File, const std::vector<std::int16_t>& Samples, int Channels, int SampleRate);

// An image read back as a CD reader sees it: the table of contents, the
// CD-TEXT, and each track's bytes from its INDEX 01 to the next one's.
struct TImageReadBack {
    TDiscToc Toc;
    TCdText CdText;
    std::vector<std::vector<std::uint8_t>> Tracks;
};
TImageReadBack ReadImage(const std::filesystem::path& Cue);

// Each track of the image as the program's grabber reads it, as the rip
// window would, without the WAV header; Isrcs, when given, gets each track's
// ISRC.
std::vector<std::vector<std::uint8_t>> GrabImage(const std::filesystem::path& Cue, const TTempDir& Dir,
                                                 std::vector<std::string>* Isrcs = nullptr);

// The names in Folder, sorted (hidden ones included).
std::vector<std::string> FilesIn(const std::filesystem::path& Folder);

} // namespace kestrune::test
