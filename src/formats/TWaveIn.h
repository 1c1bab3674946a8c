#pragma once

#include "formats/TRiffChunkWalk.h"
#include "formats/TWavType.h"
#include "pipeline/TACSFileIn.h"
#include "pipeline/TMemoryStream.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace kestrune {

// Reads RIFF WAVE files and hands out PCM: PCM of 8, 16 or 24 bits as it
// stands (also inside WAVE_FORMAT_EXTENSIBLE), IMA ADPCM and Microsoft ADPCM
// decoded block by block to 16 bits, and MPEG Layer-3 data (format tag 0x55)
// decoded whole into memory with libmpg123 when the file is opened.
//
// A data size of 0xFFFFFFFF, or one running past the end of the file, is read
// up to the end of the file. A file it cannot read fails in OpenInput with the
// reason. Damaged ADPCM blocks end the run with an error.
//
// Threads: opened on the thread that runs the output, read and closed on the
// output's worker.
class TWaveIn : public TACSFileIn {
public:
    static constexpr int BufferSize = 16384; // bytes of PCM per refill

    TWaveIn() = default;
    ~TWaveIn() override;

    int ReadBlock(void* Buffer, int Count) override;
    void OpenFile() override;
    void CloseFile() override;
    // Positions at a frame (exactly, also inside an ADPCM block).
    bool SeekSample(std::int64_t Sample) override;

    // The kind of wave data of the file last opened.
    TWavType WavType() const { return Type; }

private:
    void Parse();
    void CheckAdpcm(int (*FramesInBytes)(int, int));
    void DecodeMpeg();
    void Release();
    int Refill();
    void SeekToReadPos();
    int RefillPcm();
    int RefillAdpcm();
    int FrameBytes() const { return FChannels * (FBitsPerSample / 8); }

    TWavType Type = TWavType::wtUnsupported;
    TWavHeader Header;
    std::int64_t DataStart = 0;  // bytes, in Stream
    std::int64_t DataEnd = 0;    // the end of the wave data as far as the file holds it
    std::int64_t ReadPos = 0;    // next byte of wave data to read
    std::int64_t StreamAt = -1;  // where the stream stands after our last read; -1 unknown
    int BlockAlign = 0;          // ADPCM bytes per block
    int SamplesPerBlock = 0;     // ADPCM frames per block
    std::int64_t SkipFrames = 0; // frames of the next ADPCM block before the seek target

    std::array<std::uint8_t, BufferSize> Buffer{};
    std::vector<std::uint8_t> BlockBytes;
    std::array<std::int16_t, BufferSize / 2> Decoded{};

    // MPEG Layer-3: the decoded image stands in for the file while open.
    std::unique_ptr<TMemoryStream> Image;
    TStream* SuppliedAside = nullptr;
};

} // namespace kestrune
