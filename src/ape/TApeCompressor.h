#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "ape/TApeFileInfo.h"
#include "ape/TApeFrameEncoder.h"
#include "ape/TApeMd5.h"
#include "ape/TApeOutput.h"
#include "ape/TWaveFormatEx.h"

namespace kestrune::ape {

// Writes a format-3990 APE file from PCM handed over in pieces, with the
// shapes of the SDK's buffer compressor: Start, LockBuffer / UnlockBuffer (or
// AddData), Finish. The seek table sits in front of the audio, so Start
// reserves it for the announced length (or the largest the format allows) and
// Finish fills it in together with the header and the MD5.
class TApeCompressor {
public:
    TApeCompressor() = default;
    TApeCompressor(const TApeCompressor&) = delete;
    TApeCompressor& operator=(const TApeCompressor&) = delete;

    // maxAudioBytes < 0: length unknown. headerBytes == -1: store no WAV
    // header and let decoders make one; otherwise headerBytes of headerData
    // are stored verbatim. Returns 0 or an SDK error code.
    int32_t Start(const std::filesystem::path& file, const TWaveFormatEx* format, int64_t maxAudioBytes, int32_t level,
                  const void* headerData, int64_t headerBytes);
    int32_t Start(std::unique_ptr<TApeOutput> output, const TWaveFormatEx* format, int64_t maxAudioBytes, int32_t level,
                  const void* headerData, int64_t headerBytes);

    // The free part of the input buffer; fill some of it and UnlockBuffer the count.
    uint8_t* LockBuffer(int64_t* bytesAvailable);
    int32_t UnlockBuffer(int64_t bytesAdded, bool process = true);
    int64_t GetBufferBytesAvailable() const;
    int32_t AddData(const void* data, int64_t bytes);

    // Encodes what is left, writes terminatingBytes of terminatingData after
    // the audio (wavTerminatingBytes of them belong to the WAV file) and
    // completes the header. The file is closed afterwards.
    int32_t Finish(const void* terminatingData, int64_t terminatingBytes, int64_t wavTerminatingBytes);
    // Stops without completing the file.
    int32_t Kill();

private:
    int32_t EncodeFrame(const uint8_t* pcm, uint32_t blocks);
    int32_t EmitLogical(const uint8_t* data, size_t bytes);
    int32_t Fail(int32_t code);

    std::unique_ptr<TApeOutput> FOutput;
    std::unique_ptr<TApeFrameEncoder> FEncoder;
    TApeFileInfo FInfo;
    TApeMd5 FMd5;
    int32_t FError = 0;
    uint32_t FBlockAlign = 0;
    std::vector<uint8_t> FBuffer; // one frame of PCM
    size_t FFill = 0;
    std::vector<uint8_t> FFrameOut;
    std::vector<uint32_t> FSeekTable;
    uint64_t FFramePosBase = 0; // where frame data starts, from the descriptor
    uint64_t FLogicalBytes = 0; // frame data produced so far (before padding)
    uint8_t FGroup[4] = {};     // logical bytes waiting for a full group
    size_t FGroupFill = 0;
    std::vector<uint8_t> FSwapped;
};

} // namespace kestrune::ape
