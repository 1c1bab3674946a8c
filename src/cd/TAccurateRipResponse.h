#pragma once

#include "cd/TAccurateRipDisc.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

// One submitted result for one track: how many rips agreed on it, their
// checksum (v1 or v2: the database keeps both kinds side by side), and the
// checksum of the one frame that drive offsets are found with.
struct TAccurateRipEntry {
    int Confidence = 0;
    std::uint32_t Crc = 0;
    std::uint32_t FrameCrc = 0;

    bool operator==(const TAccurateRipEntry&) const = default;
};

// The database's binary answer for a disc: one or more chunks, each a
// header (track count, the two AccurateRip ids, the freedb id, all
// little-endian) and then one entry per audio track. Every chunk must name
// the disc asked about; anything else is refused whole, with the reason.
class TAccurateRipResponse {
public:
    static constexpr std::size_t HeaderBytes = 13;
    static constexpr std::size_t EntryBytes = 9;

    struct TParsed {
        // Chunks[c][t]: chunk c's entry for the disc's audio track t (0-based).
        std::vector<std::vector<TAccurateRipEntry>> Chunks;
        std::string Error; // empty when the answer was read
    };

    static TParsed Parse(std::string_view Body, const TAccurateRipDisc& Disc);
    // The bytes of an answer holding Chunks for Disc: what the database
    // sends, for stores of answers and for the tests' servers.
    static std::string Format(const TAccurateRipDisc& Disc, const std::vector<std::vector<TAccurateRipEntry>>& Chunks);
};

} // namespace kestrune
