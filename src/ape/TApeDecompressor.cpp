#include "ape/TApeDecompressor.h"

#include <algorithm>
#include <cstring>

#include "ape/ApeConstants.h"
#include "ape/EAPEException.h"
#include "ape/TApeFileInput.h"

namespace kestrune::ape {

TApeDecompressor::TApeDecompressor(const std::filesystem::path& path) : FInput(std::make_unique<TApeFileInput>(path))
{
    Open();
}

TApeDecompressor::TApeDecompressor(std::unique_ptr<TApeInput> input) : FInput(std::move(input))
{
    if (!FInput)
        throw EAPEException(apeErrInvalidFunctionParameter);
    Open();
}

void TApeDecompressor::Open()
{
    if (const int32_t err = FInfo.Read(*FInput))
        throw EAPEException(err);
    FDecoder = std::make_unique<TApeFrameDecoder>(FInfo.Version, FInfo.Level, FInfo.Channels, FInfo.BitsPerSample);
}

TWaveFormatEx TApeDecompressor::WaveFormat() const
{
    TWaveFormatEx w;
    w.wFormatTag = 1;
    w.nChannels = FInfo.Channels;
    w.nSamplesPerSec = FInfo.SampleRate;
    w.wBitsPerSample = FInfo.BitsPerSample;
    w.nBlockAlign = uint16_t(FInfo.BlockAlign());
    w.nAvgBytesPerSec = FInfo.SampleRate * FInfo.BlockAlign();
    return w;
}

int32_t TApeDecompressor::LoadFrame(uint32_t frame)
{
    const int64_t start = FInfo.FrameStart(frame);
    const int64_t end = FInfo.FrameEnd(frame);
    const int64_t base = FInfo.FrameStart(0);
    if (start < FInfo.FrameDataPos || start < base || end <= start || end > FInput->Size() || end > FInfo.FrameDataEnd)
        return apeErrDecompressingFrame;
    // The stored bytes are 4-byte groups in reverse order, counted from the
    // start of the frame data; read whole groups around the frame.
    const int64_t skip = (start - base) % 4;
    const int64_t readStart = start - skip;
    const int64_t length = end - readStart;
    const size_t padded = size_t((length + 3) / 4 * 4);
    FRaw.assign(padded, 0);
    if (FInput->ReadAt(readStart, FRaw.data(), padded) < size_t(length))
        return apeErrDecompressingFrame;
    for (size_t i = 0; i < padded; i += 4) {
        std::swap(FRaw[i], FRaw[i + 3]);
        std::swap(FRaw[i + 1], FRaw[i + 2]);
    }
    const uint32_t blocks = FInfo.FrameBlocks(frame);
    FPcm.resize(size_t(blocks) * FInfo.BlockAlign());
    return FDecoder->Decode(FRaw.data() + skip, size_t(end - start), blocks, FPcm.data());
}

int32_t TApeDecompressor::GetData(void* buffer, int64_t blocks, int64_t* retrieved)
{
    if (retrieved)
        *retrieved = 0;
    if (!buffer || blocks < 0 || !retrieved)
        return apeErrInvalidFunctionParameter;
    auto out = static_cast<uint8_t*>(buffer);
    const uint32_t align = FInfo.BlockAlign();
    const int64_t total = int64_t(FInfo.TotalBlocks());
    while (blocks > 0 && FCurrentBlock < total) {
        const int64_t frame = FCurrentBlock / FInfo.BlocksPerFrame;
        if (frame != FLoadedFrame) {
            if (frame == FErrorFrame)
                return *retrieved ? apeOk : FFrameError;
            FLoadedFrame = -1;
            if (const int32_t err = LoadFrame(uint32_t(frame))) {
                FErrorFrame = frame;
                FFrameError = err;
                return *retrieved ? apeOk : err;
            }
            FLoadedFrame = frame;
        }
        const int64_t offset = FCurrentBlock - frame * FInfo.BlocksPerFrame;
        const int64_t n = std::min<int64_t>(blocks, FInfo.FrameBlocks(uint32_t(frame)) - offset);
        std::memcpy(out, FPcm.data() + offset * align, size_t(n * align));
        out += n * align;
        blocks -= n;
        *retrieved += n;
        FCurrentBlock += n;
    }
    return apeOk;
}

int32_t TApeDecompressor::Seek(int64_t block)
{
    if (block < 0 || block > int64_t(FInfo.TotalBlocks()))
        return apeErrInvalidFunctionParameter;
    FCurrentBlock = block;
    return apeOk;
}

int64_t TApeDecompressor::GetInfo(int32_t field, int64_t p1, int64_t p2) const
{
    (void)p2;
    const int64_t totalBlocks = int64_t(FInfo.TotalBlocks());
    const auto ms = [&](int64_t blocks) {
        return FInfo.SampleRate ? int64_t(double(blocks) * 1000.0 / double(FInfo.SampleRate)) : 0;
    };
    switch (field) {
    case apeInfoFileVersion:
        return FInfo.Version;
    case apeInfoCompressionLevel:
        return FInfo.Level;
    case apeInfoFormatFlags:
        return FInfo.FormatFlags;
    case apeInfoSampleRate:
        return FInfo.SampleRate;
    case apeInfoBitsPerSample:
        return FInfo.BitsPerSample;
    case apeInfoBytesPerSample:
        return FInfo.BitsPerSample / 8;
    case apeInfoChannels:
        return FInfo.Channels;
    case apeInfoBlockAlign:
        return FInfo.BlockAlign();
    case apeInfoBlocksPerFrame:
        return FInfo.BlocksPerFrame;
    case apeInfoFinalFrameBlocks:
        return FInfo.FinalFrameBlocks;
    case apeInfoTotalFrames:
        return FInfo.TotalFrames;
    case apeInfoWavHeaderBytes:
        return FInfo.WavHeaderLength();
    case apeInfoWavTerminatingBytes:
        return FInfo.TerminatingBytes;
    case apeInfoWavDataBytes:
        return totalBlocks * FInfo.BlockAlign();
    case apeInfoWavTotalBytes:
        return FInfo.WavTotalBytes();
    case apeInfoApeTotalBytes:
        return FInput->Size();
    case apeInfoTotalBlocks:
    case apeDecompressTotalBlocks:
        return totalBlocks;
    case apeInfoLengthMs:
    case apeDecompressLengthMs:
        return ms(totalBlocks);
    case apeInfoAverageBitrate:
        return totalBlocks && FInfo.SampleRate
                   ? int64_t(double(FInput->Size()) * 8.0 / (double(totalBlocks) / FInfo.SampleRate) / 1000.0)
                   : 0;
    case apeInfoWaveFormatEx:
        if (!p1)
            return apeErrInvalidFunctionParameter;
        // The caller's structure comes by address in the integer parameter.
        // NOLINTNEXTLINE(performance-no-int-to-ptr): that is the call's contract
        *reinterpret_cast<TWaveFormatEx*>(p1) = WaveFormat();
        return apeOk;
    case apeDecompressCurrentBlock:
        return FCurrentBlock;
    case apeDecompressCurrentMs:
        return ms(FCurrentBlock);
    default:
        return 0;
    }
}

std::vector<uint8_t> TApeDecompressor::WavHeaderData()
{
    if (FInfo.FormatFlags & apeFlagCreateWavHeader)
        return TApeFileInfo::CanonicalWavHeader(FInfo.Channels, FInfo.SampleRate, FInfo.BitsPerSample,
                                                FInfo.TotalBlocks() * FInfo.BlockAlign(), FInfo.TerminatingBytes);
    std::vector<uint8_t> data(FInfo.HeaderDataBytes);
    if (FInput->ReadAt(FInfo.HeaderDataPos, data.data(), data.size()) != data.size())
        throw EAPEException(apeErrIoRead);
    return data;
}

std::vector<uint8_t> TApeDecompressor::WavTerminatingData()
{
    std::vector<uint8_t> data(FInfo.TerminatingBytes);
    if (FInput->ReadAt(FInfo.TerminatingPos, data.data(), data.size()) != data.size())
        throw EAPEException(apeErrIoRead);
    return data;
}

} // namespace kestrune::ape
