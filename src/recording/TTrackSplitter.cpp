#include "recording/TTrackSplitter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kestrune {

void TTrackSplitter::Configure(int BitsPerSample, std::int64_t SilenceBytes)
{
    Bits = BitsPerSample;
    Silence = SilenceBytes;
}

void TTrackSplitter::Reset()
{
    FSoundStart = FSoundEnd = FQuietStart = FQuietEnd = -1;
}

namespace {

int Magnitude(const std::uint8_t* Sample, int Bits)
{
    switch (Bits) {
    case 8:
        return std::abs(static_cast<int>(Sample[0]) - 128);
    case 16:
        return std::abs(static_cast<int>(static_cast<std::int16_t>(Sample[0] | (Sample[1] << 8))));
    default: {
        std::int32_t v = Sample[0] | (Sample[1] << 8) | (Sample[2] << 16);
        if (v & 0x800000)
            v -= 0x1000000;
        return std::abs(v);
    }
    }
}

} // namespace

TTrackSplitter::TBlock TTrackSplitter::Process(std::uint8_t* Data, int N, std::int64_t Base, int Level8, int Level16)
{
    TBlock result;
    if (N <= 0) {
        result.HandOn = N;
        return result;
    }
    const int step = Bits / 8;
    const int level = Bits == 8 ? Level8 : (Bits == 16 ? Level16 : Level16 * 256);
    const int count = N / step;
    const bool soundBefore = FSoundStart >= 0;
    for (int i = 0; i < count; ++i) {
        const int magnitude = Magnitude(Data + static_cast<std::ptrdiff_t>(i) * step, Bits);
        result.Peak = std::max(result.Peak, magnitude);
        const std::int64_t p = Base + static_cast<std::int64_t>(i) * step;
        if (magnitude >= level) {
            if (FSoundStart < 0)
                FSoundStart = p;
            FSoundEnd = p;
            FQuietStart = FQuietEnd = -1;
        } else if (FSoundStart >= 0) {
            if (FQuietStart < 0)
                FQuietStart = p;
            FQuietEnd = p;
        }
    }

    if (FSoundStart < 0 || (Base == 0 && FSoundEnd == FSoundStart)) {
        // Nothing sounding yet, or a lone click: hold the block back.
        FSoundStart = -1;
        result.HandOn = -1;
        return result;
    }

    int handOn = N;
    if (!soundBefore) {
        // The track begins in this block: hand on from its first sound sample,
        // and count positions from there.
        const std::int64_t offset = FSoundStart - Base;
        if (offset > 0) {
            std::memmove(Data, Data + offset, static_cast<size_t>(N - offset));
            handOn = N - static_cast<int>(offset);
            FSoundStart -= offset;
            FSoundEnd -= offset;
            if (FQuietStart >= 0) {
                FQuietStart -= offset;
                FQuietEnd -= offset;
            }
        }
    }

    const std::int64_t quiet = FQuietStart < 0 ? 0 : FQuietEnd - FQuietStart;
    result.QuietRun = quiet;
    if (FQuietStart >= 0 && quiet >= Silence) {
        result.HandOn = 0;
        result.Split = true;
        return result;
    }
    result.HandOn = handOn;
    return result;
}

} // namespace kestrune
