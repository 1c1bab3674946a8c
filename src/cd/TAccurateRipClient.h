#pragma once

#include "cd/TAccurateRipDisc.h"
#include "cd/TAccurateRipResponse.h"
#include "cd/TDiscToc.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrune {

class THttpGet;

struct TAccurateRipSettings {
    // The database root; a disc's answer lies at ROOT/a/b/c/dBAR-....bin.
    std::string Server = "http://www.accuraterip.com/accuraterip";
    std::chrono::milliseconds Timeout{10000};
    std::string ProxyHost; // empty for none
    int ProxyPort = 0;
    std::string ClientVersion = "1.0";
};

// What the database says about a disc.
struct TAccurateRipLookup {
    enum TStatus { lsFound, lsNotInDatabase, lsFailed };
    TStatus Status = lsFailed;
    TAccurateRipDisc Disc;
    std::vector<std::vector<TAccurateRipEntry>> Chunks; // when found
    std::string Error;                                  // when failed
};

// A track's checksums as computed while it was read.
struct TAccurateRipSums {
    std::uint32_t V1 = 0;
    std::uint32_t V2 = 0;
};

// Whether one track was read the way other rips of the disc were.
struct TAccurateRipVerdict {
    enum TKind {
        vkAccurate,      // a submitted checksum equals ours
        vkNotInDatabase, // nobody submitted this track (or the disc)
        vkMismatch,      // submissions exist and none equals ours
        vkNotChecked,    // no checksums (not read), or the lookup failed
    };
    TKind Kind = vkNotChecked;
    // Accurate: the confidence of the best matching entry; otherwise 0.
    int Confidence = 0;
    // Accurate: which checksum matched, 1 or 2.
    int Version = 0;
    // All confidences submitted for the track, matching or not.
    int Submissions = 0;

    bool operator==(const TAccurateRipVerdict&) const = default;
};

// Asks the AccurateRip database about a disc over HTTP (libcurl, bound at
// run time) and judges tracks by its answer. Blocking; run it off the
// window thread. Cancel ends a transfer in flight.
class TAccurateRipClient {
public:
    explicit TAccurateRipClient(TAccurateRipSettings Settings);

    TAccurateRipLookup Lookup(const TDiscToc& Toc, const std::atomic<bool>& Cancel);
    std::string Url(const TAccurateRipDisc& Disc) const;

    // The verdict for the disc's audio track AudioIndex (0-based).
    static TAccurateRipVerdict Judge(const TAccurateRipLookup& Lookup, std::size_t AudioIndex,
                                     const std::optional<TAccurateRipSums>& Sums);

private:
    TAccurateRipSettings FSettings;
    std::shared_ptr<THttpGet> Http;
};

} // namespace kestrune
