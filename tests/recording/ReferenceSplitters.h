#pragma once

#include "recording/TTrackSplitter.h"

#include <cstdint>

namespace kestrune::test {

// The two rules the recorder's window rule is measured against, with the
// splitter's interface so that they run through the same track loop.
//
// Sample: every sample on its own; any sample at or above the level is sound
// and ends the quiet run. Exact on clean quiet, but the noise level is the
// largest sample measured over a few seconds, so real noise crosses it now
// and then and the quiet run starts again: gaps are missed and songs run
// together. A lone loud sample before anything was handed on is a click.
// Debounce: sound must last 0.5 ms (consecutive loud frames). Ignores clicks,
// but a fade-out whose crests only just reach the level never makes a run
// that long, so the track ends early.
enum class TReferenceRule { Sample, Debounce };

template <TReferenceRule Rule>
class TReferenceSplitter {
public:
    void Configure(int BitsPerSample, int Channels, std::int64_t SilenceBytes, int SampleRate);
    void Reset();
    TTrackSplitter::TBlock Process(std::uint8_t* Data, int N, std::int64_t Base, int Level8, int Level16);
    std::int64_t SoundLength() const { return SoundStart < 0 ? 0 : SoundEnd - SoundStart; }

private:
    void MarkQuiet(std::int64_t First, std::int64_t Last);

    int Bits = 16;
    int FrameBytes = 4;
    std::int64_t Silence = 0;
    int DebounceFrames = 1;
    std::int64_t SoundStart = -1, SoundEnd = -1, QuietStart = -1, QuietEnd = -1;
    int RunFrames = 0;
    std::int64_t RunStart = -1;
};

using TSampleSplitter = TReferenceSplitter<TReferenceRule::Sample>;
using TDebounceSplitter = TReferenceSplitter<TReferenceRule::Debounce>;

} // namespace kestrune::test
