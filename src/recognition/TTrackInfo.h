#pragma once

#include <string>

namespace kestrune {

// One candidate a recognition found for a track.
struct TTrackInfo {
    std::string Artist;
    std::string Title;
    std::string Album;

    bool operator==(const TTrackInfo&) const = default;
};

} // namespace kestrune
