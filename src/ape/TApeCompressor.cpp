#include "ape/TApeCompressor.h"

#include <algorithm>
#include <cstring>

#include "ape/ApeConstants.h"
#include "ape/EAPEException.h"
#include "ape/TApeFileOutput.h"

namespace kestrune::ape {

namespace {

inline void Put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

} // namespace

int32_t TApeCompressor::Start(const std::filesystem::path& file, const TWaveFormatEx* format, int64_t maxAudioBytes,
                              int32_t level, const void* headerData, int64_t headerBytes)
{
    std::unique_ptr<TApeOutput> output;
    try {
        output = std::make_unique<TApeFileOutput>(file);
    } catch (const EAPEException& e) {
        return e.Code();
    }
    return Start(std::move(output), format, maxAudioBytes, level, headerData, headerBytes);
}

int32_t TApeCompressor::Start(std::unique_ptr<TApeOutput> output, const TWaveFormatEx* format, int64_t maxAudioBytes,
                              int32_t level, const void* headerData, int64_t headerBytes)
{
    if (FOutput)
        return apeErrInvalidFunctionParameter;
    if (!output || !format || headerBytes < -1 || (headerBytes > 0 && !headerData) || headerBytes > int64_t(UINT32_MAX))
        return apeErrInvalidFunctionParameter;
    if (format->wFormatTag != 1)
        return apeErrInvalidInputFile;
    if (format->nChannels < 1 || format->nChannels > 2)
        return apeErrUnsupportedChannelCount;
    if (format->wBitsPerSample != 8 && format->wBitsPerSample != 16 && format->wBitsPerSample != 24)
        return apeErrUnsupportedBitDepth;
    if (format->nSamplesPerSec == 0)
        return apeErrUnsupportedSampleRate;
    if (!ApeIsValidLevel(level))
        return apeErrBadParameter;

    FInfo = TApeFileInfo();
    FInfo.Version = apeVersionCurrent;
    FInfo.Level = level;
    FInfo.FormatFlags = headerBytes == -1 ? apeFlagCreateWavHeader : 0;
    FInfo.BlocksPerFrame = ApeBlocksPerFrame(level);
    FInfo.BitsPerSample = format->wBitsPerSample;
    FInfo.Channels = format->nChannels;
    FInfo.SampleRate = format->nSamplesPerSec;
    FInfo.HeaderDataBytes = headerBytes > 0 ? uint32_t(headerBytes) : 0;
    FBlockAlign = FInfo.BlockAlign();

    // A known length gets an exact table, as the official file compressor
    // writes; an unknown one room for 2^32 - 1 blocks, as current SDKs reserve.
    const uint64_t maxBlocks = maxAudioBytes < 0 ? uint64_t(UINT32_MAX) : uint64_t(maxAudioBytes) / FBlockAlign;
    const uint64_t entries = (maxBlocks + FInfo.BlocksPerFrame - 1) / FInfo.BlocksPerFrame;
    if (entries > (UINT32_MAX - 1024) / 4)
        return apeErrInputFileTooLarge;
    FSeekTable.assign(size_t(entries), 0);
    FFramePosBase = apeDescriptorBytes + apeHeaderBytes + entries * 4 + FInfo.HeaderDataBytes;

    FEncoder = std::make_unique<TApeFrameEncoder>(level, FInfo.Channels, FInfo.BitsPerSample);
    FBuffer.assign(size_t(FInfo.BlocksPerFrame) * FBlockAlign, 0);
    FFrameOut.assign(FEncoder->MaxFrameBytes(FInfo.BlocksPerFrame), 0);
    FFill = 0;
    FLogicalBytes = 0;
    FGroupFill = 0;
    FMd5 = TApeMd5();
    FError = 0;
    FOutput = std::move(output);

    // Placeholders for descriptor, header and seek table, then the WAV header.
    std::vector<uint8_t> head(size_t(FFramePosBase - FInfo.HeaderDataBytes), 0);
    if (!FOutput->Write(head.data(), head.size()))
        return Fail(apeErrIoWrite);
    if (FInfo.HeaderDataBytes) {
        if (!FOutput->Write(headerData, FInfo.HeaderDataBytes))
            return Fail(apeErrIoWrite);
        FMd5.Update(headerData, FInfo.HeaderDataBytes);
    }
    return apeOk;
}

int32_t TApeCompressor::Fail(int32_t code)
{
    FError = code;
    return code;
}

uint8_t* TApeCompressor::LockBuffer(int64_t* bytesAvailable)
{
    if (bytesAvailable)
        *bytesAvailable = 0;
    if (!FOutput || FError || !bytesAvailable)
        return nullptr;
    // A caller that unlocked without processing may have left the buffer full.
    if (FFill == FBuffer.size() && EncodeFrame(FBuffer.data(), FInfo.BlocksPerFrame) != apeOk)
        return nullptr;
    if (FFill == FBuffer.size())
        FFill = 0;
    *bytesAvailable = int64_t(FBuffer.size() - FFill);
    return FBuffer.data() + FFill;
}

int64_t TApeCompressor::GetBufferBytesAvailable() const
{
    return FOutput ? int64_t(FBuffer.size() - FFill) : 0;
}

int32_t TApeCompressor::UnlockBuffer(int64_t bytesAdded, bool process)
{
    if (!FOutput)
        return apeErrInvalidFunctionParameter;
    if (FError)
        return FError;
    if (bytesAdded < 0 || uint64_t(bytesAdded) > FBuffer.size() - FFill)
        return apeErrInvalidFunctionParameter;
    FFill += size_t(bytesAdded);
    if (process && FFill == FBuffer.size()) {
        if (const int32_t err = EncodeFrame(FBuffer.data(), FInfo.BlocksPerFrame))
            return err;
        FFill = 0;
    }
    return apeOk;
}

int32_t TApeCompressor::AddData(const void* data, int64_t bytes)
{
    auto p = static_cast<const uint8_t*>(data);
    while (bytes > 0) {
        int64_t room = 0;
        uint8_t* dst = LockBuffer(&room);
        if (!dst)
            return FError ? FError : apeErrInvalidFunctionParameter;
        const int64_t n = std::min(room, bytes);
        std::memcpy(dst, p, size_t(n));
        p += n;
        bytes -= n;
        if (const int32_t err = UnlockBuffer(n, true))
            return err;
    }
    return apeOk;
}

int32_t TApeCompressor::EncodeFrame(const uint8_t* pcm, uint32_t blocks)
{
    if (FInfo.TotalFrames >= FSeekTable.size())
        return Fail(apeErrTooMuchData);
    FSeekTable[FInfo.TotalFrames] = uint32_t(FFramePosBase + FLogicalBytes);
    const size_t n = FEncoder->Encode(pcm, blocks, FFrameOut.data());
    ++FInfo.TotalFrames;
    FInfo.FinalFrameBlocks = blocks;
    return EmitLogical(FFrameOut.data(), n);
}

// Frame data is stored in 4-byte groups with their bytes reversed, counted
// from the start of the frame data; a frame may end inside a group, so up to
// three bytes wait for the next frame.
int32_t TApeCompressor::EmitLogical(const uint8_t* data, size_t bytes)
{
    FLogicalBytes += bytes;
    FSwapped.resize((FGroupFill + bytes) / 4 * 4);
    size_t out = 0;
    while (bytes) {
        FGroup[FGroupFill++] = *data++;
        --bytes;
        if (FGroupFill == 4) {
            FSwapped[out++] = FGroup[3];
            FSwapped[out++] = FGroup[2];
            FSwapped[out++] = FGroup[1];
            FSwapped[out++] = FGroup[0];
            FGroupFill = 0;
            // Whole groups in the middle go straight through.
            const size_t whole = bytes / 4 * 4;
            for (size_t i = 0; i < whole; i += 4) {
                FSwapped[out++] = data[i + 3];
                FSwapped[out++] = data[i + 2];
                FSwapped[out++] = data[i + 1];
                FSwapped[out++] = data[i];
            }
            data += whole;
            bytes -= whole;
        }
    }
    if (out) {
        FMd5.Update(FSwapped.data(), out);
        if (!FOutput->Write(FSwapped.data(), out))
            return Fail(apeErrIoWrite);
    }
    return apeOk;
}

int32_t TApeCompressor::Finish(const void* terminatingData, int64_t terminatingBytes, int64_t wavTerminatingBytes)
{
    if (!FOutput)
        return apeErrInvalidFunctionParameter;
    if (FError)
        return FError;
    if (terminatingBytes < 0 || (terminatingBytes > 0 && !terminatingData) || terminatingBytes > int64_t(UINT32_MAX))
        return apeErrInvalidFunctionParameter;
    // A trailing part of a block cannot be coded and is dropped.
    const uint32_t blocks = uint32_t(FFill / FBlockAlign);
    if (blocks)
        if (const int32_t err = EncodeFrame(FBuffer.data(), blocks))
            return err;
    FFill = 0;
    if (FInfo.TotalFrames == 0)
        FInfo.FinalFrameBlocks = FInfo.BlocksPerFrame;

    // The stream always ends with 1 to 4 zero bytes, a full group when aligned.
    const uint8_t zeros[4] = {};
    const size_t pad = 4 - size_t(FLogicalBytes % 4);
    if (const int32_t err = EmitLogical(zeros, pad))
        return err;
    FInfo.FrameDataBytes = FLogicalBytes;

    const int64_t wavTail = std::clamp<int64_t>(wavTerminatingBytes, 0, terminatingBytes);
    if (terminatingBytes > 0) {
        if (!FOutput->Write(terminatingData, size_t(terminatingBytes)))
            return Fail(apeErrIoWrite);
        FMd5.Update(terminatingData, size_t(wavTail));
    }
    FInfo.TerminatingBytes = uint32_t(wavTail);

    // Descriptor, header and seek table; the MD5 covers all but the descriptor.
    const std::array<uint8_t, 24> header = FInfo.EncodeHeader();
    std::vector<uint8_t> table(FSeekTable.size() * 4);
    for (size_t i = 0; i < FSeekTable.size(); ++i)
        Put32(table.data() + i * 4, FSeekTable[i]);
    FMd5.Update(header.data(), header.size());
    FMd5.Update(table.data(), table.size());
    const std::array<uint8_t, 16> md5 = FMd5.Final();

    std::vector<uint8_t> head(apeDescriptorBytes + apeHeaderBytes);
    std::memcpy(head.data(), "MAC ", 4);
    head[4] = uint8_t(apeVersionCurrent & 0xFF);
    head[5] = uint8_t(apeVersionCurrent >> 8);
    Put32(head.data() + 8, apeDescriptorBytes);
    Put32(head.data() + 12, apeHeaderBytes);
    Put32(head.data() + 16, uint32_t(table.size()));
    Put32(head.data() + 20, FInfo.HeaderDataBytes);
    Put32(head.data() + 24, uint32_t(FInfo.FrameDataBytes));
    Put32(head.data() + 28, uint32_t(FInfo.FrameDataBytes >> 32));
    Put32(head.data() + 32, FInfo.TerminatingBytes);
    std::memcpy(head.data() + 36, md5.data(), 16);
    std::memcpy(head.data() + apeDescriptorBytes, header.data(), header.size());
    head.insert(head.end(), table.begin(), table.end());
    const bool ok = FOutput->WriteAt(0, head.data(), head.size()) && FOutput->Close();
    FOutput.reset();
    FEncoder.reset();
    FBuffer = {};
    FFrameOut = {};
    return ok ? apeOk : apeErrIoWrite;
}

int32_t TApeCompressor::Kill()
{
    if (FOutput)
        FOutput->Close();
    FOutput.reset();
    FEncoder.reset();
    return apeOk;
}

} // namespace kestrune::ape
