#pragma once

#include "cd/TAccurateRipClient.h"
#include "cd/TAccurateRipDisc.h"
#include "cd/TTrackChecks.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrune {

// One track as the log tells it.
struct TRipLogTrack {
    int Number = 0;
    std::string File;  // the file written, as its name only
    std::string Error; // why the track has no file; empty when it was read
    TTrackChecks Checks;
    TAccurateRipVerdict Verdict;
};

// The text log of a rip, written beside the files: how the disc was read,
// each track's retries, checksums and verdict, and a summary. Written under
// a temporary name and named once complete; an earlier log of the same name
// is never replaced (Write fails instead).
class TRipLog {
public:
    std::chrono::system_clock::time_point Time = std::chrono::system_clock::now();
    std::string DriveName;  // the device or image
    std::string DriveModel; // vendor, model and revision as the drive names them
    int ReadMode = 2;       // the grabber's ReadOption
    int ReadAttempts = 1;
    int ReadAction = 0; // the grabber's ReadAction
    std::string Artist;
    std::string Album;
    std::optional<TAccurateRipDisc> Disc;
    // The database's answer; none when it was not asked.
    std::optional<TAccurateRipLookup> Lookup;
    std::vector<TRipLogTrack> Tracks;

    std::string Text() const;
    std::string Summary() const;
    // Raises EACSException when the log cannot be written; nothing is left
    // behind then, and an earlier log stays as it was.
    void Write(const std::filesystem::path& Path) const;

    static std::string VerdictText(const TAccurateRipVerdict& Verdict);
    // "2 sectors could not be read and were replaced by silence." (or "left
    // out"), after the grabber's ReadAction.
    static std::string UnreadableText(const TTrackChecks& Checks, int ReadAction);
};

} // namespace kestrune
