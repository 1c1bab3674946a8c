#include "recording/TTrackSplitter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kestrune {

void TTrackSplitter::Configure(int BitsPerSample, std::int64_t SilenceBytes)
{
    FRule = TQuietRule::Sample;
    Bits = BitsPerSample;
    FrameBytes = Bits / 8;
    Silence = SilenceBytes;
}

void TTrackSplitter::Configure(int BitsPerSample, int Channels, std::int64_t SilenceBytes, int SampleRate,
                               TQuietRule Rule)
{
    FRule = Rule;
    Bits = BitsPerSample;
    FrameBytes = std::max(1, Channels) * (Bits / 8);
    Silence = SilenceBytes;
    // 10 ms windows, an eighth of whose frames must reach the level: a click
    // or a stray noise peak lasts a few frames, a sounding note most of them.
    WindowFrames = std::max(1, SampleRate / 100);
    WindowNeeds = std::max(1, WindowFrames / 8);
    DebounceFrames = std::max(1, SampleRate / 2000);
}

void TTrackSplitter::Reset()
{
    FSoundStart = FSoundEnd = FQuietStart = FQuietEnd = -1;
    WinFrames = WinLoud = 0;
    WinStart = WinFirstLoud = WinLastLoud = -1;
    RunFrames = 0;
    RunStart = -1;
}

namespace {

int Magnitude(const std::uint8_t* Sample, int Bits)
{
    switch (Bits) {
    case 8:
        return std::abs(static_cast<int>(Sample[0]) - 128);
    case 16:
        return std::abs(static_cast<int>(static_cast<std::int16_t>(Sample[0] | (Sample[1] << 8))));
    default: {
        std::int32_t v = Sample[0] | (Sample[1] << 8) | (Sample[2] << 16);
        if (v & 0x800000)
            v -= 0x1000000;
        return std::abs(v);
    }
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

void TTrackSplitter::TestSamples(const std::uint8_t* Data, int N, std::int64_t Base, int Level, TBlock& Result)
{
    const int step = Bits / 8;
    const int count = N / step;
    for (int i = 0; i < count; ++i) {
        const int magnitude = Magnitude(Data + static_cast<std::ptrdiff_t>(i) * step, Bits);
        Result.Peak = std::max(Result.Peak, magnitude);
        const std::int64_t p = Base + static_cast<std::int64_t>(i) * step;
        if (magnitude >= Level) {
            if (FSoundStart < 0)
                FSoundStart = p;
            FSoundEnd = p;
            FQuietStart = FQuietEnd = -1;
        } else if (FSoundStart >= 0) {
            if (FQuietStart < 0)
                FQuietStart = p;
            FQuietEnd = p;
        }
    }
}

void TTrackSplitter::TestFrames(const std::uint8_t* Data, int N, std::int64_t Base, int Level, TBlock& Result)
{
    const int step = Bits / 8;
    const int channels = FrameBytes / step;
    const int frames = N / FrameBytes;
    for (int f = 0; f < frames; ++f) {
        const std::uint8_t* frame = Data + static_cast<std::ptrdiff_t>(f) * FrameBytes;
        int loudest = 0;
        for (int c = 0; c < channels; ++c)
            loudest = std::max(loudest, Magnitude(frame + static_cast<std::ptrdiff_t>(c) * step, Bits));
        Result.Peak = std::max(Result.Peak, loudest);
        const bool loud = loudest >= Level;
        const std::int64_t p = Base + static_cast<std::int64_t>(f) * FrameBytes;

        if (FRule == TQuietRule::Window) {
            if (WinFrames == 0) {
                WinStart = p;
                WinLoud = 0;
                WinFirstLoud = WinLastLoud = -1;
            }
            ++WinFrames;
            if (loud) {
                if (WinFirstLoud < 0)
                    WinFirstLoud = p;
                WinLastLoud = p;
                ++WinLoud;
            }
            if (WinFrames == WindowFrames) {
                if (WinLoud >= WindowNeeds)
                    MarkSound(WinFirstLoud, WinLastLoud, p);
                else
                    MarkQuiet(WinStart, p);
                WinFrames = 0;
            }
            continue;
        }

        // Debounce.
        if (loud) {
            if (RunStart < 0) {
                RunStart = p;
                RunFrames = 0;
            }
            if (++RunFrames >= DebounceFrames)
                MarkSound(RunStart, p, p);
        } else {
            // A loud run too short to count is quiet, like the frames around it.
            MarkQuiet(RunStart >= 0 && RunFrames < DebounceFrames ? RunStart : p, p);
            RunStart = -1;
            RunFrames = 0;
        }
    }
}

TTrackSplitter::TBlock TTrackSplitter::Process(std::uint8_t* Data, int N, std::int64_t Base, int Level8, int Level16)
{
    TBlock result;
    if (N <= 0) {
        result.HandOn = N;
        return result;
    }
    const int level = Bits == 8 ? Level8 : (Bits == 16 ? Level16 : Level16 * 256);
    const bool soundBefore = FSoundStart >= 0;
    if (FRule == TQuietRule::Sample)
        TestSamples(Data, N, Base, level, result);
    else
        TestFrames(Data, N, Base, level, result);

    if (FSoundStart < 0 || (FRule == TQuietRule::Sample && Base == 0 && FSoundEnd == FSoundStart)) {
        // Nothing sounding yet, or a lone click: hold the block back.
        FSoundStart = -1;
        // The held-back bytes are gone and the next block starts at this
        // Base again: a window or run under way counts from there.
        if (WinStart >= 0)
            WinStart = Base;
        if (WinFirstLoud >= 0)
            WinFirstLoud = WinLastLoud = Base;
        if (RunStart >= 0)
            RunStart = Base;
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
            for (std::int64_t* position : {&FSoundStart, &FSoundEnd, &FQuietStart, &FQuietEnd, &WinStart,
                                           &WinFirstLoud, &WinLastLoud, &RunStart})
                Shift(*position, offset);
        }
    }

    const std::int64_t quiet = FQuietStart < 0 ? 0 : FQuietEnd - FQuietStart;
    result.QuietRun = quiet;
    if (FQuietStart >= 0 && quiet >= Silence) {
        result.HandOn = 0;
        result.Split = true;
        return result;
    }
    result.HandOn = handOn;
    return result;
}

} // namespace kestrune
