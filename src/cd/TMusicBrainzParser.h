#pragma once

#include "cd/TAlbumQueryResult.h"

#include <string_view>

namespace kestrune {

// The MusicBrainz web service's answer to a disc-id lookup
// (/ws/2/discid/ID?inc=recordings+artist-credits&fmt=json): each release
// becomes an album entry, with the track titles of the medium that carries
// the disc. Any bytes are taken; what is not such an answer is a failure.
class TMusicBrainzParser {
public:
    static constexpr std::size_t MaxReleases = 25;
    static constexpr std::size_t MaxTracks = 99;

    // HttpStatus 404 with an error object means the disc is not known.
    static TAlbumQueryResult Parse(std::string_view Body, long HttpStatus, const std::string& DiscId);
};

} // namespace kestrune
