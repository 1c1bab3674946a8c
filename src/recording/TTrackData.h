#pragma once

#include <memory>
#include <string>
#include <vector>

namespace kestrune {

// One candidate a recognition found for a track.
struct TTrackInfo {
    std::string Artist;
    std::string Title;
    std::string Album;
};

// The record behind a row of the recordings list; in memory only. Rows hold
// it by shared pointer, so a worker that keeps it finds its row again after
// rows were moved or deleted (or learns that its row is gone).
struct TTrackData {
    std::string FileName;  // full path; follows the file when it is renamed
    int Duration = 0;      // seconds of sound, set when the track is finished
    std::string TrmId;     // empty while the fingerprint wants audio, "Pending", then the identifier
    std::vector<TTrackInfo> Candidates;
};

using TTrackDataPtr = std::shared_ptr<TTrackData>;

} // namespace kestrune
