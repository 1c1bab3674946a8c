#pragma once

#include <cstdint>

namespace kestrune {

// What grabbing a track measured of it: the CRC of its bytes, its two
// AccurateRip checksums, how many reads had to be tried again, and how many
// sectors stayed unreadable and were replaced by silence or left out.
struct TTrackChecks {
    int Track = 0; // the disc's track number
    std::uint32_t Crc32 = 0;
    std::uint32_t ArV1 = 0;
    std::uint32_t ArV2 = 0;
    int Retries = 0;
    int Unreadable = 0;

    bool operator==(const TTrackChecks&) const = default;
};

} // namespace kestrune
