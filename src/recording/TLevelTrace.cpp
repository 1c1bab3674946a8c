#include "recording/TLevelTrace.h"

#include <algorithm>

namespace kestrune {

double TLevelTrace::Fraction(int Value, int FullScale)
{
    if (Value <= 0 || FullScale <= 0)
        return 0;
    return TMeterScale::Position(static_cast<double>(Value) / FullScale);
}

void TLevelTrace::Reset()
{
    FPeak = FHold = FNoise = FQuietProgress = 0;
    HoldSince = 0;
    FClipping = false;
    LastClips = 0;
    ClippedAt = 0;
    FTrack = 0;
    LastTrackBytes = 0;
    FColumns.clear();
}

void TLevelTrace::Idle()
{
    FPeak = FHold = FQuietProgress = 0;
    FClipping = false;
}

void TLevelTrace::Feed(const TRecorder::TLevel& Level, std::int64_t BytesPerSecond, double NowSeconds)
{
    FPeak = Fraction(Level.Peak, Level.FullScale);
    FNoise = Fraction(Level.NoiseLevel, Level.FullScale);
    FQuietProgress =
        Level.SilenceBytes > 0
            ? std::clamp(static_cast<double>(Level.QuietBytes) / static_cast<double>(Level.SilenceBytes), 0.0, 1.0)
            : 0.0;

    // The hold mark jumps up with the peak, stays a while, then falls.
    if (FPeak >= FHold) {
        FHold = FPeak;
        HoldSince = NowSeconds;
    } else if (NowSeconds - HoldSince > HoldSeconds) {
        const double fall = (NowSeconds - HoldSince - HoldSeconds) * FallDbPerSecond / -MeterFloorDb;
        FHold = std::max(FPeak, FHold - fall);
        HoldSince = NowSeconds - HoldSeconds; // fall from here on, not again from the start
    }

    if (Level.Clips != LastClips) {
        LastClips = Level.Clips;
        ClippedAt = NowSeconds;
    }
    FClipping = Level.Clips > 0 && NowSeconds - ClippedAt <= HoldSeconds;

    // A new track (or the audio of the current one starting again from its
    // beginning) starts an empty strip.
    if (Level.Track != FTrack || Level.TrackBytes < LastTrackBytes) {
        FColumns.clear();
        FTrack = Level.Track;
    }
    LastTrackBytes = Level.TrackBytes;
    if (BytesPerSecond <= 0 || Seconds <= 0)
        return;
    const double at = static_cast<double>(Level.TrackBytes) / static_cast<double>(BytesPerSecond);
    const auto column = static_cast<size_t>(at / Seconds);
    const bool quiet = Level.Peak < Level.NoiseLevel;
    // Columns the display rate skipped (a fast source) take what is known now.
    while (FColumns.size() <= column)
        FColumns.push_back({FPeak, quiet});
    TColumn& current = FColumns[column];
    current.Level = std::max(current.Level, FPeak);
    current.Quiet = current.Quiet && quiet;
}

} // namespace kestrune
