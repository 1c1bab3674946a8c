#include "recording/TTrackLoop.h"
#include "recording/TTrackSplitter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace kestrune;

namespace {

std::vector<std::uint8_t> Block16(const std::vector<int>& Samples)
{
    std::vector<std::uint8_t> out;
    for (int s : Samples) {
        const auto v = static_cast<std::uint16_t>(static_cast<std::int16_t>(s));
        out.push_back(static_cast<std::uint8_t>(v & 0xFF));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    return out;
}

// Feeds one block as the recorder's handler would; Base follows what was handed on.
struct TTrack {
    TTrackSplitter Splitter;
    std::int64_t Position = 0;
    std::vector<std::uint8_t> Written;

    TTrackSplitter::TBlock Feed(std::vector<std::uint8_t> Data, int Level8 = 10, int Level16 = 1500)
    {
        const auto r = Splitter.Process(Data.data(), static_cast<int>(Data.size()), Position, Level8, Level16);
        if (r.HandOn > 0) {
            Written.insert(Written.end(), Data.begin(), Data.begin() + r.HandOn);
            Position += r.HandOn;
        }
        return r;
    }
};

} // namespace

// At 800 Hz a window is 8 frames, and one loud frame makes it sound: small
// blocks show the positions exactly.
constexpr int SmallRate = 800;

TEST(TrackSplitter, LevelTestUsesTheMagnitude)
{
    struct TCase {
        int Bits;
        std::vector<std::uint8_t> Sample;
        bool Sound;
    };
    // Level8 10, Level16 1500. Negative swings are as loud as positive ones.
    const TCase cases[] = {
        {8, {137}, false},
        {8, {138}, true},
        {8, {119}, false},
        {8, {118}, true},
        {8, {0}, true},
        {16, Block16({1499}), false},
        {16, Block16({1500}), true},
        {16, Block16({-1499}), false},
        {16, Block16({-20000}), true},
        {24, {0x00, 0xDC, 0x05}, true},  // 384000 = 1500 * 256: the 24-bit level itself
        {24, {0xFF, 0xDB, 0x05}, false}, // 383999: just below 1500 * 256
    };
    for (const TCase& c : cases) {
        TTrackSplitter s;
        s.Configure(c.Bits, 1, 1000, SmallRate);
        s.Reset();
        std::vector<std::uint8_t> data;
        for (int i = 0; i < 8; ++i)
            data.insert(data.end(), c.Sample.begin(), c.Sample.end());
        const auto r = s.Process(data.data(), static_cast<int>(data.size()), 0, 10, 1500);
        EXPECT_EQ(s.SoundStart() >= 0, c.Sound) << "bits " << c.Bits << " first byte " << int(c.Sample[0]);
        EXPECT_EQ(r.HandOn > 0, c.Sound);
    }
}

TEST(TrackSplitter, QuietBeforeFirstSoundIsHeldBack)
{
    TTrack t;
    t.Splitter.Configure(16, 1, 100, SmallRate);
    t.Splitter.Reset();
    EXPECT_EQ(t.Feed(Block16({10, -20, 1400, -1400, 0, 0, 0, 0})).HandOn, -1);
    EXPECT_EQ(t.Splitter.SoundStart(), -1);
    EXPECT_TRUE(t.Written.empty());

    // The track starts exactly at its first sound sample.
    const auto r = t.Feed(Block16({0, 0, 5000, -6000, 7000, 0, 0, 0}));
    EXPECT_EQ(r.HandOn, 12);
    EXPECT_EQ(t.Written, Block16({5000, -6000, 7000, 0, 0, 0}));
    EXPECT_EQ(t.Splitter.SoundStart(), 0);
    EXPECT_EQ(t.Splitter.SoundEnd(), 4);
    EXPECT_EQ(t.Splitter.QuietStart(), 6);
    EXPECT_EQ(r.Peak, 7000);
}

TEST(TrackSplitter, QuietRunOfExactlySilenceBytesEndsTrack)
{
    for (int silence : {14, 15}) {
        TTrack t;
        t.Splitter.Configure(16, 1, silence, SmallRate);
        t.Splitter.Reset();
        ASSERT_EQ(t.Feed(Block16({4000, 4000, 4000, 4000, 4000, 4000, 4000, 4000})).HandOn, 16);
        // A quiet window at positions 16 to 30: a run of 14 bytes first to last.
        const auto r = t.Feed(Block16({0, 0, 0, 0, 0, 0, 0, 0}));
        EXPECT_EQ(r.QuietRun, 14);
        // Either way the whole block is the track's: the cut (just after the
        // sample that completed the run) is at its end.
        EXPECT_EQ(r.HandOn, 16);
        EXPECT_EQ(r.Carry, r.Valid);
        EXPECT_EQ(r.Split, silence == 14);
    }
}

TEST(TrackSplitter, SoundInsideQuietRunForgetsIt)
{
    TTrack t;
    t.Splitter.Configure(16, 1, 100, SmallRate);
    t.Splitter.Reset();
    t.Feed(Block16({4000, 4000, 4000, 4000, 4000, 4000, 4000, 4000}));
    t.Feed(Block16({0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(t.Splitter.QuietStart(), 16);
    t.Feed(Block16({0, 0, 9000, 0, 0, 0, 0, 0}));
    // The run restarted after the new sound, so it is short again.
    EXPECT_EQ(t.Splitter.QuietStart(), 38);
    EXPECT_EQ(t.Splitter.QuietEnd(), 46);
    EXPECT_EQ(t.Splitter.SoundEnd(), 36);
    EXPECT_EQ(t.Splitter.SoundLength(), 36);
}

TEST(TrackSplitter, WindowsCountAlikeWhereverTheBlocksEnd)
{
    // 8 kHz stereo: windows of 80 frames, 10 loud ones make a window sound.
    // Sound from the first frame, then quiet with a click
    // of 5 loud frames, then a window with exactly 10 loud frames, then quiet.
    std::vector<int> samples;
    const auto frames = [&](int Count, int Left, int Right) {
        for (int i = 0; i < Count; ++i) {
            samples.push_back(Left);
            samples.push_back(Right);
        }
    };
    frames(200, 4000, -4000);
    frames(155, 10, 0);
    frames(5, 0, -9000); // the click: the right channel alone
    frames(120, 0, 10);
    frames(10, 2000, 0); // frames 480..489, inside the window 480..559
    frames(230, -5, 5);
    const std::vector<std::uint8_t> stream = Block16(samples);
    const int frameBytes = 4;

    for (int blockFrames : {1, 7, 80, 93, 1000}) {
        // Through the track loop, which feeds an undecided window again with
        // the next block instead of dropping it.
        TTrackLoop loop;
        loop.Configure(16, 2, 8000, 1 << 20, 0);
        size_t at = 0;
        const TTrackLoop::TRead read = [&](void* Buffer, int Size) {
            const size_t n = std::min(
                {stream.size() - at, static_cast<size_t>(Size), static_cast<size_t>(blockFrames * frameBytes)});
            std::memcpy(Buffer, stream.data() + at, n);
            at += n;
            return static_cast<int>(n);
        };
        std::vector<std::uint8_t> written;
        std::vector<std::uint8_t> block(4096);
        int peak = 0;
        for (int n; (n = loop.Next(block.data(), static_cast<int>(block.size()), read, 10, 1500)) != 0;) {
            peak = std::max(peak, loop.Peak());
            if (n > 0)
                written.insert(written.end(), block.begin(), block.begin() + n);
        }
        SCOPED_TRACE(blockFrames);
        const TTrackSplitter& s = loop.Splitter();
        // Nothing is held back: the sound starts at the first frame, however
        // the blocks fall.
        EXPECT_EQ(written, stream);
        EXPECT_EQ(peak, 9000);
        EXPECT_EQ(s.SoundStart(), 0);
        EXPECT_EQ(s.SoundEnd(), 489 * frameBytes) << "the click's window stays quiet";
        EXPECT_EQ(s.QuietStart(), 490 * frameBytes);
        EXPECT_EQ(s.QuietEnd(), 719 * frameBytes) << "quiet up to the last whole window";
    }
}
