// Cumulative frequency tables of the overflow symbol (total 65536). Entries
// from 20 (3990) or 21 (legacy) on follow 65472 + s and are computed.
#pragma once

#include <cstdint>

namespace kestrune::ape {

inline constexpr uint32_t kApeModelTop[21] = {0,     19578, 36160, 48417, 56323, 60899, 63265,
                                              64435, 64971, 65232, 65351, 65416, 65447, 65466,
                                              65476, 65482, 65485, 65488, 65490, 65491, 65492};
inline constexpr uint32_t kApeModelFirstLinear = 20;

inline constexpr uint32_t kApeModelLegacy[22] = {0,     14824, 28224, 39348, 47855, 53994, 58171, 60926,
                                                 62682, 63786, 64463, 64878, 65126, 65276, 65365, 65419,
                                                 65450, 65469, 65480, 65487, 65491, 65493};
inline constexpr uint32_t kApeModelLegacyFirstLinear = 21;

inline constexpr uint32_t ApeModelCum(uint32_t s)
{
    return s < kApeModelFirstLinear ? kApeModelTop[s] : 65472 + s;
}
inline constexpr uint32_t ApeModelWidth(uint32_t s)
{
    return ApeModelCum(s + 1) - ApeModelCum(s);
}

inline constexpr uint32_t ApeModelLegacyCum(uint32_t s)
{
    return s < kApeModelLegacyFirstLinear ? kApeModelLegacy[s] : 65472 + s;
}

static_assert(ApeModelCum(64) == 65536 && ApeModelWidth(19) == 1 && ApeModelWidth(10) == 65);
static_assert(ApeModelLegacyCum(64) == 65536 && ApeModelLegacyCum(21) - ApeModelLegacyCum(20) == 2);

} // namespace kestrune::ape
