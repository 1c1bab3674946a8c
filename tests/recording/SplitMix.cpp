#include "recording/SplitMix.h"

#include "recording/ReferenceSplitters.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>

namespace kestrune::test {

namespace {

constexpr double TwoPi = 2 * std::numbers::pi;

// The noise of one kind as a continuous signal, both channels.
class TNoise {
public:
    TNoise(TNoiseKind K, int R, std::uint32_t Seed) : Kind(K), Rate(R), Random(Seed) {}

    void Next(double& Left, double& Right)
    {
        switch (Kind) {
        case TNoiseKind::White: {
            std::uniform_int_distribution<int> d(-200, 200);
            Left = d(Random);
            Right = d(Random);
            return;
        }
        case TNoiseKind::Gaussian: {
            // Rare peaks above anything a 21-second measurement saw.
            std::normal_distribution<double> d(0, 70);
            Left = d(Random);
            Right = d(Random);
            return;
        }
        case TNoiseKind::Hum: {
            const double t = static_cast<double>(Frame++) / Rate;
            const double hum = 250 * std::sin(TwoPi * 50 * t) + 60 * std::sin(TwoPi * 150 * t + 0.3);
            std::uniform_int_distribution<int> d(-15, 15);
            Left = hum + d(Random);
            Right = hum + d(Random);
            return;
        }
        case TNoiseKind::Crackle: {
            // Hiss with dense small crackles, about 30 a second.
            std::uniform_int_distribution<int> hiss(-80, 80);
            std::uniform_real_distribution<double> u(0, 1);
            Left = hiss(Random);
            Right = hiss(Random);
            if (u(Random) < 30.0 / Rate) {
                const double a = (150 + 100 * u(Random)) * (u(Random) < 0.5 ? -1 : 1);
                Left += a;
                Right += a * 0.8;
            }
            return;
        }
        }
    }

private:
    TNoiseKind Kind;
    int Rate;
    std::mt19937 Random;
    std::int64_t Frame = 0;
};

std::int16_t Clip(double V)
{
    return static_cast<std::int16_t>(std::clamp(std::lround(V), -32768L, 32767L));
}

} // namespace

const char* NoiseName(TNoiseKind Kind)
{
    switch (Kind) {
    case TNoiseKind::White:
        return "white";
    case TNoiseKind::Gaussian:
        return "gaussian";
    case TNoiseKind::Hum:
        return "hum";
    case TNoiseKind::Crackle:
        return "crackle";
    }
    return "?";
}

std::vector<std::int16_t> NoiseOnly(TNoiseKind Kind, double Seconds, int Rate, std::uint32_t Seed)
{
    TNoise noise(Kind, Rate, Seed);
    const auto frames = static_cast<std::int64_t>(Seconds * Rate);
    std::vector<std::int16_t> out;
    out.reserve(static_cast<size_t>(frames) * 2);
    for (std::int64_t i = 0; i < frames; ++i) {
        double l = 0, r = 0;
        noise.Next(l, r);
        out.push_back(Clip(l));
        out.push_back(Clip(r));
    }
    return out;
}

std::vector<TSong> StandardSongs()
{
    return {
        {8, 12000},         // loud, starts and stops at once
        {10, 3000, 2, 3},   // soft, fades in and out
        {3, 9000},          // shorter than the minimum length
        {9, 6000, 0, 0, 2}, // quiet intro
        {8, 1500, 0, 4},    // soft with a long fade-out to the noise
        {7, 10000, 0.5, 0.5},
    };
}

TMix MakeMix(TNoiseKind Kind, const std::vector<TSong>& Songs, double Gap, int Rate, int Level, std::uint32_t Seed)
{
    TMix mix;
    mix.Rate = Rate;
    const auto gapFrames = static_cast<std::int64_t>(Gap * Rate);
    std::int64_t total = gapFrames;
    for (const TSong& s : Songs)
        total += static_cast<std::int64_t>(s.Seconds * Rate) + gapFrames;

    // Noise under everything.
    TNoise noise(Kind, Rate, Seed);
    std::vector<double> work(static_cast<size_t>(total) * 2);
    for (std::int64_t i = 0; i < total; ++i)
        noise.Next(work[static_cast<size_t>(2 * i)], work[static_cast<size_t>(2 * i + 1)]);

    static const double scale[] = {220, 247, 262, 294, 330, 349, 392, 440};
    std::mt19937 random(Seed ^ 0x5eedU);
    std::int64_t at = gapFrames;
    for (size_t n = 0; n < Songs.size(); ++n) {
        const TSong& s = Songs[n];
        const auto frames = static_cast<std::int64_t>(s.Seconds * Rate);
        TMixSong placed;
        placed.Start = at;
        placed.FirstSound = -1;
        placed.FirstSure = -1;
        placed.End = at + frames;
        double phase = 0;
        for (std::int64_t i = 0; i < frames; ++i) {
            const double t = static_cast<double>(i) / Rate;
            // A new note every 0.4 s, with two overtones and a slow tremolo.
            const auto note = static_cast<size_t>((static_cast<std::uint64_t>(t / 0.4) * 7 + n * 3) % 8);
            phase += TwoPi * scale[note] / Rate;
            const double wave = 0.6 * std::sin(phase) + 0.3 * std::sin(2 * phase) + 0.1 * std::sin(3 * phase);
            const double wave2 =
                0.6 * std::sin(phase + 0.5) + 0.3 * std::sin(2 * phase + 0.5) + 0.1 * std::sin(3 * phase);
            double env = (0.8 + 0.2 * std::sin(TwoPi * 2.5 * t));
            if (t < s.QuietIntro)
                env *= 0.12;
            if (s.FadeIn > 0)
                env *= std::min(1.0, t / s.FadeIn);
            if (s.FadeOut > 0)
                env *= std::min(1.0, (s.Seconds - t) / s.FadeOut);
            const double l = s.Peak * env * wave;
            const double r = s.Peak * env * wave2;
            if (std::max(std::abs(l), std::abs(r)) >= Level) {
                if (placed.FirstSound < 0)
                    placed.FirstSound = at + i;
                placed.LastSound = at + i;
            }
            if (std::max(std::abs(l), std::abs(r)) >= 2.0 * Level) {
                if (placed.FirstSure < 0)
                    placed.FirstSure = at + i;
                placed.LastSure = at + i;
            }
            work[static_cast<size_t>(2 * (at + i))] += l;
            work[static_cast<size_t>(2 * (at + i) + 1)] += r;
        }
        mix.Songs.push_back(placed);
        at += frames;
        if (Kind == TNoiseKind::Crackle && n + 1 < Songs.size()) {
            // Two isolated clicks in the gap that follows, far louder than
            // anything the measurement heard.
            std::uniform_int_distribution<std::int64_t> where(at + Rate / 10, at + gapFrames - Rate / 10);
            for (int c = 0; c < 2; ++c) {
                const std::int64_t p = where(random);
                double a = 7000;
                for (int k = 0; k < 6; ++k, a *= -0.6) {
                    work[static_cast<size_t>(2 * (p + k))] += a;
                    work[static_cast<size_t>(2 * (p + k) + 1)] += a * 0.9;
                }
            }
        }
        at += gapFrames;
    }
    mix.Samples.reserve(work.size());
    for (double v : work)
        mix.Samples.push_back(Clip(v));
    return mix;
}

namespace {

template <class TSplitter>
std::vector<TSimTrack> Simulate(const TMix& Mix, int SilenceMs, int MinLength, int Level16)
{
    constexpr int FrameBytes = 4;
    const std::int64_t bytesPerSecond = static_cast<std::int64_t>(Mix.Rate) * FrameBytes;
    const auto* data = reinterpret_cast<const std::uint8_t*>(Mix.Samples.data());
    const auto size = static_cast<std::int64_t>(Mix.Samples.size() * 2);

    // The recorder's own loop, fed as the capture input hands out audio.
    TTrackLoopOf<TSplitter> loop;
    loop.Configure(16, 2, Mix.Rate, SilenceMs * bytesPerSecond / 1000, MinLength * bytesPerSecond);
    std::int64_t pos = 0;
    const typename TTrackLoopOf<TSplitter>::TRead read = [&](void* Buffer, int Size) {
        const int n = static_cast<int>(std::min<std::int64_t>({4096, Size, size - pos}));
        std::memcpy(Buffer, data + pos, static_cast<size_t>(n));
        pos += n;
        return n;
    };
    std::vector<TSimTrack> tracks;
    std::uint8_t block[16384];
    for (;;) {
        loop.BeginTrack();
        std::int64_t start = -1;
        for (int n; (n = loop.Next(block, sizeof block, read, 0, Level16)) != 0;) {
            // The first bytes handed on end where the capture has got to,
            // less what is still carried.
            if (n > 0 && start < 0)
                start = pos - static_cast<std::int64_t>(loop.CarriedBytes()) - n;
        }
        const auto end = loop.EndTrack();
        if (end.Kept && loop.Written() > 0)
            tracks.push_back({start / FrameBytes, loop.Written() / FrameBytes, end.SoundBytes / FrameBytes});
        if (!loop.Split() || (pos >= size && !loop.HasCarry()))
            break;
    }
    return tracks;
}

} // namespace

std::vector<TSimTrack> SimulateRecorder(const TMix& Mix, TSimRule Rule, int SilenceMs, int MinLength, int Level16)
{
    switch (Rule) {
    case TSimRule::Sample:
        return Simulate<TSampleSplitter>(Mix, SilenceMs, MinLength, Level16);
    case TSimRule::Debounce:
        return Simulate<TDebounceSplitter>(Mix, SilenceMs, MinLength, Level16);
    default:
        return Simulate<TTrackSplitter>(Mix, SilenceMs, MinLength, Level16);
    }
}

} // namespace kestrune::test
