#pragma once

#include <string>
#include <vector>

namespace kestrune {

// One album entry for a disc, from an album database, the local store or
// the disc's CD-TEXT.
struct TAlbumInfo {
    std::string Source;   // "cddb", "cache", "cdtext"
    std::string Category; // the CDDB category (rock, misc, ...)
    std::string DiscId;   // eight hexadecimal digits
    std::string Artist;
    std::string Title;
    std::string Genre; // DGENRE, else the category
    std::string Year;
    std::vector<std::string> TrackTitles; // by track, from the first
    std::string Extended;

    bool operator==(const TAlbumInfo&) const = default;
};

} // namespace kestrune
