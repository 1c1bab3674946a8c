#include "cd/TAccurateRipChecksum.h"

#include "pipeline/EACSException.h"

#include <algorithm>

namespace kestrune {

namespace {

// The reflected CRC-32 of zip, PNG and the rip logs (polynomial 0x04C11DB7),
// eight bytes a step: table k gives the effect of a byte k places further
// back, so eight lookups replace eight dependent steps.
using TCrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr TCrcTables MakeCrcTables()
{
    TCrcTables tables{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
        tables[0][n] = c;
    }
    for (std::size_t k = 1; k < tables.size(); ++k)
        for (std::size_t n = 0; n < 256; ++n)
            tables[k][n] = (tables[k - 1][n] >> 8) ^ tables[0][tables[k - 1][n] & 0xFFU];
    return tables;
}

constexpr TCrcTables Crc = MakeCrcTables();

std::uint32_t Le32(const std::uint8_t* P)
{
    return std::uint32_t{P[0]} | std::uint32_t{P[1]} << 8 | std::uint32_t{P[2]} << 16 | std::uint32_t{P[3]} << 24;
}

std::uint32_t CrcUpdate(std::uint32_t Value, const std::uint8_t* P, std::size_t Bytes)
{
    for (; Bytes >= 8; P += 8, Bytes -= 8) {
        const std::uint32_t low = Le32(P) ^ Value;
        const std::uint32_t high = Le32(P + 4);
        Value = Crc[7][low & 0xFFU] ^ Crc[6][(low >> 8) & 0xFFU] ^ Crc[5][(low >> 16) & 0xFFU] ^ Crc[4][low >> 24] ^
                Crc[3][high & 0xFFU] ^ Crc[2][(high >> 8) & 0xFFU] ^ Crc[1][(high >> 16) & 0xFFU] ^ Crc[0][high >> 24];
    }
    for (; Bytes > 0; ++P, --Bytes)
        Value = Crc[0][(Value ^ *P) & 0xFFU] ^ (Value >> 8);
    return Value;
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
