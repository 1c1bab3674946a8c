#pragma once

namespace kestrune {

// PCM as it flows through a chain: interleaved, left first, little-endian;
// 8-bit unsigned, 16-bit signed, 24-bit signed packed in three bytes.
struct TAudioFormat {
    int SampleRate = 0;    // frames per second
    int BitsPerSample = 0; // 8, 16 or 24
    int Channels = 0;      // 1 or 2 (more are refused by the writers that cannot carry them)

    int BytesPerSample() const { return BitsPerSample / 8; }
    int FrameBytes() const { return Channels * BitsPerSample / 8; }
    bool operator==(const TAudioFormat&) const = default;
};

inline bool IsPipelineDepth(int Bits)
{
    return Bits == 8 || Bits == 16 || Bits == 24;
}

} // namespace kestrune
