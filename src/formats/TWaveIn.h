#pragma once

#include "formats/TRiffChunkWalk.h"
#include "formats/TWavType.h"
#include "pipeline/TACSFileIn.h"
#include "pipeline/TMemoryStream.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrune {

// Reads RIFF WAVE files and hands out PCM: PCM of 8, 16 or 24 bits as it
// stands (also inside WAVE_FORMAT_EXTENSIBLE), IMA ADPCM and Microsoft ADPCM
// decoded block by block to 16 bits, and MPEG Layer-3 data (format tag 0x55)
// decoded whole into memory with libmpg123 when the file is opened.
//
// A data size the writer never filled in (0, 0xFFFFFFFF, or the placeholders
// near 2^31 that sox and arecord leave when writing to a pipe) is read up to
// the end of the file. A real size larger than what the file holds means the
// file was cut: it hands out what it holds and then fails the read, saying
// how much was read, rather than passing for a shorter file. A file it
// cannot read fails in OpenInput with the reason. Damaged ADPCM blocks end
// the run with an error.
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
    // "2.00 s of the 10.00 s its header announces read", for Frames read.
    std::string ReadSoFar(std::int64_t Frames) const;

    TWavType Type = TWavType::wtUnsupported;
    TWavHeader Header;
    std::int64_t DataStart = 0;  // bytes, in Stream
    std::int64_t DataEnd = 0;    // the end of the wave data as far as the file holds it
    std::int64_t ReadPos = 0;    // next byte of wave data to read
    std::int64_t StreamAt = -1;  // where the stream stands after our last read; -1 unknown
    int BlockAlign = 0;          // ADPCM bytes per block
    int SamplesPerBlock = 0;     // ADPCM frames per block
    std::int64_t SkipFrames = 0; // frames of the next ADPCM block before the seek target
    std::int64_t PromisedBytes = 0;   // the data size the header gives, when it gives one
    std::int64_t PromisedFrames = -1; // its frames; -1 when not known (MPEG data)
    bool ShortData = false;           // the file holds less than PromisedBytes

    std::array<std::uint8_t, BufferSize> Buffer{};
    std::vector<std::uint8_t> BlockBytes;
    std::array<std::int16_t, BufferSize / 2> Decoded{};

    // MPEG Layer-3: the decoded image stands in for the file while open.
    std::unique_ptr<TMemoryStream> Image;
    TStream* SuppliedAside = nullptr;
};

} // namespace kestrune
