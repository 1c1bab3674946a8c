#include "recording/TLevelTrace.h"

#include <gtest/gtest.h>

using namespace kestrune;

namespace {

TRecorder::TLevel At(int Peak, std::int64_t TrackBytes, int Track = 1, int Noise = 1000)
{
    TRecorder::TLevel level;
    level.Peak = Peak;
    level.FullScale = 32768;
    level.NoiseLevel = Noise;
    level.TrackBytes = TrackBytes;
    level.Track = Track;
    level.SilenceBytes = 4000;
    return level;
}

constexpr std::int64_t Second = 4000; // bytes per second of the test's format

} // namespace

TEST(LevelTrace, MeterScaleInDecibels)
{
    const struct {
        int Value;
        int FullScale;
        double Fraction;
    } cases[] = {
        {0, 32768, 0.0}, {32768, 32768, 1.0}, {33, 32768, 0.0}, {1036, 32768, 0.5}, {128, 128, 1.0}, {-5, 128, 0.0},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(TLevelTrace::Fraction(c.Value, c.FullScale), c.Fraction, 0.01) << c.Value << "/" << c.FullScale;
}

// The hold mark follows a louder peak at once, stays for its time, then falls
// at its rate, never below the peak.
TEST(LevelTrace, HoldMarkStaysThenFalls)
{
    TLevelTrace trace;
    trace.Feed(At(32768, 0), Second, 0.0);
    EXPECT_DOUBLE_EQ(trace.Hold(), 1.0);
    trace.Feed(At(33, 100), Second, 1.0);
    EXPECT_DOUBLE_EQ(trace.Hold(), 1.0) << "held";
    trace.Feed(At(33, 200), Second, TLevelTrace::HoldSeconds + 1.5);
    // 1.5 s of falling at 20 dB/s is 30 dB: half the meter.
    EXPECT_NEAR(trace.Hold(), 0.5, 0.01);
    trace.Feed(At(33, 300), Second, TLevelTrace::HoldSeconds + 10);
    EXPECT_DOUBLE_EQ(trace.Hold(), trace.Peak());
    trace.Idle();
    EXPECT_EQ(trace.Peak(), 0);
    EXPECT_EQ(trace.Hold(), 0);
}

// One column per stretch of the track's audio, however the display samples
// fall; quiet where the level stayed under the noise level; a new track
// starts an empty strip.
TEST(LevelTrace, StripFollowsTheTrack)
{
    TLevelTrace trace(0.5);
    trace.Feed(At(20000, 0), Second, 0);
    trace.Feed(At(500, Second), Second, 0.1);      // 1 s in: quiet
    trace.Feed(At(400, 2 * Second), Second, 0.2);  // 2 s in, quiet (column 1 skipped: takes this)
    ASSERT_EQ(trace.Columns().size(), 5U);
    EXPECT_FALSE(trace.Columns()[0].Quiet);
    EXPECT_TRUE(trace.Columns()[2].Quiet);
    EXPECT_TRUE(trace.Columns()[4].Quiet);
    EXPECT_GT(trace.Columns()[0].Level, trace.Columns()[4].Level);
    EXPECT_NEAR(trace.NoiseLevel(), TLevelTrace::Fraction(1000, 32768), 1e-9);

    // A loud sample inside a quiet column makes it loud.
    trace.Feed(At(9000, 2 * Second + 10), Second, 0.3);
    EXPECT_FALSE(trace.Columns()[4].Quiet);

    trace.Feed(At(20000, 100, 2), Second, 0.4);
    EXPECT_EQ(trace.Track(), 2);
    EXPECT_EQ(trace.Columns().size(), 1U);
}

TEST(LevelTrace, QuietProgressTowardsACut)
{
    TLevelTrace trace;
    TRecorder::TLevel level = At(100, 0);
    for (const auto& [quiet, expected] : {std::pair<std::int64_t, double>{0, 0.0}, {1000, 0.25}, {4000, 1.0}, {9000, 1.0}}) {
        level.QuietBytes = quiet;
        trace.Feed(level, Second, 0);
        EXPECT_DOUBLE_EQ(trace.QuietProgress(), expected);
    }
}

// The meter shows clipping from the moment the recorder counts a new clip
// until the hold time has passed without another.
TEST(LevelTrace, ClippingShowsForTheHoldTime)
{
    TLevelTrace trace;
    TRecorder::TLevel level = At(20000, 0);
    trace.Feed(level, Second, 0.0);
    EXPECT_FALSE(trace.Clipping());
    level.Clips = 1;
    trace.Feed(level, Second, 1.0);
    EXPECT_TRUE(trace.Clipping());
    trace.Feed(level, Second, 1.0 + TLevelTrace::HoldSeconds);
    EXPECT_TRUE(trace.Clipping());
    trace.Feed(level, Second, 1.1 + TLevelTrace::HoldSeconds);
    EXPECT_FALSE(trace.Clipping());
    level.Clips = 3;
    trace.Feed(level, Second, 5.0);
    EXPECT_TRUE(trace.Clipping());
    trace.Idle();
    EXPECT_FALSE(trace.Clipping());
    trace.Reset();
    level.Clips = 0;
    trace.Feed(level, Second, 6.0);
    EXPECT_FALSE(trace.Clipping());
}
