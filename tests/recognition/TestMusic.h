#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace kestrune::test {

// A chord that changes every half second, so a fingerprint has features.
// Quantum rounds every sample down to a multiple (256 makes it exact in
// 8 bits).
inline std::vector<std::int16_t> Music(int Seconds, int Rate, int Channels, int Quantum = 1)
{
    std::vector<std::int16_t> out;
    const double notes[] = {220, 277, 330, 392, 440, 523, 587, 659};
    for (int f = 0; f < Seconds * Rate; ++f) {
        const int step = f / (Rate / 2);
        const double t = static_cast<double>(f) / Rate;
        double v = 0;
        for (int k = 0; k < 3; ++k)
            v += std::sin(2 * M_PI * notes[(step * 3 + k * 5) % 8] * (1 + k) * t);
        auto s = static_cast<int>(v * 6000);
        s = s / Quantum * Quantum;
        for (int c = 0; c < Channels; ++c)
            out.push_back(static_cast<std::int16_t>(s));
    }
    return out;
}

} // namespace kestrune::test
