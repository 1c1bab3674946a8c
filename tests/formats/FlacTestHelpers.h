#pragma once

// Helpers of the FLAC tests: PCM fixtures of every depth. Runs of an output
// and reads of an input to their end are in support/TestSupport.h.

#include "support/TestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace kestrune::test {

// Interleaved PCM in the pipeline's form (8-bit unsigned, 16/24-bit signed
// little-endian): a sine per channel with noise on top, so every bit of the
// samples varies and the predictors still have something to find.
inline std::vector<std::uint8_t> FlacPcm(int Frames, int Channels, int Bits, std::uint32_t Seed)
{
    std::mt19937 rng(Seed);
    const int bytes = Bits / 8;
    const std::int32_t full = (1 << (Bits - 1)) - 1;
    std::uniform_int_distribution<std::int32_t> noise(-full / 8, full / 8);
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<size_t>(Frames) * Channels * bytes);
    for (int i = 0; i < Frames; ++i) {
        for (int c = 0; c < Channels; ++c) {
            const double s = std::sin(2 * 3.14159265358979 * (440.0 + 110 * c) * i / 44100.0);
            std::int64_t v = static_cast<std::int64_t>(s * full * 0.8) + noise(rng);
            v = std::clamp<std::int64_t>(v, -full - 1, full);
            // The extremes occur in real audio; put them in now and then.
            if (i % 997 == 0)
                v = (i / 997) % 2 == 0 ? full : -full - 1;
            const auto u = static_cast<std::uint32_t>(Bits == 8 ? v + 128 : v);
            for (int b = 0; b < bytes; ++b)
                out.push_back(static_cast<std::uint8_t>((u >> (8 * b)) & 0xFF));
        }
    }
    return out;
}

} // namespace kestrune::test
