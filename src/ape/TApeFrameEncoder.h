#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ape/TApeNNFilter.h"
#include "ape/TApePredictor.h"
#include "ape/TApeRangeEncoder.h"

namespace kestrune::ape {

// Encodes one frame of interleaved little-endian PCM into the frame's logical
// bytes (CRC word, special codes, range-coded payload), format 3990.
class TApeFrameEncoder {
public:
    TApeFrameEncoder(int32_t level, int channels, int bits, TApeNNFilter::TKernel kernel = TApeNNFilter::nkBest);

    // Room the output of a frame of this many blocks can need.
    size_t MaxFrameBytes(uint32_t blocks) const;

    // Returns the number of bytes written to out.
    size_t Encode(const uint8_t* pcm, uint32_t blocks, uint8_t* out);

private:
    uint32_t SpecialCodes(const uint8_t* pcm, uint32_t blocks) const;
    void ReadSamples(const uint8_t* pcm, size_t n, int32_t* c0, int32_t* c1) const;
    void ResetState();

    static constexpr size_t kChunk = 4096;

    int FChannels;
    int FBits;
    int FBlockAlign;
    TApeRangeEncoder FRange;
    TApeValueState FStateX, FStateY;
    TApePredictor FPredX, FPredY;
    std::vector<TApeNNFilter> FFiltersX, FFiltersY;
    std::vector<int32_t> FX, FY, FEX, FEY;
};

} // namespace kestrune::ape
