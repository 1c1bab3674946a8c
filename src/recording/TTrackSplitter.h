#pragma once

#include <cstdint>

namespace kestrune {

// The level test and the track positions of the recorder's block handler.
//
// A track position is a byte offset in the data handed on to the output for
// the current track. Every sample is tested against the noise level by its
// magnitude (|s| < Level16 for 16-bit, |v - 128| < Level8 for 8-bit, and
// |s| < Level16 * 256 for 24-bit), so both halves of the wave count alike.
//
// Quiet before a track's first sound is held back. The block in which the
// sound begins is handed on from its first sound sample, so a track starts
// exactly where its sound does. A track ends (Process returns 0) in the block
// where the quiet run after the last sound reaches SilenceBytes; that block is
// not written.
//
// Runs on the recording output's worker; not shared between threads.
class TTrackSplitter {
public:
    struct TBlock {
        int HandOn = 0;         // bytes to hand on from the start of the buffer; -1 nothing; 0 end of track
        bool Split = false;     // the track ended by silence
        int Peak = 0;           // largest sample magnitude in the block, in the capture's scale
        std::int64_t QuietRun = 0; // bytes of the current quiet run after the last sound
    };

    // Bits 8, 16 or 24; Channels only for the frame size; SilenceBytes of the capture format.
    void Configure(int BitsPerSample, std::int64_t SilenceBytes);
    // A new track: all positions unset.
    void Reset();

    // Tests the N bytes in Data (whole samples) captured after Base bytes were
    // handed on for this track. May move the sounding part of the block to the
    // front of Data.
    TBlock Process(std::uint8_t* Data, int N, std::int64_t Base, int Level8, int Level16);

    std::int64_t SoundStart() const { return FSoundStart; }
    std::int64_t SoundEnd() const { return FSoundEnd; }
    std::int64_t QuietStart() const { return FQuietStart; }
    std::int64_t QuietEnd() const { return FQuietEnd; }
    // Bytes of sound in the track so far (first to last sound sample).
    std::int64_t SoundLength() const { return FSoundStart < 0 ? 0 : FSoundEnd - FSoundStart; }

private:
    int Bits = 16;
    std::int64_t Silence = 0;
    std::int64_t FSoundStart = -1;
    std::int64_t FSoundEnd = -1;
    std::int64_t FQuietStart = -1;
    std::int64_t FQuietEnd = -1;
};

} // namespace kestrune
