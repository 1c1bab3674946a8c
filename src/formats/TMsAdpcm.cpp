#include "formats/TMsAdpcm.h"

#include "pipeline/ByteOrder.h"

#include <algorithm>
#include <climits>

namespace kestrune {

const int TMsAdpcm::AdaptationTable[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                           768, 614, 512, 409, 307, 230, 230, 230};

namespace {

// A damaged block could grow the delta without end; past this it would
// overflow the next multiplication, and no real encoder gets near it.
constexpr std::int64_t DeltaMax = INT_MAX / 768;

struct TChannelState {
    std::int64_t C1 = 0;
    std::int64_t C2 = 0;
    std::int64_t Delta = 0;
    std::int64_t Sample1 = 0;
    std::int64_t Sample2 = 0;

    std::int16_t Next(int Code)
    {
        // An arithmetic shift, as the encoders and every reference decoder
        // do: a negative prediction rounds down, not toward zero.
        const std::int64_t prediction = (Sample1 * C1 + Sample2 * C2) >> 8;
        const int signedCode = Code >= 8 ? Code - 16 : Code;
        const std::int64_t sample = std::clamp<std::int64_t>(prediction + signedCode * Delta, -32768, 32767);
        Delta = std::clamp<std::int64_t>(Delta * TMsAdpcm::AdaptationTable[Code] / 256, 16, DeltaMax);
        Sample2 = Sample1;
        Sample1 = sample;
        return static_cast<std::int16_t>(sample);
    }
};

} // namespace

int TMsAdpcm::FramesInBytes(int Bytes, int Channels)
{
    if (Channels != 1 && Channels != 2)
        return 0;
    const int header = 7 * Channels;
    if (Bytes < header)
        return 0;
    return 2 + (Bytes - header) * 2 / Channels;
}

bool TMsAdpcm::DecodeBlock(const std::uint8_t* Block, int Bytes, int Channels, int Frames,
                           const TCoefficients& Coefficients, int CoefficientCount, std::int16_t* Out)
{
    Frames = std::min(Frames, FramesInBytes(Bytes, Channels));
    if (Frames <= 0)
        return true;
    // The block header holds one field after the other, each for every
    // channel: predictor bytes, then deltas, newer and older samples.
    const std::ptrdiff_t n = Channels;
    TChannelState state[2];
    for (int ch = 0; ch < Channels; ++ch) {
        const int predictor = Block[ch];
        if (predictor >= CoefficientCount)
            return false;
        state[ch].C1 = Coefficients[predictor][0];
        state[ch].C2 = Coefficients[predictor][1];
        const std::ptrdiff_t at = 2 * static_cast<std::ptrdiff_t>(ch);
        state[ch].Delta = GetLe16s(Block + n + at);
        state[ch].Sample1 = GetLe16s(Block + 3 * n + at);
        state[ch].Sample2 = GetLe16s(Block + 5 * n + at);
        Out[ch] = static_cast<std::int16_t>(state[ch].Sample2);
        if (Frames > 1)
            Out[Channels + ch] = static_cast<std::int16_t>(state[ch].Sample1);
    }
    const std::uint8_t* codes = Block + 7 * n;
    const int samples = (Frames - 2) * Channels;
    for (int i = 0; i < samples; ++i) {
        const std::uint8_t byte = codes[i / 2];
        const int code = (i & 1) == 0 ? byte >> 4 : byte & 0x0F;
        // Codes alternate between the channels in stereo, in order in mono.
        const int ch = Channels == 2 ? (i & 1) : 0;
        Out[2 * Channels + i] = state[ch].Next(code);
    }
    return true;
}

} // namespace kestrune
