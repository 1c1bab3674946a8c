#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kestrune::ape {

// MD5 (RFC 1321), for the checksum every file of format 3980 and later carries.
class TApeMd5 {
public:
    TApeMd5();

    void Update(const void* data, size_t bytes);
    std::array<uint8_t, 16> Final();

private:
    void Transform(const uint8_t* block);

    std::array<uint32_t, 4> FState;
    uint64_t FBytes = 0;
    std::array<uint8_t, 64> FBuffer{};
};

} // namespace kestrune::ape
