#pragma once

#include "recognition/TLookupResult.h"

#include <string_view>

namespace kestrune {

// Reads the JSON answer of the AcoustID lookup service (asked for recordings
// and release groups). Every key may be missing and any value may have the
// wrong type: such parts are skipped, never trusted. Any thread.
class TAcoustIdParser {
public:
    static constexpr std::size_t MaxCandidates = 25;

    // Candidates in the service's order (results by score, then their
    // recordings): title, artists joined by their join phrases, and the first
    // release group's title as album. Candidates with all three empty, and
    // repeats of an earlier one, are left out. BestId is the identifier of the
    // highest-scoring result when it has the 36-character form.
    static TLookupResult Parse(std::string_view Body);

    // True for the 8-4-4-4-12 hexadecimal form.
    static bool IsIdentifier(std::string_view Text);
};

} // namespace kestrune
