#pragma once

#include "common/Rounding.h"
#include "recording/TTrackSplitter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
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
//
// TSplitter is TTrackSplitter; the accuracy tests run their reference rules
// through the same loop.
template <class TSplitter>
class TTrackLoopOf {
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
                   std::int64_t MinTrackBytes);
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
    const TSplitter& Splitter() const { return FSplitter; }

    int KeptTracks() const { return FKept; }
    int DroppedTracks() const { return FDropped; }
    int KeptSeconds() const { return FKeptSeconds; }

private:
    TSplitter FSplitter;
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

template <class TSplitter>
void TTrackLoopOf<TSplitter>::Configure(int BitsPerSample, int Channels, int SampleRate, std::int64_t SilenceBytes,
                                        std::int64_t MinTrackBytes)
{
    FSplitter.Configure(BitsPerSample, Channels, SilenceBytes, SampleRate);
    MinTrack = MinTrackBytes;
    FBytesPerSecond = static_cast<std::int64_t>(SampleRate) * Channels * (BitsPerSample / 8);
    Carry.clear();
    FRead = 0;
    FKept = FDropped = FKeptSeconds = 0;
    BeginTrack();
}

template <class TSplitter>
void TTrackLoopOf<TSplitter>::BeginTrack()
{
    FSplitter.Reset();
    FWritten = 0;
    FTrackStart = -1;
    FSplit = false;
    EndRun = false;
    FPeak = 0;
    FQuietRun = 0;
}

template <class TSplitter>
int TTrackLoopOf<TSplitter>::Next(std::uint8_t* Data, int Capacity, const TRead& Read, int Level8, int Level16)
{
    if (EndRun || Capacity <= 0)
        return 0;
    int have = 0;
    if (!Carry.empty()) {
        have = static_cast<int>(std::min<size_t>(Carry.size(), static_cast<size_t>(Capacity)));
        std::memcpy(Data, Carry.data(), static_cast<size_t>(have));
        Carry.erase(Carry.begin(), Carry.begin() + have);
    }
    int got = 0;
    bool ended = false;
    if (have < Capacity) {
        got = Read(Data + have, Capacity - have);
        if (have == 0 && got <= 0)
            return got;
        FRead += std::max(got, 0);
        // The audio has ended: whatever is still undecided will never be.
        ended = got == 0;
    }
    const int n = have + std::max(got, 0);

    const auto block = FSplitter.Process(Data, n, FWritten, Level8, Level16);
    FPeak = block.Peak;
    FQuietRun = block.QuietRun;
    if (block.Carry < block.Valid && !(ended && block.HandOn < 0))
        Carry.insert(Carry.begin(), Data + block.Carry, Data + block.Valid);
    if (block.Split) {
        FSplit = true;
        EndRun = true;
    }
    if (block.HandOn > 0) {
        // The bytes handed on end where what is still carried begins.
        if (FWritten == 0)
            FTrackStart = FRead - static_cast<std::int64_t>(Carry.size()) - block.HandOn;
        FWritten += block.HandOn;
        return block.HandOn;
    }
    if (block.Split || ended)
        return 0;
    return -1;
}

template <class TSplitter>
typename TTrackLoopOf<TSplitter>::TTrackEnd TTrackLoopOf<TSplitter>::EndTrack()
{
    TTrackEnd end;
    end.SoundBytes = FSplitter.SoundLength();
    end.Kept = end.SoundBytes >= MinTrack;
    end.Seconds = FBytesPerSecond > 0 ? static_cast<int>(DivRoundHalfEven(end.SoundBytes, FBytesPerSecond)) : 0;
    if (end.Kept) {
        ++FKept;
        FKeptSeconds += end.Seconds;
    } else {
        ++FDropped;
    }
    return end;
}

using TTrackLoop = TTrackLoopOf<TTrackSplitter>;
extern template class TTrackLoopOf<TTrackSplitter>;

} // namespace kestrune
