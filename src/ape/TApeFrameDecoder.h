#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ape/TApeNNFilter.h"
#include "ape/TApePredictor.h"
#include "ape/TApeRangeDecoder.h"

namespace kestrune::ape {

// Decodes one frame from its logical bytes (CRC word onwards, groups already
// un-swapped) into interleaved little-endian PCM and checks its CRC.
class TApeFrameDecoder {
public:
    TApeFrameDecoder(uint16_t version, int32_t level, int channels, int bits,
                     TApeNNFilter::TKernel kernel = TApeNNFilter::nkBest);

    // Returns 0, apeErrDecompressingFrame (impossible stream) or apeErrInvalidChecksum.
    int32_t Decode(const uint8_t* data, size_t bytes, uint32_t blocks, uint8_t* out);

private:
    void ResetState();
    void DecodeResiduals(int32_t* dst, size_t n, TApeValueState& st);
    void DecodeResidualPairs(int32_t* y, int32_t* x, size_t n);
    void WriteSamples(uint8_t*& out, const int32_t* c0, const int32_t* c1, size_t n, bool& bad);

    static constexpr size_t kChunk = 4096;

    int FChannels;
    int FBits;
    bool FLegacy;
    TApeRangeDecoder FRange;
    TApeValueState FStateX, FStateY;
    TApePredictor FPredX, FPredY;
    std::vector<TApeNNFilter> FFiltersX, FFiltersY;
    std::vector<int32_t> FX, FY, FC0, FC1;
};

} // namespace kestrune::ape
