#pragma once

namespace kestrune {

// The constant bit rates an MP3 file can be written at; the ordinal is the
// index of the bit rate list in the MP3 settings dialog.
enum class TMP3BitRate {
    br8,
    br16,
    br24,
    br32,
    br40,
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
};

constexpr int MP3BitRateCount = 18;

// kbit/s of a bit rate; 0 for a value outside the enumeration.
constexpr int MP3BitRateKbps(TMP3BitRate Rate)
{
    constexpr int kbps[MP3BitRateCount] = {8,  16,  24,  32,  40,  48,  56,  64,  80,
                                           96, 112, 128, 144, 160, 192, 224, 256, 320};
    const int i = static_cast<int>(Rate);
    return i >= 0 && i < MP3BitRateCount ? kbps[i] : 0;
}

} // namespace kestrune
