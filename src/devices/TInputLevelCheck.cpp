#include "devices/TInputLevelCheck.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kestrune {

namespace {

constexpr int MaxChannels = 8;

} // namespace

void TInputLevelCheck::Reset(int BitsPerSample, int Channels, int SampleRate)
{
    *this = TInputLevelCheck();
    if ((BitsPerSample != 8 && BitsPerSample != 16 && BitsPerSample != 24) || Channels < 1 || Channels > MaxChannels ||
        SampleRate <= 0)
        return;
    Bytes = BitsPerSample / 8;
    ChannelCount = Channels;
    CheckSamples = static_cast<std::int64_t>(std::llround(CheckSeconds * SampleRate)) * Channels;
    const int full = 1 << (BitsPerSample - 1);
    Highest = full - 1;
    Lowest = -full;
    // Magnitudes strictly under the threshold are near silence.
    Quiet = static_cast<int>(std::ceil(full * std::pow(10.0, NearSilenceDbfs / 20))) - 1;
    Done = false;
}

void TInputLevelCheck::Sample(int Value)
{
    const int channel = static_cast<int>(Seen % ChannelCount);
    ++Seen;
    if (Value == Highest || Value == Lowest) {
        if (RunLength[channel] > 0 && RunValue[channel] == Value) {
            ++RunLength[channel];
        } else {
            RunValue[channel] = Value;
            RunLength[channel] = 1;
        }
        if (RunLength[channel] == ClipRun) {
            ++ClipCount;
            if (!Done) {
                Pending = TInputLevelWarning::ilClipping;
                Done = true;
            }
        }
    } else {
        RunLength[channel] = 0;
    }
    if (Done)
        return;
    Loudest = std::max(Loudest, std::abs(Value));
    if (Seen >= CheckSamples) {
        Done = true;
        if (Loudest <= Quiet)
            Pending = TInputLevelWarning::ilNearSilence;
    }
}

TInputLevelWarning TInputLevelCheck::Feed(const void* Data, int Count)
{
    if (Bytes == 0 || !Data || Count <= 0)
        return TInputLevelWarning::ilNone;
    const auto* in = static_cast<const std::uint8_t*>(Data);
    const auto decode = [this](const std::uint8_t* S) {
        switch (Bytes) {
        case 1:
            return static_cast<int>(S[0]) - 128;
        case 2:
            return static_cast<int>(static_cast<std::int16_t>(S[0] | (S[1] << 8)));
        default: {
            const int raw = S[0] | (S[1] << 8) | (S[2] << 16);
            return raw & 0x800000 ? raw - 0x1000000 : raw;
        }
        }
    };
    int at = 0;
    if (PartialBytes > 0) {
        while (PartialBytes < Bytes && at < Count)
            Partial[PartialBytes++] = in[at++];
        if (PartialBytes < Bytes)
            return TInputLevelWarning::ilNone;
        Sample(decode(Partial));
        PartialBytes = 0;
    }
    for (; at + Bytes <= Count; at += Bytes)
        Sample(decode(in + at));
    while (at < Count)
        Partial[PartialBytes++] = in[at++];

    if (Pending == TInputLevelWarning::ilNone || Warned)
        return TInputLevelWarning::ilNone;
    Warned = true;
    return Pending;
}

std::string TInputLevelCheck::Text(TInputLevelWarning Warning, bool Noise)
{
    switch (Warning) {
    case TInputLevelWarning::ilNearSilence:
        if (Noise)
            return "The input stayed near silence (below -60 dBFS) in the first 3 seconds of the noise capture. "
                   "That is right for a quiet line, but if the recording line is muted or turned down, "
                   "recordings from it will be silent too: check the line and its volume in the desktop's "
                   "sound settings.";
        return "The input stayed near silence (below -60 dBFS) in the first 3 seconds of the recording. "
               "If something is playing, the recording line is muted, turned down or not the one that plays: "
               "check the line and its volume in the desktop's sound settings. Kestrune changes no volume.";
    case TInputLevelWarning::ilClipping:
        if (Noise)
            return "The input is clipping during the noise capture: something loud is playing or the recording "
                   "line's volume is far too high. Stop the sound or turn the line's volume down in the "
                   "desktop's sound settings, then capture the noise level again.";
        return "The input is clipping: it reaches full scale in the first 3 seconds of the recording, and the "
               "loudest parts are cut off. Turn the recording line's volume (or the player's) down in the "
               "desktop's sound settings.";
    case TInputLevelWarning::ilNone:
        break;
    }
    return {};
}

} // namespace kestrune
