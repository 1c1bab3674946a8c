#pragma once

#include <array>
#include <cstdint>

namespace kestrune {

// Microsoft ADPCM blocks (format tag 2): a header per channel (predictor
// index, delta, sample 1, sample 2; 7 bytes mono, 14 bytes stereo, fields
// interleaved by channel), then 4-bit codes, high nibble first; stereo bytes
// hold the left code high and the right code low. Sample 2 and sample 1 are
// the block's first two frames.
class TMsAdpcm {
public:
    using TCoefficients = std::array<std::array<std::int16_t, 2>, 32>;

    static const int AdaptationTable[16];

    // The most frames a block of Bytes bytes holds; 0 when the headers do not
    // fit. Channels must be 1 or 2.
    static int FramesInBytes(int Bytes, int Channels);

    // Decodes the first Frames frames (capped at FramesInBytes(Bytes)) of a
    // block into Out (interleaved 16-bit). False when a header's predictor
    // index is not below CoefficientCount (a damaged block).
    static bool DecodeBlock(const std::uint8_t* Block, int Bytes, int Channels, int Frames,
                            const TCoefficients& Coefficients, int CoefficientCount, std::int16_t* Out);
};

} // namespace kestrune
