#include "formats/TWavHeaderBytes.h"

#include "pipeline/ByteOrder.h"

#include <cstring>

namespace kestrune {

std::uint32_t TWavHeaderBytes::Field32(std::int64_t Value)
{
    if (Value > 0xFFFFFFFFLL)
        return 0xFFFFFFFFU;
    return static_cast<std::uint32_t>(Value);
}

std::vector<std::uint8_t> TWavHeaderBytes::Pcm(int Channels, int SampleRate, int BitsPerSample, std::int64_t DataBytes)
{
    std::vector<std::uint8_t> h(PcmBytes);
    const int align = (BitsPerSample * Channels) >> 3;
    std::memcpy(h.data(), "RIFF", 4);
    PutLe32(h.data() + 4, Field32(DataBytes + 36));
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    PutLe32(h.data() + 16, 16);
    PutLe16(h.data() + 20, 1);
    PutLe16(h.data() + 22, static_cast<std::uint32_t>(Channels));
    PutLe32(h.data() + 24, static_cast<std::uint32_t>(SampleRate));
    PutLe32(h.data() + 28, Field32(static_cast<std::int64_t>(SampleRate) * align));
    PutLe16(h.data() + 32, static_cast<std::uint32_t>(align));
    PutLe16(h.data() + 34, static_cast<std::uint32_t>(BitsPerSample));
    std::memcpy(h.data() + 36, "data", 4);
    PutLe32(h.data() + PcmDataSizeAt, Field32(DataBytes));
    return h;
}

std::vector<std::uint8_t> TWavHeaderBytes::ImaAdpcm(int Channels, int SampleRate, int BlockSize, int SamplesPerBlock,
                                                    std::int64_t Frames, std::int64_t DataBytes)
{
    std::vector<std::uint8_t> h(ImaAdpcmBytes);
    std::memcpy(h.data(), "RIFF", 4);
    PutLe32(h.data() + 4, Field32(DataBytes + 52));
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    PutLe32(h.data() + 16, 20);
    PutLe16(h.data() + 20, 0x11);
    PutLe16(h.data() + 22, static_cast<std::uint32_t>(Channels));
    PutLe32(h.data() + 24, static_cast<std::uint32_t>(SampleRate));
    // The division first, truncating, as players of the format expect.
    PutLe32(h.data() + 28, Field32(static_cast<std::int64_t>(SampleRate / SamplesPerBlock) * BlockSize));
    PutLe16(h.data() + 32, static_cast<std::uint32_t>(BlockSize));
    PutLe16(h.data() + 34, 4);
    PutLe16(h.data() + 36, 2);
    PutLe16(h.data() + 38, static_cast<std::uint32_t>(SamplesPerBlock));
    std::memcpy(h.data() + 40, "fact", 4);
    PutLe32(h.data() + 44, 4);
    PutLe32(h.data() + ImaAdpcmFactAt, Field32(Frames));
    std::memcpy(h.data() + 52, "data", 4);
    PutLe32(h.data() + ImaAdpcmDataSizeAt, Field32(DataBytes));
    return h;
}

} // namespace kestrune
