#pragma once

#include <cstdint>

namespace kestrune {

// How the splitter tells sound from quiet: the stream is cut into windows of
// 10 ms; a window sounds when at least an eighth of its frames reach the
// level. Inside a sounding window the positions are those of its first and
// last loud frames; a window with only a click's or a noise peak's few loud
// frames is quiet. (Testing every sample on its own misses gaps whenever the
// noise crosses its own measured peak; asking for a run of loud frames ends a
// fading song early.)
//
// The level test and the track positions of the recorder's block handler.
//
// A track position is a byte offset in the data handed on to the output for
// the current track. Samples are tested by their magnitude (|s| < Level16 for
// 16-bit, |v - 128| < Level8 for 8-bit, and |s| < Level16 * 256 for 24-bit),
// so both halves of the wave count alike; a frame is loud when any of its
// samples is. A level of 0 counts as 1: digital silence is always quiet.
//
// Quiet before a track's first sound is held back. The block in which the
// sound begins is handed on from its first sound sample, so a track starts
// where its sound does; a window with loud frames still undecided when a
// block is held back is handed back (Carry) to be tested again with the next
// block. A track ends (Split) in the block where the quiet run after the last
// sound reaches SilenceBytes: the block is handed on up to that point (the
// cut), and the rest of it belongs to the next track.
//
// Runs on the recording output's worker; not shared between threads; no
// allocation.
class TTrackSplitter {
public:
    struct TBlock {
        // Bytes to hand on from the start of the buffer; -1 nothing (held
        // back); with Split, the bytes up to the cut (possibly 0).
        int HandOn = 0;
        bool Split = false; // the track ended by silence
        // Data[Carry, Valid) was captured but not used by this track: the
        // part of a block after the cut (for the next track), or the frames of
        // a window still undecided when a block was held back (to be tested
        // again in front of the next block, at the same Base). Valid is the
        // number of audio bytes at the front of Data after Process.
        int Carry = 0;
        int Valid = 0;
        int Peak = 0;              // largest sample magnitude in the block, in the capture's scale
        std::int64_t QuietRun = 0; // bytes of the current quiet run after the last sound
    };

    // Bits 8, 16 or 24; SilenceBytes of the capture format; Channels and
    // SampleRate (Hz) size the frames and the window.
    void Configure(int BitsPerSample, int Channels, std::int64_t SilenceBytes, int SampleRate);
    // A new track: all positions unset.
    void Reset();

    // Tests the N bytes in Data (whole frames) captured after Base bytes were
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
    void TestFrames(const std::uint8_t* Data, int N, std::int64_t Base, int Level, TBlock& Result);
    template <int Bits, int Channels>
    void TestFramesOf(const std::uint8_t* Data, int N, std::int64_t Base, int Level, TBlock& Result);
    void MarkSound(std::int64_t First, std::int64_t Last, std::int64_t End);
    void MarkQuiet(std::int64_t First, std::int64_t Last);

    int Bits = 16;
    int FrameBytes = 2;
    std::int64_t Silence = 0;
    std::int64_t FSoundStart = -1;
    std::int64_t FSoundEnd = -1;
    std::int64_t FQuietStart = -1;
    std::int64_t FQuietEnd = -1;

    // Frames per window, loud frames that make it sound, and the window under
    // way (positions of its first frame and first/last loud frame).
    int WindowFrames = 0;
    int WindowNeeds = 0;
    int WinFrames = 0;
    int WinLoud = 0;
    std::int64_t WinStart = -1;
    std::int64_t WinFirstLoud = -1;
    std::int64_t WinLastLoud = -1;
};

} // namespace kestrune
