#pragma once

#include <cstdint>

namespace kestrune {

// IMA (DVI) ADPCM blocks as WAV files hold them: per channel a 4-byte header
// (first sample, step index, a reserved byte), then 4-bit codes, mono two per
// byte low nibble first, stereo in groups of 4 bytes per channel alternating
// left and right. The encoder of the WAV writer and the decoder of the WAV
// reader share the tables and the code layout here.
//
// The predictor is clamped to -32767 ... 32767 in both directions.
class TImaAdpcm {
public:
    static const std::int16_t StepTable[89];
    static const std::int8_t IndexTable[16];

    // Frames in a block of BlockAlign bytes as this program writes it:
    // (2 div channels) × (BlockAlign − 4 × channels) + 1; 1017 for mono and
    // 505 for stereo at 512 bytes. Channels must be 1 or 2.
    static int SamplesPerBlock(int BlockAlign, int Channels);
    // The most frames whose codes fit in Bytes bytes of a block (stereo codes
    // come in whole groups of 8 bytes); 0 when not even the headers fit.
    static int FramesInBytes(int Bytes, int Channels);

    // Encodes Frames interleaved 16-bit frames (Frames ≤ FramesInBytes of the
    // block) into Block, BlockAlign bytes, zeroed first. StepIndex[channel]
    // carries the step index from one block to the next.
    static void EncodeBlock(const std::int16_t* Samples, int Frames, int Channels, std::uint8_t* StepIndex,
                            std::uint8_t* Block, int BlockAlign);

    // Decodes the first Frames frames (Frames ≤ FramesInBytes(Bytes)) of a
    // block of Bytes bytes into Out (interleaved). False when a header step
    // index is above 88 (a damaged block).
    static bool DecodeBlock(const std::uint8_t* Block, int Bytes, int Channels, int Frames, std::int16_t* Out);

private:
    // Where the code of sample Index (counting the header sample as 0) of a
    // channel sits: byte offset in the block, and whether in the high nibble.
    static void CodePlace(int Index, int Channel, int Channels, int& Byte, bool& High);
};

} // namespace kestrune
