#pragma once

namespace kestrune {

// The bit rates the Ogg options offer, in the order of their lists.
enum class TVorbisBitRate {
    brAutoSelect = 0,
    br45,
    br48,
    br56,
    br64,
    br80,
    br96,
    br112,
    br128,
    br144,
    br160,
    br192,
    br224,
    br256,
    br320,
    br499,
};

// Bits per second handed to the encoder; -1 for brAutoSelect. Every value is
// the rate its name says: br56 is 56000 (the list shows "56").
inline long VorbisBitsPerSecond(TVorbisBitRate Rate)
{
    static constexpr long Table[] = {-1,     45000,  48000,  56000,  64000,  80000,  96000,  112000,
                                     128000, 144000, 160000, 192000, 224000, 256000, 320000, 499000};
    const int index = static_cast<int>(Rate);
    return index >= 0 && index < 16 ? Table[index] : -1;
}

} // namespace kestrune
