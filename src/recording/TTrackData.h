#pragma once

#include "recognition/TFingerprintGenerator.h"
#include "recognition/TTrackInfo.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrune {

// The record behind a row of the recordings list; in memory only. Rows hold
// it by shared pointer, so a worker that keeps it finds its row again after
// rows were moved or deleted (or learns that its row is gone).
//
// Threads: the window thread reads and writes the fields; the recorder's
// output worker feeds Trm while its track is being recorded, and the
// recognition worker takes Trm over when the track is finished.
struct TTrackData {
    std::string FileName; // full path; follows the file when it is renamed
    int Duration = 0;     // seconds of sound, set when the track is finished
    // Byte offset of the track's first byte in all the recording captured
    // (in the capture format), set when the track is finished; -1 unknown.
    std::int64_t StartByte = -1;
    std::string TrmId; // empty while the fingerprint wants audio, "Pending", then the identifier
    // The track's fingerprint generator while recognition is on; released
    // with the record, so dropped and deleted tracks never keep one.
    std::unique_ptr<TFingerprintGenerator> Trm;
    std::vector<TTrackInfo> Candidates;
    // Dealt with by the automatic writing mode: queued for a disc, or left
    // out as longer than a disc.
    bool Handled = false;
};

using TTrackDataPtr = std::shared_ptr<TTrackData>;

} // namespace kestrune
