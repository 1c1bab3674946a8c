#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kestrune {

// The checksums that prove a track was read right: the two AccurateRip
// checksums (v1, and v2 which also counts the high half of each product)
// and the CRC-32 of the track's bytes as rip logs print it. Fed while the
// track is read, in blocks of any size and any alignment.
//
// The AccurateRip sums weigh each stereo frame (read as one little-endian
// 32-bit word, left channel in the low half) with its 1-based position in
// the track. The first audio track of a disc leaves out its first five
// sectors less one frame, the last audio track its last five sectors: the
// drives' differing read offsets make those frames unreliable. The CRC
// covers every byte.
class TAccurateRipChecksum {
public:
    static constexpr std::int64_t FramesPerSector = 588;
    static constexpr std::int64_t EdgeFrames = 5 * FramesPerSector;

    // Frames: the track's length in stereo frames, known before it is read
    // (the last track's skipped tail counts back from it).
    TAccurateRipChecksum(std::int64_t Frames, bool FirstTrack, bool LastTrack);

    void Add(const std::uint8_t* Data, std::size_t Bytes);

    std::uint32_t V1() const { return FV1; }
    std::uint32_t V2() const { return FV2; }
    std::uint32_t Crc32() const { return ~FCrc; }
    // Whole frames taken so far; a byte left over from an odd block waits
    // for the next one.
    std::int64_t FramesSeen() const { return FPosition; }
    bool Complete() const { return FPosition == FFrames && FPendingBytes == 0; }

private:
    void AddFrames(const std::uint8_t* Data, std::size_t Count);

    std::int64_t FFrames;
    // Positions (1-based) whose frames count in the AccurateRip sums.
    std::int64_t FFirstCounted;
    std::int64_t FLastCounted;
    std::int64_t FPosition = 0;
    std::uint32_t FV1 = 0;
    std::uint32_t FV2 = 0;
    std::uint32_t FCrc = 0xFFFFFFFFU;
    std::array<std::uint8_t, 4> FPending{};
    std::size_t FPendingBytes = 0;
};

} // namespace kestrune
