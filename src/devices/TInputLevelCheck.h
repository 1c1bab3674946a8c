#pragma once

#include <cstdint>
#include <string>

namespace kestrune {

// What the first seconds of a capture say about the recording level.
enum class TInputLevelWarning {
    ilNone,
    ilNearSilence, // the input stayed near silence: the line is muted, turned down or not playing
    ilClipping,    // the input reached full scale: it is too loud and is being cut off
};

// Watches the first seconds of a capture for the two levels a user must be
// told about, since Kestrune sets no volume itself: an input that stays near
// silence (a muted or turned-down recording line, or the wrong line) and one
// that clips. The recorder and the noise capture feed it every block they
// read from the device, and say once what it found.
//
// Near silence: the loudest sample of the first CheckSeconds stays below
// NearSilenceDbfs. Clipping: within those seconds, one channel holds the same
// full-scale value (the highest or the lowest the depth has) for ClipRun
// samples in a row; a single sample at full scale is what a loud master
// reaches by itself and is not taken for clipping.
//
// PCM as captured: 8-bit unsigned, 16- and 24-bit signed little-endian,
// interleaved. Blocks may end anywhere, also inside a sample or a frame.
// One thread at a time (the capture's worker).
class TInputLevelCheck {
public:
    static constexpr double CheckSeconds = 3.0;
    static constexpr double NearSilenceDbfs = -60.0;
    static constexpr int ClipRun = 3;

    // Starts over for audio of this format; a format it cannot read leaves
    // the check finished, saying nothing.
    void Reset(int BitsPerSample, int Channels, int SampleRate);

    // Looks at the next block. The warning the first time one is reached,
    // ilNone otherwise: at most one warning from Reset to Reset.
    TInputLevelWarning Feed(const void* Data, int Bytes);
    // True once the first seconds are over or a warning was given.
    bool Finished() const { return Done; }
    // Full-scale runs seen since Reset, also after the first seconds: the
    // meters show clipping with it.
    std::int64_t Clips() const { return ClipCount; }

    // What the user reads, with what to do. Noise: the noise-level capture,
    // during which nothing should play.
    static std::string Text(TInputLevelWarning Warning, bool Noise);

private:
    void Sample(int Value);

    int Bytes = 0; // per sample
    int ChannelCount = 0;
    std::int64_t CheckSamples = 0;
    int Quiet = 0;   // magnitudes up to this are near silence
    int Highest = 0; // full scale, positive and negative
    int Lowest = 0;
    std::int64_t Seen = 0; // samples since Reset
    int Loudest = 0;
    bool Done = true;
    bool Warned = false;
    TInputLevelWarning Pending = TInputLevelWarning::ilNone;
    std::int64_t ClipCount = 0;
    // A sample cut across two blocks.
    std::uint8_t Partial[3] = {};
    int PartialBytes = 0;
    // Per channel: the full-scale value of the current run and its length.
    int RunValue[8] = {};
    int RunLength[8] = {};
};

} // namespace kestrune
