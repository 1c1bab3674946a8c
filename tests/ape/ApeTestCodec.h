// Small drivers of the codec for the tests: encode PCM into bytes in memory
// and decode bytes back, reporting the first error.
#pragma once

#include <cstdint>
#include <vector>

#include "ApeTestSignals.h"

namespace kestrune::ape::test {

// Buffer-fed compressor, header bytes -1; pieces of pieceBytes through LockBuffer.
std::vector<uint8_t> EncodeBuffer(const TPcmFormat& format, const std::vector<uint8_t>& pcm, int32_t level,
                                  int64_t maxAudioBytes = -1, size_t pieceBytes = 40000);

struct TDecoded {
    int32_t CreateError = 0;
    int32_t DataError = 0;
    std::vector<uint8_t> Pcm;
};
TDecoded DecodeBytes(const std::vector<uint8_t>& file, int64_t blocksPerCall = 4099);

// Recomputes the stored MD5 from the file's parts (header data, frame data,
// terminating data, header, seek table) independently of the compressor.
void ExpectMd5Matches(const std::vector<uint8_t>& file);
// Buffer-fed encode, decode, compare, check the MD5.
void ExpectRoundTrip(const TPcmFormat& format, const std::vector<uint8_t>& pcm, int32_t level);

} // namespace kestrune::ape::test
