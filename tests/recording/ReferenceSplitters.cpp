#include "recording/ReferenceSplitters.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kestrune::test {

namespace {

int Magnitude(const std::uint8_t* Sample, int Bits)
{
    if (Bits == 8)
        return std::abs(static_cast<int>(Sample[0]) - 128);
    if (Bits == 16)
        return std::abs(static_cast<int>(static_cast<std::int16_t>(Sample[0] | (Sample[1] << 8))));
    std::int32_t v = Sample[0] | (Sample[1] << 8) | (Sample[2] << 16);
    if (v & 0x800000)
        v -= 0x1000000;
    return std::abs(v);
}

} // namespace

template <TReferenceRule Rule>
void TReferenceSplitter<Rule>::Configure(int BitsPerSample, int Channels, std::int64_t SilenceBytes, int SampleRate)
{
    Bits = BitsPerSample;
    FrameBytes = std::max(1, Channels) * (Bits / 8);
    Silence = SilenceBytes;
    DebounceFrames = std::max(1, SampleRate / 2000);
}

template <TReferenceRule Rule>
void TReferenceSplitter<Rule>::Reset()
{
    SoundStart = SoundEnd = QuietStart = QuietEnd = -1;
    RunFrames = 0;
    RunStart = -1;
}

template <TReferenceRule Rule>
void TReferenceSplitter<Rule>::MarkQuiet(std::int64_t First, std::int64_t Last)
{
    if (SoundStart < 0)
        return;
    if (QuietStart < 0)
        QuietStart = First;
    QuietEnd = Last;
}

template <TReferenceRule Rule>
TTrackSplitter::TBlock TReferenceSplitter<Rule>::Process(std::uint8_t* Data, int N, std::int64_t Base, int Level8,
                                                         int Level16)
{
    TTrackSplitter::TBlock result;
    if (N <= 0) {
        result.HandOn = N;
        return result;
    }
    const int level = Bits == 8 ? Level8 : (Bits == 16 ? Level16 : Level16 * 256);
    const bool soundBefore = SoundStart >= 0;
    const int step = Bits / 8;
    if constexpr (Rule == TReferenceRule::Sample) {
        for (int i = 0; i < N / step; ++i) {
            const int magnitude = Magnitude(Data + static_cast<std::ptrdiff_t>(i) * step, Bits);
            result.Peak = std::max(result.Peak, magnitude);
            const std::int64_t p = Base + static_cast<std::int64_t>(i) * step;
            if (magnitude >= level) {
                if (SoundStart < 0)
                    SoundStart = p;
                SoundEnd = p;
                QuietStart = QuietEnd = -1;
            } else {
                MarkQuiet(p, p);
            }
        }
    } else {
        for (int f = 0; f < N / FrameBytes; ++f) {
            int magnitude = 0;
            for (int c = 0; c < FrameBytes / step; ++c)
                magnitude = std::max(magnitude, Magnitude(Data + f * FrameBytes + c * step, Bits));
            result.Peak = std::max(result.Peak, magnitude);
            const std::int64_t p = Base + static_cast<std::int64_t>(f) * FrameBytes;
            if (magnitude >= level) {
                if (RunStart < 0) {
                    RunStart = p;
                    RunFrames = 0;
                }
                if (++RunFrames >= DebounceFrames) {
                    if (SoundStart < 0)
                        SoundStart = RunStart;
                    SoundEnd = p;
                    QuietStart = QuietEnd = -1;
                }
            } else {
                // A loud run too short to count is quiet, like the frames around it.
                MarkQuiet(RunStart >= 0 && RunFrames < DebounceFrames ? RunStart : p, p);
                RunStart = -1;
                RunFrames = 0;
            }
        }
    }

    result.Valid = result.Carry = N;
    const bool click = Rule == TReferenceRule::Sample && Base == 0 && SoundEnd == SoundStart;
    if (SoundStart < 0 || click) {
        SoundStart = -1;
        if (RunStart >= 0) {
            result.Carry = static_cast<int>(std::clamp<std::int64_t>(RunStart - Base, 0, N));
            RunStart = -1;
            RunFrames = 0;
        }
        result.HandOn = -1;
        return result;
    }
    int handOn = N;
    if (!soundBefore) {
        const std::int64_t offset = SoundStart - Base;
        if (offset > 0) {
            std::memmove(Data, Data + offset, static_cast<size_t>(N - offset));
            handOn = N - static_cast<int>(offset);
            for (std::int64_t* position : {&SoundStart, &SoundEnd, &QuietStart, &QuietEnd, &RunStart})
                if (*position >= 0)
                    *position -= offset;
        }
    }
    const std::int64_t quiet = QuietStart < 0 ? 0 : QuietEnd - QuietStart;
    result.QuietRun = quiet;
    result.Valid = result.Carry = handOn;
    if (QuietStart >= 0 && quiet >= Silence) {
        std::int64_t cut = QuietStart + Silence - Base + 1;
        cut = (cut + FrameBytes - 1) / FrameBytes * FrameBytes;
        result.HandOn = result.Carry = static_cast<int>(std::clamp<std::int64_t>(cut, 0, handOn));
        result.Split = true;
        return result;
    }
    result.HandOn = handOn;
    return result;
}

template class TReferenceSplitter<TReferenceRule::Sample>;
template class TReferenceSplitter<TReferenceRule::Debounce>;

} // namespace kestrune::test
