// The codec with the shapes of the Monkey's Audio SDK's C interface, which is
// what the program's APE components call. Handles are owning smart pointers;
// destroying one is letting it go.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "ape/ApeConstants.h"
#include "ape/ApeErrorText.h"
#include "ape/EAPEException.h"
#include "ape/TApeCompressor.h"
#include "ape/TApeDecompressor.h"
#include "ape/TWaveFormatEx.h"

namespace kestrune::ape {

using TApeCompressHandle = std::unique_ptr<TApeCompressor>;
using TApeDecompressHandle = std::unique_ptr<TApeDecompressor>;

TApeCompressHandle c_APECompress_Create(int32_t* error);
void c_APECompress_Destroy(TApeCompressHandle handle);
int32_t c_APECompress_Start(TApeCompressor* handle, const std::filesystem::path& file, const TWaveFormatEx* format,
                            int64_t maxAudioBytes, int32_t level, const void* headerData, int64_t headerBytes);
uint8_t* c_APECompress_LockBuffer(TApeCompressor* handle, int64_t* bytesAvailable);
int32_t c_APECompress_UnlockBuffer(TApeCompressor* handle, int64_t bytesAdded, int32_t process);
int64_t c_APECompress_GetBufferBytesAvailable(TApeCompressor* handle);
int32_t c_APECompress_AddData(TApeCompressor* handle, const void* data, int64_t bytes);
int32_t c_APECompress_Finish(TApeCompressor* handle, const void* terminatingData, int64_t terminatingBytes,
                             int64_t wavTerminatingBytes);
int32_t c_APECompress_Kill(TApeCompressor* handle);

TApeDecompressHandle c_APEDecompress_Create(const std::filesystem::path& file, int32_t* error);
void c_APEDecompress_Destroy(TApeDecompressHandle handle);
int32_t c_APEDecompress_GetData(TApeDecompressor* handle, void* buffer, int64_t blocks, int64_t* retrieved);
int64_t c_APEDecompress_GetInfo(TApeDecompressor* handle, int32_t field, int64_t p1 = 0, int64_t p2 = 0);
int32_t c_APEDecompress_Seek(TApeDecompressor* handle, int64_t block);

int32_t FillWaveFormatEx(TWaveFormatEx* format, int32_t sampleRate, int32_t bitsPerSample, int32_t channels);

// Whole-file operations: WAV -> APE storing the WAV's header and trailing
// chunks with an exact seek table (as the official file compressor does), and
// APE -> WAV restoring that file (or a canonical header when none was stored).
int32_t CompressFile(const std::filesystem::path& wavIn, const std::filesystem::path& apeOut, int32_t level);
int32_t DecompressFile(const std::filesystem::path& apeIn, const std::filesystem::path& wavOut);

} // namespace kestrune::ape
