// Test inputs for the APE codec, generated at run time: the generator the peer
// notes give hashes for, the edge-case signals, and WAV packaging.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune::ape::test {

struct TPcmFormat {
    int Channels = 2;
    int Bits = 16;
    uint32_t SampleRate = 44100;
    int BlockAlign() const { return Channels * Bits / 8; }
};

// The LCG generator of the peer notes: kind "noise" or "saw".
std::vector<uint8_t> PeerSignal(const std::string& kind, const TPcmFormat& format, uint32_t blocks);

enum class TSignal {
    sgSilence,
    sgPseudoStereo, // both channels identical, not silent
    sgFirstSilent,  // channel 0 silent
    sgSecondSilent, // channel 1 silent
    sgNoise,        // full-scale white noise
    sgSquare,       // alternating full-scale extremes
    sgNegativeDc,   // constant below zero, with a little noise
    sgMusic,        // sines and a little noise, in different mixes per channel
};

std::vector<uint8_t> MakeSignal(TSignal signal, const TPcmFormat& format, uint32_t blocks, uint32_t seed = 1);
const char* SignalName(TSignal signal);

// Frames of noise, silence, pseudo-stereo, a silent second channel and a
// square wave, frameBlocks each, then lastBlocks of music: every frame kind
// follows another and the last frame is short.
std::vector<uint8_t> MixedFrames(const TPcmFormat& format, uint32_t frameBlocks, uint32_t lastBlocks);

// Canonical 44-byte header plus data; extraChunks adds a LIST chunk of odd
// length before the data and a chunk after it.
std::vector<uint8_t> MakeWav(const TPcmFormat& format, const std::vector<uint8_t>& pcm, bool extraChunks = false);

} // namespace kestrune::ape::test
