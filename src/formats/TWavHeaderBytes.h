#pragma once

#include <cstdint>
#include <vector>

namespace kestrune {

// The WAV headers this program writes, as bytes: the canonical 44-byte PCM
// header and the 60-byte IMA ADPCM one (with its fact chunk). Everything
// that writes a WAV file (the WAV writer, the MP3 decoder, benchmarks and
// tests) takes them from here.
class TWavHeaderBytes {
public:
    static constexpr int PcmBytes = 44;
    static constexpr int ImaAdpcmBytes = 60;
    // Where the size fields of each header are, from its start.
    static constexpr int PcmDataSizeAt = 40;
    static constexpr int ImaAdpcmFactAt = 48;
    static constexpr int ImaAdpcmDataSizeAt = 56;

    // RIFF sizes are 32-bit; past 4 GiB a field says 0xFFFFFFFF, which
    // readers take as "to the end of the file". Negative values keep their
    // 32-bit form (an unknown capture length of -1 is 0xFFFFFFFF).
    static std::uint32_t Field32(std::int64_t Value);

    static std::vector<std::uint8_t> Pcm(int Channels, int SampleRate, int BitsPerSample, std::int64_t DataBytes);
    static std::vector<std::uint8_t> ImaAdpcm(int Channels, int SampleRate, int BlockSize, int SamplesPerBlock,
                                              std::int64_t Frames, std::int64_t DataBytes);
};

} // namespace kestrune
