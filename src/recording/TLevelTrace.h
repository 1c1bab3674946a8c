#pragma once

#include "common/TMeterScale.h"
#include "recording/TRecorder.h"

#include <cstdint>
#include <vector>

namespace kestrune {

// What the level meter and the level strip under it show, without drawing
// it: fed at display rate with the level the recorder publishes, it keeps the
// meter's peak and its falling hold mark, and the current track's level over
// time, one column per ColumnSeconds of the track's audio, each marked quiet
// when its loudest sample stayed under the noise level (the quiet the
// splitter counts towards a cut). Levels are fractions of the meter on a
// decibel scale: 0 at MeterFloorDb and below, 1 at full scale.
// Window thread only.
class TLevelTrace {
public:
    static constexpr double MeterFloorDb = TMeterScale::FloorDb;
    // How long the hold mark stays before it falls, and how fast it falls.
    static constexpr double HoldSeconds = 1.5;
    static constexpr double FallDbPerSecond = 20.0;

    struct TColumn {
        double Level = 0; // the loudest the track was in this stretch
        bool Quiet = false;
    };

    explicit TLevelTrace(double ColumnSeconds = 0.25) : Seconds(ColumnSeconds) {}

    // A recording starts: everything back to nothing.
    void Reset();
    // What the recorder publishes now; NowSeconds is a steady clock's time
    // (for the hold mark), BytesPerSecond the capture format's.
    void Feed(const TRecorder::TLevel& Level, std::int64_t BytesPerSecond, double NowSeconds);
    // The recording ended: the meter drops to nothing, the strip stays.
    void Idle();

    double Peak() const { return FPeak; }
    double Hold() const { return FHold; }
    double NoiseLevel() const { return FNoise; }
    // The input clipped within the last HoldSeconds: the meter shows it.
    bool Clipping() const { return FClipping; }
    // How far the quiet run now going on is towards a cut: 0 to 1.
    double QuietProgress() const { return FQuietProgress; }
    const std::vector<TColumn>& Columns() const { return FColumns; }
    int Track() const { return FTrack; }
    double ColumnSeconds() const { return Seconds; }

    // A sample magnitude as a fraction of the meter.
    static double Fraction(int Value, int FullScale);

private:
    double Seconds;
    double FPeak = 0;
    double FHold = 0;
    double HoldSince = 0;
    bool FClipping = false;
    std::int64_t LastClips = 0;
    double ClippedAt = 0;
    double FNoise = 0;
    double FQuietProgress = 0;
    int FTrack = 0;
    std::int64_t LastTrackBytes = 0;
    std::vector<TColumn> FColumns;
};

} // namespace kestrune
