#include "ape/TApeWavSource.h"

#include <cstring>

#include "ape/ApeConstants.h"
#include "ape/EAPEException.h"

namespace kestrune::ape {

namespace {

inline uint16_t Le16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

int32_t TApeWavSource::Open(const std::filesystem::path& path)
{
    try {
        FInput = std::make_unique<TApeFileInput>(path);
    } catch (const EAPEException& e) {
        return e.Code();
    }
    const int64_t size = FInput->Size();
    uint8_t riff[12];
    if (FInput->ReadAt(0, riff, 12) != 12 || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
        return apeErrInvalidInputFile;
    bool haveFormat = false;
    int64_t pos = 12;
    for (;;) {
        uint8_t chunk[8];
        if (FInput->ReadAt(pos, chunk, 8) != 8)
            return apeErrInvalidInputFile;
        const uint32_t chunkBytes = Le32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            uint8_t f[40] = {};
            const size_t want = std::min<size_t>(chunkBytes, sizeof f);
            if (chunkBytes < 16 || FInput->ReadAt(pos + 8, f, want) != want)
                return apeErrInvalidInputFile;
            uint16_t tag = Le16(f);
            // WAVE_FORMAT_EXTENSIBLE holding plain PCM counts as PCM.
            if (tag == 0xFFFE && chunkBytes >= 40 && Le16(f + 24) == 1)
                tag = 1;
            FFormat.wFormatTag = tag;
            FFormat.nChannels = Le16(f + 2);
            FFormat.nSamplesPerSec = Le32(f + 4);
            FFormat.nAvgBytesPerSec = Le32(f + 8);
            FFormat.nBlockAlign = Le16(f + 12);
            FFormat.wBitsPerSample = Le16(f + 14);
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat || FFormat.wFormatTag != 1)
                return apeErrInvalidInputFile;
            if (FFormat.nChannels < 1 || FFormat.nChannels > 2)
                return apeErrUnsupportedChannelCount;
            if (FFormat.wBitsPerSample != 8 && FFormat.wBitsPerSample != 16 && FFormat.wBitsPerSample != 24)
                return apeErrUnsupportedBitDepth;
            FPcmPos = pos + 8;
            // An unfinished capture may claim more than the file holds.
            const int64_t available = size - FPcmPos;
            const int64_t align = FFormat.nChannels * FFormat.wBitsPerSample / 8;
            FPcmBytes = std::min<int64_t>(chunkBytes, available) / align * align;
            FHeader.resize(size_t(FPcmPos));
            if (FInput->ReadAt(0, FHeader.data(), FHeader.size()) != FHeader.size())
                return apeErrIoRead;
            return FPcmBytes > 0 ? apeOk : apeErrInputFileTooSmall;
        }
        pos += 8 + int64_t(chunkBytes) + (chunkBytes & 1);
        if (pos + 8 > size)
            return apeErrInvalidInputFile;
    }
}

std::vector<uint8_t> TApeWavSource::TerminatingData()
{
    const int64_t from = FPcmPos + FPcmBytes;
    std::vector<uint8_t> tail(size_t(FInput->Size() - from));
    if (FInput->ReadAt(from, tail.data(), tail.size()) != tail.size())
        throw EAPEException(apeErrIoRead);
    return tail;
}

} // namespace kestrune::ape
