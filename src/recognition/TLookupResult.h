#pragma once

#include "recognition/TTrackInfo.h"

#include <string>
#include <vector>

namespace kestrune {

// The answer to one track query.
struct TLookupResult {
    bool Ok = false;                    // the service answered with status "ok"
    std::string Error;                  // why not, when not Ok (for the log and the command line)
    int ErrorCode = 0;                  // the service's error code, 0 when it gave none
    std::string BestId;                 // the 36-character identifier of the best match, or empty
    std::vector<TTrackInfo> Candidates; // at most MaxCandidates, in the service's order
};

} // namespace kestrune
