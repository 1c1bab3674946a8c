#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrune::ape {

// The frame checksum: the common reflected CRC-32 (polynomial 0xEDB88320),
// table-driven eight bytes at a time because every decoded frame is checked.
class TApeCrc32 {
public:
    static uint32_t Compute(const uint8_t* data, size_t bytes);
};

} // namespace kestrune::ape
