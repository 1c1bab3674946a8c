#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "ape/TApeFileInfo.h"
#include "ape/TApeFrameDecoder.h"
#include "ape/TApeInput.h"
#include "ape/TWaveFormatEx.h"

namespace kestrune::ape {

// Reads an APE file block by block, with the shapes of the SDK's decompressor:
// GetData, GetInfo, Seek. Frames are decoded whole and checked against their
// CRC; a damaged frame is reported as an error, never handed out as audio.
class TApeDecompressor {
public:
    // Throw EAPEException with the SDK's code when the file cannot be used.
    explicit TApeDecompressor(const std::filesystem::path& path);
    explicit TApeDecompressor(std::unique_ptr<TApeInput> input);

    // Copies up to blocks blocks of interleaved PCM into buffer. Returns 0, or
    // an error code when the next frame is damaged (blocks decoded before it in
    // the same call are still delivered, and the error comes with the next call).
    int32_t GetData(void* buffer, int64_t blocks, int64_t* retrieved);
    int32_t Seek(int64_t block);
    // Numeric fields of TApeInfo; apeInfoWaveFormatEx fills the TWaveFormatEx at p1.
    int64_t GetInfo(int32_t field, int64_t p1 = 0, int64_t p2 = 0) const;

    const TApeFileInfo& Info() const { return FInfo; }
    TWaveFormatEx WaveFormat() const;
    // The WAV header a decoded file starts with (stored or made up) and its tail.
    std::vector<uint8_t> WavHeaderData();
    std::vector<uint8_t> WavTerminatingData();
    int64_t CurrentBlock() const { return FCurrentBlock; }

private:
    void Open();
    int32_t LoadFrame(uint32_t frame);

    std::unique_ptr<TApeInput> FInput;
    TApeFileInfo FInfo;
    std::unique_ptr<TApeFrameDecoder> FDecoder;
    std::vector<uint8_t> FRaw; // the frame's bytes as stored
    std::vector<uint8_t> FPcm; // the decoded frame
    int64_t FLoadedFrame = -1;
    int64_t FCurrentBlock = 0;
    int32_t FFrameError = 0; // error of the frame at FErrorFrame
    int64_t FErrorFrame = -1;
};

} // namespace kestrune::ape
