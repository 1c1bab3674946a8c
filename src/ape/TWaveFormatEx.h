#pragma once

#include <cstdint>

namespace kestrune::ape {

// The wave format record the SDK's interface passes around (WAVEFORMATEX's fields).
struct TWaveFormatEx {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
};

} // namespace kestrune::ape
