// 32-bit arithmetic that wraps around as the format requires. Done in
// unsigned integers because signed overflow is undefined in C++.
#pragma once

#include <cstdint>

namespace kestrune::ape {

inline int32_t WAdd(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) + uint32_t(b));
}
inline int32_t WSub(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) - uint32_t(b));
}
inline int32_t WMul(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) * uint32_t(b));
}
inline int32_t WNeg(int32_t a)
{
    return int32_t(0u - uint32_t(a));
}
inline int32_t Sign(int32_t v)
{
    return (v > 0) - (v < 0);
}

} // namespace kestrune::ape
