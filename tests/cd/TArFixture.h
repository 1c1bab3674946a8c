#pragma once

#include "cd/TAccurateRipClient.h"
#include "cd/TAccurateRipDisc.h"
#include "cd/TDiscToc.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace kestrune::test {

// Audio for the rip verification tests: each track a run of frames from a
// 32-bit linear congruential generator (integers only, so the same bytes on
// every machine), and a disc of such tracks laid end to end.
struct TArFixture {
    static std::vector<std::uint8_t> Audio(std::uint32_t Seed, int Sectors);

    struct TDisc {
        TDiscToc Toc;
        TAccurateRipDisc Disc;
        std::vector<std::vector<std::uint8_t>> Tracks;
        // Our own sums of each track, as a rip would have them.
        std::vector<TAccurateRipSums> Sums;
    };
    // Tracks given as (seed, sectors), all audio, the first at sector 0.
    static TDisc Disc(const std::vector<std::pair<std::uint32_t, int>>& Tracks);
};

} // namespace kestrune::test
