#include "ape/ApeSdk.h"

#include <algorithm>
#include <new>
#include <vector>

#include "ape/TApeFileOutput.h"
#include "ape/TApeWavSource.h"

namespace kestrune::ape {

TApeCompressHandle c_APECompress_Create(int32_t* error)
{
    try {
        auto handle = std::make_unique<TApeCompressor>();
        if (error)
            *error = apeOk;
        return handle;
    } catch (const std::bad_alloc&) {
        if (error)
            *error = apeErrInsufficientMemory;
        return nullptr;
    }
}

void c_APECompress_Destroy(TApeCompressHandle handle)
{
    handle.reset();
}

int32_t c_APECompress_Start(TApeCompressor* handle, const std::filesystem::path& file, const TWaveFormatEx* format,
                            int64_t maxAudioBytes, int32_t level, const void* headerData, int64_t headerBytes)
{
    if (!handle)
        return apeErrInvalidFunctionParameter;
    try {
        return handle->Start(file, format, maxAudioBytes, level, headerData, headerBytes);
    } catch (const std::bad_alloc&) {
        return apeErrInsufficientMemory;
    }
}

uint8_t* c_APECompress_LockBuffer(TApeCompressor* handle, int64_t* bytesAvailable)
{
    if (!handle) {
        if (bytesAvailable)
            *bytesAvailable = 0;
        return nullptr;
    }
    return handle->LockBuffer(bytesAvailable);
}

int32_t c_APECompress_UnlockBuffer(TApeCompressor* handle, int64_t bytesAdded, int32_t process)
{
    return handle ? handle->UnlockBuffer(bytesAdded, process != 0) : apeErrInvalidFunctionParameter;
}

int64_t c_APECompress_GetBufferBytesAvailable(TApeCompressor* handle)
{
    return handle ? handle->GetBufferBytesAvailable() : 0;
}

int32_t c_APECompress_AddData(TApeCompressor* handle, const void* data, int64_t bytes)
{
    return handle ? handle->AddData(data, bytes) : apeErrInvalidFunctionParameter;
}

int32_t c_APECompress_Finish(TApeCompressor* handle, const void* terminatingData, int64_t terminatingBytes,
                             int64_t wavTerminatingBytes)
{
    return handle ? handle->Finish(terminatingData, terminatingBytes, wavTerminatingBytes)
                  : apeErrInvalidFunctionParameter;
}

int32_t c_APECompress_Kill(TApeCompressor* handle)
{
    return handle ? handle->Kill() : apeErrInvalidFunctionParameter;
}

TApeDecompressHandle c_APEDecompress_Create(const std::filesystem::path& file, int32_t* error)
{
    int32_t code = apeOk;
    TApeDecompressHandle handle;
    try {
        handle = std::make_unique<TApeDecompressor>(file);
    } catch (const EAPEException& e) {
        code = e.Code();
    } catch (const std::bad_alloc&) {
        code = apeErrInsufficientMemory;
    }
    if (error)
        *error = code;
    return handle;
}

void c_APEDecompress_Destroy(TApeDecompressHandle handle)
{
    handle.reset();
}

int32_t c_APEDecompress_GetData(TApeDecompressor* handle, void* buffer, int64_t blocks, int64_t* retrieved)
{
    if (!handle) {
        if (retrieved)
            *retrieved = 0;
        return apeErrInvalidFunctionParameter;
    }
    try {
        return handle->GetData(buffer, blocks, retrieved);
    } catch (const std::bad_alloc&) {
        return apeErrInsufficientMemory;
    }
}

int64_t c_APEDecompress_GetInfo(TApeDecompressor* handle, int32_t field, int64_t p1, int64_t p2)
{
    return handle ? handle->GetInfo(field, p1, p2) : 0;
}

int32_t c_APEDecompress_Seek(TApeDecompressor* handle, int64_t block)
{
    return handle ? handle->Seek(block) : apeErrInvalidFunctionParameter;
}

int32_t FillWaveFormatEx(TWaveFormatEx* format, int32_t sampleRate, int32_t bitsPerSample, int32_t channels)
{
    if (!format)
        return apeErrInvalidFunctionParameter;
    *format = TWaveFormatEx();
    format->wFormatTag = 1;
    format->nChannels = uint16_t(channels);
    format->nSamplesPerSec = uint32_t(sampleRate);
    format->wBitsPerSample = uint16_t(bitsPerSample);
    format->nBlockAlign = uint16_t(bitsPerSample / 8 * channels);
    format->nAvgBytesPerSec = format->nBlockAlign * uint32_t(sampleRate);
    format->cbSize = 0;
    return apeOk;
}

int32_t CompressFile(const std::filesystem::path& wavIn, const std::filesystem::path& apeOut, int32_t level)
{
    try {
        TApeWavSource source;
        if (const int32_t err = source.Open(wavIn))
            return err;
        TApeCompressor compressor;
        const std::vector<uint8_t>& header = source.HeaderData();
        if (const int32_t err = compressor.Start(apeOut, &source.Format(), source.PcmBytes(), level, header.data(),
                                                 int64_t(header.size())))
            return err;
        std::vector<uint8_t> chunk(1 << 20);
        for (int64_t done = 0; done < source.PcmBytes();) {
            const size_t n = size_t(std::min<int64_t>(int64_t(chunk.size()), source.PcmBytes() - done));
            if (source.Input().ReadAt(source.PcmPos() + done, chunk.data(), n) != n)
                return apeErrIoRead;
            if (const int32_t err = compressor.AddData(chunk.data(), int64_t(n)))
                return err;
            done += int64_t(n);
        }
        const std::vector<uint8_t> tail = source.TerminatingData();
        return compressor.Finish(tail.data(), int64_t(tail.size()), int64_t(tail.size()));
    } catch (const EAPEException& e) {
        return e.Code();
    } catch (const std::bad_alloc&) {
        return apeErrInsufficientMemory;
    }
}

int32_t DecompressFile(const std::filesystem::path& apeIn, const std::filesystem::path& wavOut)
{
    try {
        TApeDecompressor decompressor(apeIn);
        TApeFileOutput output(wavOut);
        const std::vector<uint8_t> header = decompressor.WavHeaderData();
        if (!output.Write(header.data(), header.size()))
            return apeErrIoWrite;
        const int64_t align = decompressor.GetInfo(apeInfoBlockAlign);
        const int64_t chunkBlocks = std::max<int64_t>(1, (1 << 20) / align);
        std::vector<uint8_t> chunk(size_t(chunkBlocks * align));
        for (;;) {
            int64_t got = 0;
            if (const int32_t err = decompressor.GetData(chunk.data(), chunkBlocks, &got))
                return err;
            if (got == 0)
                break;
            if (!output.Write(chunk.data(), size_t(got * align)))
                return apeErrIoWrite;
        }
        const std::vector<uint8_t> tail = decompressor.WavTerminatingData();
        if (!output.Write(tail.data(), tail.size()) || !output.Close())
            return apeErrIoWrite;
        return apeOk;
    } catch (const EAPEException& e) {
        return e.Code();
    } catch (const std::bad_alloc&) {
        return apeErrInsufficientMemory;
    }
}

} // namespace kestrune::ape
