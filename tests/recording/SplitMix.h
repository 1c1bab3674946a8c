#pragma once

#include "recording/TTrackLoop.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune::test {

// Generated recordings of several songs with known boundaries, separated by
// gaps of a noise that also lies under the songs, as a sound card delivers
// a record or tape: interleaved stereo 16-bit.

enum class TNoiseKind { White, Gaussian, Hum, Crackle };
const char* NoiseName(TNoiseKind Kind);

struct TSong {
    double Seconds;
    int Peak;              // largest amplitude of the song itself
    double FadeIn = 0;     // seconds rising from nothing
    double FadeOut = 0;    // seconds falling to nothing
    double QuietIntro = 0; // seconds played at 12 % of Peak before the song proper
};

struct TMixSong {
    std::int64_t Start = 0;      // first frame of the song in the mix
    std::int64_t FirstSound = 0; // first frame where the song alone reaches the level
    std::int64_t LastSound = 0;  // last such frame
    // Where the song alone reaches twice the level, so that with the noise
    // on top it is sound whatever the noise does: a fade's first sound lies
    // between Start and FirstSure, its last between LastSure and End.
    std::int64_t FirstSure = 0;
    std::int64_t LastSure = 0;
    std::int64_t End = 0; // one past the song's last frame
};

struct TMix {
    int Rate = 22050;
    std::vector<std::int16_t> Samples; // interleaved stereo
    std::vector<TMixSong> Songs;
    std::int64_t Frames() const { return static_cast<std::int64_t>(Samples.size() / 2); }
};

// Noise alone, Seconds long: what the noise capture measures. Isolated clicks
// of the crackle appear only in the gaps of a mix, never here.
std::vector<std::int16_t> NoiseOnly(TNoiseKind Kind, double Seconds, int Rate, std::uint32_t Seed);
// Songs with Gap seconds of noise before, between and after them; FirstSound
// and LastSound are found against Level.
TMix MakeMix(TNoiseKind Kind, const std::vector<TSong>& Songs, double Gap, int Rate, int Level, std::uint32_t Seed);
// The six songs of the accuracy runs: loud and soft, fades in and out, a quiet
// intro, and a 3-second song shorter than a 5-second minimum length.
std::vector<TSong> StandardSongs();

// The recorder's track loop over a mix without the chain: 4096-byte blocks
// as the capture input hands them out, a new track after every split (the
// rest of the cut block carried into it), tracks with less sound than
// MinLength seconds dropped.
struct TSimTrack {
    std::int64_t StartFrame = 0; // first frame of the track in the mix
    std::int64_t Frames = 0;     // frames written
    std::int64_t SoundFrames = 0;
};
// The recorder's window rule, or one of the reference rules it is measured against.
enum class TSimRule { Sample, Debounce, Window };
std::vector<TSimTrack> SimulateRecorder(const TMix& Mix, TSimRule Rule, int SilenceMs, int MinLength, int Level16);

} // namespace kestrune::test
