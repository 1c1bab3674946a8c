#include "cd/TAccurateRipChecksum.h"

#include "pipeline/EACSException.h"

namespace kestrune {

namespace {

// The reflected CRC-32 of zip, PNG and the rip logs (polynomial 0x04C11DB7).
constexpr std::array<std::uint32_t, 256> MakeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> CrcTable = MakeCrcTable();

} // namespace

TAccurateRipChecksum::TAccurateRipChecksum(std::int64_t Frames, bool FirstTrack, bool LastTrack)
    : FFrames(Frames), FFirstCounted(FirstTrack ? EdgeFrames : 1), FLastCounted(LastTrack ? Frames - EdgeFrames : Frames)
{
    if (Frames < 0)
        throw EACSException("A track cannot be " + std::to_string(Frames) + " frames long.");
}

void TAccurateRipChecksum::AddFrame(std::uint32_t Frame)
{
    const std::int64_t position = ++FPosition;
    if (position < FFirstCounted || position > FLastCounted)
        return;
    const auto weight = static_cast<std::uint32_t>(position);
    FV1 += Frame * weight;
    const std::uint64_t product = std::uint64_t{Frame} * weight;
    FV2 += static_cast<std::uint32_t>(product) + static_cast<std::uint32_t>(product >> 32);
}

void TAccurateRipChecksum::Add(const std::uint8_t* Data, std::size_t Bytes)
{
    std::uint32_t crc = FCrc;
    for (std::size_t i = 0; i < Bytes; ++i)
        crc = CrcTable[(crc ^ Data[i]) & 0xFFU] ^ (crc >> 8);
    FCrc = crc;

    std::size_t at = 0;
    // A frame that the last block cut in two is completed first.
    while (FPendingBytes > 0 && at < Bytes) {
        FPending[FPendingBytes++] = Data[at++];
        if (FPendingBytes == 4) {
            AddFrame(std::uint32_t{FPending[0]} | std::uint32_t{FPending[1]} << 8 | std::uint32_t{FPending[2]} << 16 |
                     std::uint32_t{FPending[3]} << 24);
            FPendingBytes = 0;
        }
    }
    for (; at + 4 <= Bytes; at += 4)
        AddFrame(std::uint32_t{Data[at]} | std::uint32_t{Data[at + 1]} << 8 | std::uint32_t{Data[at + 2]} << 16 |
                 std::uint32_t{Data[at + 3]} << 24);
    while (at < Bytes)
        FPending[FPendingBytes++] = Data[at++];
}

} // namespace kestrune
