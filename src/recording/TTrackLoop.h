#pragma once

#include "recording/TTrackSplitter.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace kestrune {

// The recorder's track loop without threads or files: takes the captured
// audio block by block, hands on what belongs to the current track, ends the
// track where the splitter cuts, and keeps or drops each finished track. The
// recorder runs it on its output's worker (Next) and its window thread
// (BeginTrack, EndTrack, never both at once); the split command and the
// accuracy simulation run it in one loop.
//
// Nothing captured is lost between two tracks: the part of a block after the
// cut, and the frames of a window still undecided when a block is held back,
// are carried into the next call, in front of newly captured audio.
class TTrackLoop {
public:
    // Reads up to Size bytes of captured audio (whole frames) into Buffer:
    // the count, 0 when the audio has ended, -1 when there is nothing yet.
    using TRead = std::function<int(void* Buffer, int Size)>;

    struct TTrackEnd {
        std::int64_t SoundBytes = 0; // first to last sound sample
        bool Kept = false;           // at least the minimum length of sound
        int Seconds = 0;             // SoundBytes in whole seconds, halves to even
    };

    // A new recording: format, silence and minimum length in bytes of the
    // capture format; nothing carried, totals at zero.
    void Configure(int BitsPerSample, int Channels, int SampleRate, std::int64_t SilenceBytes,
                   std::int64_t MinTrackBytes, TQuietRule Rule = TQuietRule::Window);
    // A new track: positions unset, nothing handed on yet. What was carried
    // from the last track stays and comes first.
    void BeginTrack();

    // Fills Data (room for Capacity bytes, at least one frame) with the next
    // bytes of the current track: the count, 0 when the track has ended (cut
    // at a silence, or the audio ended), -1 when there is nothing this time.
    int Next(std::uint8_t* Data, int Capacity, const TRead& Read, int Level8, int Level16);

    // The current track ended (window thread, after its run): keeps or drops
    // it and adds a kept one to the totals.
    TTrackEnd EndTrack();

    // The track was cut at a silence (the next one should follow).
    bool Split() const { return FSplit; }
    // Bytes captured but not yet used by any track.
    bool HasCarry() const { return !Carry.empty(); }
    std::size_t CarriedBytes() const { return Carry.size(); }
    // Bytes handed on for the current track.
    std::int64_t Written() const { return FWritten; }
    // Where the current track's first byte stands in all that was read since
    // Configure, or -1 before anything was handed on.
    std::int64_t TrackStart() const { return FTrackStart; }
    // Of the last block: largest sample magnitude and the quiet run so far.
    int Peak() const { return FPeak; }
    std::int64_t QuietRun() const { return FQuietRun; }
    std::int64_t BytesPerSecond() const { return FBytesPerSecond; }
    const TTrackSplitter& Splitter() const { return FSplitter; }

    int KeptTracks() const { return FKept; }
    int DroppedTracks() const { return FDropped; }
    int KeptSeconds() const { return FKeptSeconds; }

private:
    TTrackSplitter FSplitter;
    std::int64_t MinTrack = 0;
    std::int64_t FBytesPerSecond = 0;
    std::vector<std::uint8_t> Carry;
    std::int64_t FWritten = 0;
    std::int64_t FRead = 0;
    std::int64_t FTrackStart = -1;
    bool FSplit = false;
    bool EndRun = false;
    int FPeak = 0;
    std::int64_t FQuietRun = 0;
    int FKept = 0;
    int FDropped = 0;
    int FKeptSeconds = 0;
};

} // namespace kestrune
