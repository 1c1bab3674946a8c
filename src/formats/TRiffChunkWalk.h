#pragma once

#include "formats/TWavType.h"

#include <array>
#include <cstdint>
#include <string>

namespace kestrune {

class TStream;

// What the header of a RIFF WAVE file says, as far as the walk got.
// Offsets are absolute byte positions in the stream.
struct TWavHeader {
    TWavType Type = TWavType::wtUnsupported;
    // Why the file cannot be read, when Type is wtUnsupported.
    std::string Problem;

    std::uint16_t FormatTag = 0; // for WAVE_FORMAT_EXTENSIBLE, the tag it wraps
    std::uint16_t Channels = 0;
    std::uint32_t SampleRate = 0; // Hz
    std::uint16_t BlockAlign = 0; // bytes
    std::uint16_t BitsPerSample = 0;
    std::uint16_t SamplesPerBlock = 0; // frames per ADPCM block, from the format extension
    // Microsoft ADPCM predictor coefficient pairs (at most 32 are accepted).
    std::uint16_t CoefficientCount = 0;
    std::array<std::array<std::int16_t, 2>, 32> Coefficients{};

    bool HasFact = false;
    std::uint32_t FactFrames = 0;
    std::int64_t FactOffset = -1; // where the frame count itself sits

    std::int64_t RiffOffset = -1; // where "RIFF" stands; its size field follows

    std::uint32_t DataSize = 0;       // the field as written
    std::int64_t DataSizeOffset = -1; // where that field sits
    std::int64_t DataStart = -1;      // first byte of the wave data
};

// The one header walk of the WAV reader and writer.
//
// The walk searches the first 8192 bytes for "RIFF" and then "WAVE" a byte at
// a time, then goes from chunk to chunk up to "data", comparing chunk codes
// without regard to letter case. It reads only chunk headers and the
// contents of "fmt " and "fact", into fixed buffers and never beyond what it
// asked the stream for; every other chunk is skipped by seeking, so its size
// may say anything. The walk gives up when the chunk headers and contents it
// has read pass 8192 bytes, or at the end of the stream. After a successful
// walk the stream stands at DataStart.
class TRiffChunkWalk {
public:
    static constexpr int SearchLimit = 8192; // bytes

    // Never raises for bad content (that is Problem); stream errors propagate.
    static TWavHeader Walk(TStream& Stream);

    // Chunk codes are equal when each pair of bytes differs by 0, 0x20 or 0xE0
    // modulo 256, which accepts "FMT " or "Data" as well.
    static bool SameCode(const std::uint8_t* Bytes, const char* Code);
};

} // namespace kestrune
