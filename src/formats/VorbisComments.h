#pragma once

#include "formats/TTrackTags.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrune {

// The comment list FLAC and Ogg Vorbis share: a vendor string, then a count
// of entries "NAME=value", every text preceded by its length (unsigned 32-bit
// little-endian) and UTF-8.
struct TVorbisCommentList {
    std::string Vendor;
    std::vector<std::string> Entries;
};

// Parses a list from Size bytes at Data; bytes after the last entry are left
// alone (Ogg follows it with a framing bit). Raises EACSException when a
// length runs past the data.
TVorbisCommentList ParseVorbisComments(const std::uint8_t* Data, std::size_t Size);

// Title ("TITLE"), artist ("ARTIST"), album ("ALBUM") and ISRC ("ISRC") of
// a list's entries. Names match in any letter case; of several entries of a
// name the first with a value wins.
TTrackTags TagsOfVorbisComments(const std::vector<std::string>& Entries);

} // namespace kestrune
