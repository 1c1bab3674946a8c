#include "recording/TTrackLoop.h"

#include "common/Rounding.h"

#include <algorithm>
#include <cstring>

namespace kestrune {

void TTrackLoop::Configure(int BitsPerSample, int Channels, int SampleRate, std::int64_t SilenceBytes,
                           std::int64_t MinTrackBytes, TQuietRule Rule)
{
    FSplitter.Configure(BitsPerSample, Channels, SilenceBytes, SampleRate, Rule);
    MinTrack = MinTrackBytes;
    FBytesPerSecond = static_cast<std::int64_t>(SampleRate) * Channels * (BitsPerSample / 8);
    Carry.clear();
    FRead = 0;
    FKept = FDropped = FKeptSeconds = 0;
    BeginTrack();
}

void TTrackLoop::BeginTrack()
{
    FSplitter.Reset();
    FWritten = 0;
    FTrackStart = -1;
    FSplit = false;
    EndRun = false;
    FPeak = 0;
    FQuietRun = 0;
}

int TTrackLoop::Next(std::uint8_t* Data, int Capacity, const TRead& Read, int Level8, int Level16)
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

    const TTrackSplitter::TBlock block = FSplitter.Process(Data, n, FWritten, Level8, Level16);
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

TTrackLoop::TTrackEnd TTrackLoop::EndTrack()
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

} // namespace kestrune
