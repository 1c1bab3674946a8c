#pragma once

#include "recognition/TChromaprintLibrary.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrune {

// What a finished generator yields: the compressed fingerprint the lookup
// service expects, and whether the audio could identify anything at all.
struct TFingerprint {
    std::string Compressed; // URL-safe base64; empty when there was too little audio
    bool Silent = true;     // every sample fed was zero (or nothing was fed)
    int Items = 0;          // raw fingerprint items (about 8 a second)
};

// The fingerprint generator of one recorded track (the row's `Trm`).
//
// The recorder feeds it the blocks that go into the track file, in the
// capture format, until it has the 120 seconds the service's own tool
// fingerprints; the recognition worker then finishes it. A shorter track is
// fingerprinted whole. Feed and Finish may run on different threads, one
// after the other, never at once. The generator holds the library, so the
// library stays loaded until the last generator is gone.
class TFingerprintGenerator {
public:
    // Enough audio for a fingerprint, in seconds.
    static constexpr int EnoughSeconds = 120;

    // Capture format: rate in Hz, 1 or 2 channels, 8, 16 or 24 bits.
    // Raises EACSException when the library refuses the format.
    TFingerprintGenerator(std::shared_ptr<const TChromaprintLibrary> Library, int SampleRate, int Channels,
                          int BitsPerSample);
    ~TFingerprintGenerator();
    TFingerprintGenerator(const TFingerprintGenerator&) = delete;
    TFingerprintGenerator& operator=(const TFingerprintGenerator&) = delete;

    // Feeds Bytes bytes of interleaved PCM. Returns true once EnoughSeconds of
    // audio have been fed (then and on every later call); audio past that is
    // ignored. 8-bit audio is widened to 16-bit first.
    bool Feed(const void* Data, int Bytes);
    bool Enough() const { return FramesFed >= EnoughFrames; }
    // Seconds of audio fed so far.
    double SecondsFed() const;

    // Ends the fingerprint. Call once; later feeding is ignored.
    TFingerprint Finish();

private:
    std::shared_ptr<const TChromaprintLibrary> Library;
    ChromaprintContext* Context = nullptr;
    int Rate;
    int Channels;
    int Bits;
    std::int64_t EnoughFrames;
    std::int64_t FramesFed = 0;
    bool AnySound = false;
    bool Finished = false;
    std::vector<std::int16_t> Widened;
    std::vector<std::uint8_t> Partial; // bytes of an incomplete frame carried to the next block
};

} // namespace kestrune
