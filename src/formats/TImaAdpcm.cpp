#include "formats/TImaAdpcm.h"

#include "pipeline/ByteOrder.h"

#include <algorithm>
#include <cstring>

namespace kestrune {

const std::int16_t TImaAdpcm::StepTable[89] = {
    7,    8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,   28,
    31,   34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,  118,
    130,  143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,  494,
    544,  598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878, 2066,
    2272, 2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845, 8630,
    9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

const std::int8_t TImaAdpcm::IndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

namespace {

// The predictor never reaches -32768, so that a negated sample always fits.
constexpr int PredictorMin = -32767;
constexpr int PredictorMax = 32767;

// One code applied to the predictor and step index, as encoder and decoder
// both do it.
// The code bits of real audio are as good as random, so every decision is
// made with masks rather than branches the processor would mispredict.
inline void Advance(int Code, int& Predictor, int& Index)
{
    const int step = TImaAdpcm::StepTable[Index];
    int delta = step >> 3;
    delta += step & -((Code >> 2) & 1);
    delta += (step >> 1) & -((Code >> 1) & 1);
    delta += (step >> 2) & -(Code & 1);
    const int negative = -((Code >> 3) & 1); // all ones when the sign bit is set
    delta = (delta ^ negative) - negative;
    Predictor = std::clamp(Predictor + delta, PredictorMin, PredictorMax);
    Index = std::clamp(Index + TImaAdpcm::IndexTable[Code], 0, 88);
}

// The 4-bit code of one sample against the predictor, as the IMA encoder
// chooses it.
inline int CodeOf(int Sample, int Predictor, int Step)
{
    int diff = Sample - Predictor;
    const int sign = (diff < 0) ? 8 : 0;
    diff = diff < 0 ? -diff : diff;
    const int b4 = diff >= Step;
    diff -= Step & -b4;
    const int b2 = diff >= (Step >> 1);
    diff -= (Step >> 1) & -b2;
    const int b1 = diff >= (Step >> 2);
    return sign | (b4 << 2) | (b2 << 1) | b1;
}

} // namespace

int TImaAdpcm::SamplesPerBlock(int BlockAlign, int Channels)
{
    return (2 / Channels) * (BlockAlign - 4 * Channels) + 1;
}

int TImaAdpcm::FramesInBytes(int Bytes, int Channels)
{
    if (Channels == 1)
        return Bytes < 4 ? 0 : 1 + 2 * (Bytes - 4);
    if (Channels == 2)
        return Bytes < 8 ? 0 : 1 + 8 * ((Bytes - 8) / 8);
    return 0;
}

void TImaAdpcm::CodePlace(int Index, int Channel, int Channels, int& Byte, bool& High)
{
    const int j = Index - 1;
    High = (j & 1) != 0;
    if (Channels == 1)
        Byte = 4 + j / 2;
    else
        Byte = 8 + (j / 8) * 8 + (j / 2) % 4 + 4 * Channel;
}

void TImaAdpcm::EncodeBlock(const std::int16_t* Samples, int Frames, int Channels, std::uint8_t* StepIndex,
                            std::uint8_t* Block, int BlockAlign)
{
    std::memset(Block, 0, static_cast<size_t>(BlockAlign));
    for (int ch = 0; ch < Channels; ++ch) {
        // Each block starts from its own first sample, stored exactly.
        int predictor = Samples[ch];
        int index = std::min<int>(StepIndex[ch], 88);
        std::uint8_t* head = Block + 4 * static_cast<std::ptrdiff_t>(ch);
        PutLe16(head, static_cast<std::uint32_t>(predictor));
        head[2] = static_cast<std::uint8_t>(index);
        head[3] = 0;
        for (int k = 1; k < Frames; ++k) {
            const int code = CodeOf(Samples[k * Channels + ch], predictor, StepTable[index]);
            int byte = 0;
            bool high = false;
            CodePlace(k, ch, Channels, byte, high);
            Block[byte] = static_cast<std::uint8_t>(Block[byte] | (code << (high ? 4 : 0)));
            Advance(code, predictor, index);
        }
        StepIndex[ch] = static_cast<std::uint8_t>(index);
    }
}

bool TImaAdpcm::DecodeBlock(const std::uint8_t* Block, int Bytes, int Channels, int Frames, std::int16_t* Out)
{
    if (Frames <= 0)
        return true;
    Frames = std::min(Frames, FramesInBytes(Bytes, Channels));
    for (int ch = 0; ch < Channels; ++ch) {
        const std::uint8_t* head = Block + 4 * static_cast<std::ptrdiff_t>(ch);
        int predictor = GetLe16s(head);
        int index = head[2];
        if (index > 88)
            return false;
        Out[ch] = static_cast<std::int16_t>(predictor);
        // The codes of a channel come in runs of bytes, low nibble first:
        // all of them in mono, four bytes of every eight in stereo.
        const int run = Channels == 1 ? Bytes : 4;
        const int stride = Channels == 1 ? Bytes : 8;
        const std::uint8_t* codes = Block + 4 * (static_cast<std::ptrdiff_t>(Channels) + ch);
        int k = 1;
        for (int group = 0; k < Frames; group += stride) {
            for (int b = 0; b < run && k < Frames; ++b) {
                const int byte = codes[group + b];
                Advance(byte & 0x0F, predictor, index);
                Out[k++ * Channels + ch] = static_cast<std::int16_t>(predictor);
                if (k >= Frames)
                    break;
                Advance(byte >> 4, predictor, index);
                Out[k++ * Channels + ch] = static_cast<std::int16_t>(predictor);
            }
        }
    }
    return true;
}

} // namespace kestrune
