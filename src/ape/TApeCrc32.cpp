#include "ape/TApeCrc32.h"

#include <array>

namespace kestrune::ape {

namespace {

using TTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr TTables MakeTables()
{
    TTables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
        for (int s = 1; s < 8; ++s)
            t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    return t;
}

constexpr TTables kTables = MakeTables();

} // namespace

uint32_t TApeCrc32::Compute(const uint8_t* p, size_t bytes)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (; bytes >= 8; bytes -= 8, p += 8) {
        const uint32_t lo = crc ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
        const uint32_t hi = uint32_t(p[4]) | uint32_t(p[5]) << 8 | uint32_t(p[6]) << 16 | uint32_t(p[7]) << 24;
        crc = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
              kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
              kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
    }
    for (; bytes; --bytes, ++p)
        crc = (crc >> 8) ^ kTables[0][(crc ^ *p) & 0xFF];
    return crc ^ 0xFFFFFFFFu;
}

} // namespace kestrune::ape
