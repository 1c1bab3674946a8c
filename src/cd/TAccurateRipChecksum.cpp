#include "cd/TAccurateRipChecksum.h"

#include "pipeline/EACSException.h"

#include <algorithm>

#include <zlib.h>

namespace kestrune {

namespace {

// The reflected CRC-32 of zip, PNG and the rip logs (polynomial
// 0x04C11DB7), by zlib: the same CRC, kept inverted between calls as zlib
// does not, and its braided loop reads about twice as fast as a table
// method, which matters in a loop that must keep up with an image's reads.
std::uint32_t CrcUpdate(std::uint32_t Value, const std::uint8_t* P, std::size_t Bytes)
{
    return ~static_cast<std::uint32_t>(::crc32_z(~Value, P, Bytes));
}

std::uint32_t Le32(const std::uint8_t* P)
{
    return std::uint32_t{P[0]} | std::uint32_t{P[1]} << 8 | std::uint32_t{P[2]} << 16 | std::uint32_t{P[3]} << 24;
}

} // namespace

TAccurateRipChecksum::TAccurateRipChecksum(std::int64_t Frames, bool FirstTrack, bool LastTrack)
    : FFrames(Frames), FFirstCounted(FirstTrack ? EdgeFrames : 1),
      FLastCounted(LastTrack ? Frames - EdgeFrames : Frames)
{
    if (Frames < 0)
        throw EACSException("A track cannot be " + std::to_string(Frames) + " frames long.");
}

void TAccurateRipChecksum::AddFrames(const std::uint8_t* Data, std::size_t Count)
{
    // Only the stretch of this block that lies between the counted edges is
    // summed; the weight of a frame is its 1-based position in the track.
    const std::int64_t first = FPosition + 1;
    const std::int64_t from = std::max(first, FFirstCounted);
    const std::int64_t to = std::min(first + static_cast<std::int64_t>(Count) - 1, FLastCounted);
    std::uint32_t v1 = FV1;
    std::uint32_t v2 = FV2;
    for (std::int64_t position = from; position <= to; ++position) {
        const std::uint64_t product =
            std::uint64_t{Le32(Data + (position - first) * 4)} * static_cast<std::uint32_t>(position);
        // v1 keeps the product's low half; v2 adds the high half as well.
        const auto low = static_cast<std::uint32_t>(product);
        v1 += low;
        v2 += low + static_cast<std::uint32_t>(product >> 32);
    }
    FV1 = v1;
    FV2 = v2;
    FPosition += static_cast<std::int64_t>(Count);
}

void TAccurateRipChecksum::Add(const std::uint8_t* Data, std::size_t Bytes)
{
    FCrc = CrcUpdate(FCrc, Data, Bytes);

    std::size_t at = 0;
    // A frame that the last block cut in two is completed first.
    while (FPendingBytes > 0 && at < Bytes) {
        FPending[FPendingBytes++] = Data[at++];
        if (FPendingBytes == 4) {
            AddFrames(FPending.data(), 1);
            FPendingBytes = 0;
        }
    }
    const std::size_t frames = (Bytes - at) / 4;
    AddFrames(Data + at, frames);
    at += frames * 4;
    while (at < Bytes)
        FPending[FPendingBytes++] = Data[at++];
}

} // namespace kestrune
