#include "recording/TTrackSplitter.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace kestrune {

void TTrackSplitter::Configure(int BitsPerSample, int Channels, std::int64_t SilenceBytes, int SampleRate)
{
    Bits = BitsPerSample;
    FrameBytes = std::max(1, Channels) * (Bits / 8);
    Silence = SilenceBytes;
    // 10 ms windows, an eighth of whose frames must reach the level: a click
    // or a stray noise peak lasts a few frames, a sounding note most of them.
    WindowFrames = std::max(1, SampleRate / 100);
    WindowNeeds = std::max(1, WindowFrames / 8);
}

void TTrackSplitter::Reset()
{
    FSoundStart = FSoundEnd = FQuietStart = FQuietEnd = -1;
    WinFrames = WinLoud = 0;
    WinStart = WinFirstLoud = WinLastLoud = -1;
}

namespace {

template <int Bits>
int MagnitudeOf(const std::uint8_t* Sample)
{
    if constexpr (Bits == 8) {
        return std::abs(static_cast<int>(Sample[0]) - 128);
    } else if constexpr (Bits == 16) {
        std::int16_t v;
        if constexpr (std::endian::native == std::endian::little)
            std::memcpy(&v, Sample, sizeof v);
        else
            v = static_cast<std::int16_t>(Sample[0] | (Sample[1] << 8));
        return std::abs(static_cast<int>(v));
    } else {
        std::int32_t v = Sample[0] | (Sample[1] << 8) | (Sample[2] << 16);
        if (v & 0x800000)
            v -= 0x1000000;
        return std::abs(v);
    }
}

void Shift(std::int64_t& Position, std::int64_t By)
{
    if (Position >= 0)
        Position -= By;
}

} // namespace

void TTrackSplitter::MarkSound(std::int64_t First, std::int64_t Last, std::int64_t End)
{
    if (FSoundStart < 0)
        FSoundStart = First;
    FSoundEnd = Last;
    if (Last < End) {
        FQuietStart = Last + FrameBytes;
        FQuietEnd = End;
    } else {
        FQuietStart = FQuietEnd = -1;
    }
}

void TTrackSplitter::MarkQuiet(std::int64_t First, std::int64_t Last)
{
    if (FSoundStart < 0)
        return;
    if (FQuietStart < 0)
        FQuietStart = First;
    FQuietEnd = Last;
}

namespace {

// The loudest sample of a frame.
template <int Bits, int Channels>
int FrameMagnitude(const std::uint8_t* Frame)
{
    int loudest = MagnitudeOf<Bits>(Frame);
    for (int c = 1; c < Channels; ++c)
        loudest = std::max(loudest, MagnitudeOf<Bits>(Frame + static_cast<std::ptrdiff_t>(c) * (Bits / 8)));
    return loudest;
}

} // namespace

template <int Bits, int Channels>
void TTrackSplitter::TestFramesOf(const std::uint8_t* Data, int N, std::int64_t Base, int Level, TBlock& Result)
{
    constexpr int frameBytes = Bits / 8 * Channels;
    const int frames = N / frameBytes;
    const auto position = [&](int Frame) { return Base + static_cast<std::int64_t>(Frame) * frameBytes; };
    int peak = Result.Peak;

    {
        int f = 0;
        while (f < frames) {
            // The frames of the window under way that lie in this block.
            const int take = std::min(WindowFrames - WinFrames, frames - f);
            if (WinFrames == 0) {
                WinStart = position(f);
                WinLoud = 0;
                WinFirstLoud = WinLastLoud = -1;
            }
            // Count first (a loop without branches), then look for the first
            // and the last loud frame only where there are any.
            const std::uint8_t* part = Data + static_cast<std::ptrdiff_t>(f) * frameBytes;
            const auto loudAt = [&](int I) {
                return FrameMagnitude<Bits, Channels>(part + static_cast<std::ptrdiff_t>(I) * frameBytes) >= Level;
            };
            int loud = 0;
            for (int i = 0; i < take; ++i) {
                const int magnitude =
                    FrameMagnitude<Bits, Channels>(part + static_cast<std::ptrdiff_t>(i) * frameBytes);
                peak = std::max(peak, magnitude);
                loud += magnitude >= Level;
            }
            if (loud > 0) {
                WinLoud += loud;
                if (WinFirstLoud < 0) {
                    int first = 0;
                    while (!loudAt(first))
                        ++first;
                    WinFirstLoud = position(f + first);
                }
                int last = take - 1;
                while (!loudAt(last))
                    --last;
                WinLastLoud = position(f + last);
            }
            WinFrames += take;
            f += take;
            if (WinFrames == WindowFrames) {
                if (WinLoud >= WindowNeeds)
                    MarkSound(WinFirstLoud, WinLastLoud, position(f - 1));
                else
                    MarkQuiet(WinStart, position(f - 1));
                WinFrames = 0;
            }
        }
    }
    Result.Peak = peak;
}

void TTrackSplitter::TestFrames(const std::uint8_t* Data, int N, std::int64_t Base, int Level, TBlock& Result)
{
    // The sample format is fixed for a whole recording: one loop for each,
    // with the sample test inlined.
    const bool stereo = FrameBytes == 2 * (Bits / 8);
    switch (Bits) {
    case 8:
        return stereo ? TestFramesOf<8, 2>(Data, N, Base, Level, Result)
                      : TestFramesOf<8, 1>(Data, N, Base, Level, Result);
    case 16:
        return stereo ? TestFramesOf<16, 2>(Data, N, Base, Level, Result)
                      : TestFramesOf<16, 1>(Data, N, Base, Level, Result);
    default:
        return stereo ? TestFramesOf<24, 2>(Data, N, Base, Level, Result)
                      : TestFramesOf<24, 1>(Data, N, Base, Level, Result);
    }
}

TTrackSplitter::TBlock TTrackSplitter::Process(std::uint8_t* Data, int N, std::int64_t Base, int Level8, int Level16)
{
    TBlock result;
    if (N <= 0) {
        result.HandOn = N;
        return result;
    }
    // A noise level of 0 (measured on a line that is digital silence, as the
    // monitor of a desktop's sound server is while nothing plays) would make
    // every sample sound and no track ever end: digital silence is quiet.
    const int level = std::max(1, Bits == 8 ? Level8 : (Bits == 16 ? Level16 : Level16 * 256));
    const bool soundBefore = FSoundStart >= 0;
    TestFrames(Data, N, Base, level, result);

    result.Valid = N;
    result.Carry = N;
    if (FSoundStart < 0) {
        // Nothing sounding yet: hold the block back.
        FSoundStart = -1;
        // A window still undecided at the end of the block
        // may be the start of the sound: its frames are tested again in front
        // of the next block rather than lost with the quiet before them.
        if (WinFrames > 0 && WinLoud > 0) {
            result.Carry = static_cast<int>(std::clamp<std::int64_t>(WinStart - Base, 0, N));
            WinFrames = WinLoud = 0;
            WinStart = WinFirstLoud = WinLastLoud = -1;
        }
        // The held-back bytes are gone and the next block starts at this
        // Base again: a window under way counts from there.
        if (WinStart >= 0)
            WinStart = Base;
        if (WinFirstLoud >= 0)
            WinFirstLoud = WinLastLoud = Base;
        result.HandOn = -1;
        return result;
    }

    int handOn = N;
    if (!soundBefore) {
        // The track begins in this block: hand on from its first sound sample,
        // and count positions from there.
        const std::int64_t offset = FSoundStart - Base;
        if (offset > 0) {
            std::memmove(Data, Data + offset, static_cast<size_t>(N - offset));
            handOn = N - static_cast<int>(offset);
            for (std::int64_t* position :
                 {&FSoundStart, &FSoundEnd, &FQuietStart, &FQuietEnd, &WinStart, &WinFirstLoud, &WinLastLoud})
                Shift(*position, offset);
        }
    }

    const std::int64_t quiet = FQuietStart < 0 ? 0 : FQuietEnd - FQuietStart;
    result.QuietRun = quiet;
    result.Valid = handOn;
    result.Carry = handOn;
    if (FQuietStart >= 0 && quiet >= Silence) {
        // The cut: just after the frame with which the quiet run reached the
        // silence length. What follows it in the block is the next track's.
        std::int64_t cut = FQuietStart + Silence - Base + 1;
        cut = (cut + FrameBytes - 1) / FrameBytes * FrameBytes;
        result.HandOn = static_cast<int>(std::clamp<std::int64_t>(cut, 0, handOn));
        result.Carry = result.HandOn;
        result.Split = true;
        return result;
    }
    result.HandOn = handOn;
    return result;
}

} // namespace kestrune
