#pragma once

#include <cstdint>

namespace kestrune {

// Little-endian fields of the RIFF and codec headers, read from and written
// to bytes in memory whatever the machine's own order.

inline std::uint16_t GetLe16(const std::uint8_t* P)
{
    return static_cast<std::uint16_t>(P[0] | (P[1] << 8));
}

inline std::int16_t GetLe16s(const std::uint8_t* P)
{
    return static_cast<std::int16_t>(GetLe16(P));
}

inline std::uint32_t GetLe32(const std::uint8_t* P)
{
    return static_cast<std::uint32_t>(P[0]) | (static_cast<std::uint32_t>(P[1]) << 8) |
           (static_cast<std::uint32_t>(P[2]) << 16) | (static_cast<std::uint32_t>(P[3]) << 24);
}

inline void PutLe16(std::uint8_t* P, std::uint32_t Value)
{
    P[0] = static_cast<std::uint8_t>(Value & 0xFF);
    P[1] = static_cast<std::uint8_t>((Value >> 8) & 0xFF);
}

inline void PutLe32(std::uint8_t* P, std::uint32_t Value)
{
    PutLe16(P, Value & 0xFFFF);
    PutLe16(P + 2, Value >> 16);
}

} // namespace kestrune
