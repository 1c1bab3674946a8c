// Numbers of the Monkey's Audio format and of its SDK's C interface that the
// rest of the codec and its callers share.
#pragma once

#include <cstdint>

namespace kestrune::ape {

// The SDK's published error codes; the program shows them through ApeErrorText.
enum TApeError : int32_t {
    apeOk = 0,
    apeErrIoRead = 1000,
    apeErrIoWrite = 1001,
    apeErrInvalidInputFile = 1002,
    apeErrInvalidOutputFile = 1003,
    apeErrInputFileTooLarge = 1004,
    apeErrUnsupportedBitDepth = 1005,
    apeErrUnsupportedSampleRate = 1006,
    apeErrUnsupportedChannelCount = 1007,
    apeErrInputFileTooSmall = 1008,
    apeErrInvalidChecksum = 1009,
    apeErrDecompressingFrame = 1010,
    apeErrInitializingUnmac = 1011,
    apeErrInvalidFunctionParameter = 1012,
    apeErrUnsupportedFileType = 1013,
    apeErrInsufficientMemory = 2000,
    apeErrUserStopped = 4000,
    apeErrSkipped = 4001,
    apeErrBadParameter = 5000,
    apeErrTooMuchData = 6000,
};

// Field numbers of the decompressor's GetInfo, as the SDK numbers them.
enum TApeInfo : int32_t {
    apeInfoFileVersion = 1000,
    apeInfoCompressionLevel = 1001,
    apeInfoFormatFlags = 1002,
    apeInfoSampleRate = 1003,
    apeInfoBitsPerSample = 1004,
    apeInfoBytesPerSample = 1005,
    apeInfoChannels = 1006,
    apeInfoBlockAlign = 1007,
    apeInfoBlocksPerFrame = 1008,
    apeInfoFinalFrameBlocks = 1009,
    apeInfoTotalFrames = 1010,
    apeInfoWavHeaderBytes = 1011,
    apeInfoWavTerminatingBytes = 1012,
    apeInfoWavDataBytes = 1013,
    apeInfoWavTotalBytes = 1014,
    apeInfoApeTotalBytes = 1015,
    apeInfoTotalBlocks = 1016,
    apeInfoLengthMs = 1017,
    apeInfoAverageBitrate = 1018,
    apeInfoWaveFormatEx = 1026,
    apeDecompressCurrentBlock = 2000,
    apeDecompressCurrentMs = 2001,
    apeDecompressTotalBlocks = 2002,
    apeDecompressLengthMs = 2003,
};

enum TApeLevel : int32_t {
    apeLevelFast = 1000,
    apeLevelNormal = 2000,
    apeLevelHigh = 3000,
    apeLevelExtraHigh = 4000,
    apeLevelInsane = 5000,
};

// Format flags of the header.
inline constexpr uint16_t apeFlag8Bit = 1;
inline constexpr uint16_t apeFlagPeakLevel = 4;
inline constexpr uint16_t apeFlag24Bit = 8;
inline constexpr uint16_t apeFlagSeekElements = 16;
inline constexpr uint16_t apeFlagCreateWavHeader = 32;
inline constexpr uint16_t apeFlagFloat = 4096;

inline constexpr uint16_t apeVersionCurrent = 3990;
inline constexpr uint16_t apeVersionOldest = 3950;

inline constexpr uint32_t apeDescriptorBytes = 52;
inline constexpr uint32_t apeHeaderBytes = 24;
inline constexpr uint32_t apeCanonicalWavHeaderBytes = 44;

inline bool ApeIsValidLevel(int32_t level)
{
    return level == 1000 || level == 2000 || level == 3000 || level == 4000 || level == 5000;
}

// Blocks per frame of files this codec writes (and of 3980+ files in general).
inline uint32_t ApeBlocksPerFrame(int32_t level, uint16_t version = apeVersionCurrent)
{
    if (version < 3980)
        return 294912;
    if (level == 5000)
        return 1179648;
    if (level == 4000)
        return 294912;
    return 73728;
}

} // namespace kestrune::ape
