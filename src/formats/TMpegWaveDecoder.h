#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrune {

// 16-bit PCM decoded from MPEG audio in one piece.
struct TDecodedPcm {
    int SampleRate = 0; // Hz
    int Channels = 0;
    std::vector<std::uint8_t> Bytes; // interleaved little-endian 16-bit frames
};

// Turns the MPEG audio data of a WAV file (format tag 0x55) into PCM with
// libmpg123, all at once. The channel count and rate are those of the first
// frame; decoding stops where they change.
//
// Raises EACSException when libmpg123 cannot be loaded ("libmpg123.so.0
// library could not be loaded.") or lacks what decoding needs. Any thread;
// each call uses a decoder of its own.
class TMpegWaveDecoder {
public:
    // Output beyond this many bytes is refused (about 50 minutes of 44.1 kHz
    // stereo per 512 MiB); the image is held in memory whole.
    static constexpr std::size_t OutputLimit = 1024u * 1024u * 1024u;

    static TDecodedPcm Decode(const std::uint8_t* Data, std::size_t Size);
};

} // namespace kestrune
