#include "ape/TApeFileInfo.h"

#include <algorithm>
#include <cstring>

#include "ape/ApeConstants.h"

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
inline void Put16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

constexpr int64_t kScanLimit = 1 << 20;

} // namespace

int32_t TApeFileInfo::FindDescriptor(TApeInput& input)
{
    uint8_t id3[10];
    int64_t pos = 0;
    if (input.ReadAt(0, id3, 10) == 10 && std::memcmp(id3, "ID3", 3) == 0) {
        pos = 10 + (int64_t(id3[6] & 0x7F) << 21 | int64_t(id3[7] & 0x7F) << 14 | int64_t(id3[8] & 0x7F) << 7 |
                    int64_t(id3[9] & 0x7F));
        if (id3[5] & 0x10)
            pos += 10;
        // Some taggers pad with zeros after the tag.
        uint8_t b = 0;
        while (pos < input.Size() && pos < kScanLimit && input.ReadAt(pos, &b, 1) == 1 && b == 0)
            ++pos;
    }
    uint8_t sig[4];
    if (input.ReadAt(pos, sig, 4) == 4 && (std::memcmp(sig, "MAC ", 4) == 0 || std::memcmp(sig, "MACF", 4) == 0)) {
        DescriptorPos = pos;
        return sig[3] == 'F' ? apeErrUnsupportedFileType : apeOk;
    }
    // Like the official reader, look for the signature within the first MiB.
    std::vector<uint8_t> window(size_t(std::min<int64_t>(input.Size(), kScanLimit + 4)));
    const size_t n = input.ReadAt(0, window.data(), window.size());
    for (size_t i = 0; i + 4 <= n; ++i) {
        if (window[i] == 'M' && window[i + 1] == 'A' && window[i + 2] == 'C' &&
            (window[i + 3] == ' ' || window[i + 3] == 'F')) {
            DescriptorPos = int64_t(i);
            return window[i + 3] == 'F' ? apeErrUnsupportedFileType : apeOk;
        }
    }
    return apeErrInvalidInputFile;
}

int32_t TApeFileInfo::Read(TApeInput& input)
{
    if (const int32_t err = FindDescriptor(input))
        return err;
    uint8_t v[6];
    if (input.ReadAt(DescriptorPos, v, 6) != 6)
        return apeErrInvalidInputFile;
    Version = Le16(v + 4);
    int32_t err;
    if (Version >= 3980)
        err = ReadCurrentHeader(input);
    else if (Version >= apeVersionOldest)
        err = ReadOldHeader(input);
    else
        return apeErrUnsupportedFileType;
    if (err)
        return err;
    return Validate(input.Size());
}

int32_t TApeFileInfo::ReadCurrentHeader(TApeInput& input)
{
    uint8_t d[52];
    if (input.ReadAt(DescriptorPos, d, 52) != 52)
        return apeErrInvalidInputFile;
    const uint32_t descriptorBytes = Le32(d + 8);
    const uint32_t headerBytes = Le32(d + 12);
    const uint32_t seekTableBytes = Le32(d + 16);
    HeaderDataBytes = Le32(d + 20);
    FrameDataBytes = uint64_t(Le32(d + 24)) | uint64_t(Le32(d + 28)) << 32;
    TerminatingBytes = Le32(d + 32);
    std::memcpy(Md5.data(), d + 36, 16);
    if (descriptorBytes < 52 || headerBytes < 24 || descriptorBytes > kScanLimit || headerBytes > kScanLimit)
        return apeErrInvalidInputFile;
    uint8_t h[24];
    const int64_t headerPos = DescriptorPos + descriptorBytes;
    if (input.ReadAt(headerPos, h, 24) != 24)
        return apeErrInvalidInputFile;
    Level = Le16(h);
    FormatFlags = Le16(h + 2);
    BlocksPerFrame = Le32(h + 4);
    FinalFrameBlocks = Le32(h + 8);
    TotalFrames = Le32(h + 12);
    BitsPerSample = Le16(h + 16);
    Channels = Le16(h + 18);
    SampleRate = Le32(h + 20);
    const int64_t seekPos = headerPos + headerBytes;
    if (int64_t(seekTableBytes / 4) > input.Size() / 4)
        return apeErrInvalidInputFile;
    if (const int32_t err = ReadSeekTable(input, seekPos, seekTableBytes / 4))
        return err;
    HeaderDataPos = seekPos + seekTableBytes;
    FrameDataPos = HeaderDataPos + HeaderDataBytes;
    if (FrameDataBytes > uint64_t(INT64_MAX / 2))
        return apeErrInvalidInputFile;
    FrameDataEnd = FrameDataPos + int64_t(FrameDataBytes);
    TerminatingPos = FrameDataEnd;
    return apeOk;
}

int32_t TApeFileInfo::ReadOldHeader(TApeInput& input)
{
    uint8_t h[32];
    if (input.ReadAt(DescriptorPos, h, 32) != 32)
        return apeErrInvalidInputFile;
    Level = Le16(h + 6);
    FormatFlags = Le16(h + 8);
    Channels = Le16(h + 10);
    SampleRate = Le32(h + 12);
    HeaderDataBytes = Le32(h + 16);
    TerminatingBytes = Le32(h + 20);
    TotalFrames = Le32(h + 24);
    FinalFrameBlocks = Le32(h + 28);
    BitsPerSample = (FormatFlags & apeFlag8Bit) ? 8 : (FormatFlags & apeFlag24Bit) ? 24 : 16;
    BlocksPerFrame = ApeBlocksPerFrame(Level, Version);
    int64_t pos = DescriptorPos + 32;
    if (FormatFlags & apeFlagPeakLevel)
        pos += 4;
    uint32_t entries = TotalFrames;
    if (FormatFlags & apeFlagSeekElements) {
        uint8_t c[4];
        if (input.ReadAt(pos, c, 4) != 4)
            return apeErrInvalidInputFile;
        entries = Le32(c);
        pos += 4;
    }
    HeaderDataPos = pos;
    if (!(FormatFlags & apeFlagCreateWavHeader))
        pos += HeaderDataBytes;
    else
        HeaderDataBytes = 0;
    if (int64_t(entries) > input.Size() / 4)
        return apeErrInvalidInputFile;
    if (const int32_t err = ReadSeekTable(input, pos, entries))
        return err;
    FrameDataPos = pos + int64_t(entries) * 4;
    // Old files do not record the length of the frame data: it runs up to
    // the terminating data, which sits in front of any tags.
    FrameDataEnd = input.Size() - TrailingTagBytes(input) - int64_t(TerminatingBytes);
    if (FrameDataEnd < FrameDataPos)
        return apeErrInvalidInputFile;
    FrameDataBytes = uint64_t(FrameDataEnd - FrameDataPos);
    TerminatingPos = FrameDataEnd;
    return apeOk;
}

int32_t TApeFileInfo::ReadSeekTable(TApeInput& input, int64_t pos, uint32_t entries)
{
    if (entries < TotalFrames)
        return apeErrInvalidInputFile;
    std::vector<uint8_t> raw(size_t(entries) * 4);
    if (input.ReadAt(pos, raw.data(), raw.size()) != raw.size())
        return apeErrInvalidInputFile;
    SeekTable.resize(entries);
    for (uint32_t i = 0; i < entries; ++i)
        SeekTable[i] = Le32(raw.data() + size_t(i) * 4);
    FramePositions.resize(TotalFrames);
    // Entries are stored modulo 2^32; a drop means the file passed a 4 GiB mark.
    int64_t high = 0;
    for (uint32_t i = 0; i < TotalFrames; ++i) {
        if (i > 0 && SeekTable[i] < SeekTable[i - 1])
            high += int64_t(1) << 32;
        FramePositions[i] = DescriptorPos + high + SeekTable[i];
    }
    return apeOk;
}

int32_t TApeFileInfo::Validate(int64_t fileSize) const
{
    if (int64_t(HeaderDataBytes) > fileSize || int64_t(TerminatingBytes) > fileSize)
        return apeErrInvalidInputFile;
    if (FormatFlags & apeFlagFloat)
        return apeErrUnsupportedFileType;
    if (Channels < 1 || Channels > 32)
        return apeErrInvalidInputFile;
    if (Channels > 2)
        return apeErrUnsupportedFileType;
    if (BitsPerSample != 8 && BitsPerSample != 16 && BitsPerSample != 24)
        return apeErrUnsupportedFileType;
    if (!ApeIsValidLevel(Level))
        return apeErrInvalidInputFile;
    const uint32_t maxBlocks = Level == 5000 ? 10000000u : 1000000u;
    if (BlocksPerFrame == 0 || BlocksPerFrame > maxBlocks || FinalFrameBlocks > BlocksPerFrame)
        return apeErrInvalidInputFile;
    if (TotalFrames > 0 && FinalFrameBlocks == 0)
        return apeErrInvalidInputFile;
    return apeOk;
}

int64_t TApeFileInfo::TrailingTagBytes(TApeInput& input)
{
    int64_t end = input.Size();
    uint8_t buf[32];
    if (end >= 128 && input.ReadAt(end - 128, buf, 3) == 3 && std::memcmp(buf, "TAG", 3) == 0)
        end -= 128;
    if (end >= 32 && input.ReadAt(end - 32, buf, 32) == 32 && std::memcmp(buf, "APETAGEX", 8) == 0) {
        int64_t size = Le32(buf + 12);
        if (Le32(buf + 20) & 0x80000000u)
            size += 32;
        end -= std::min(size, end);
    }
    return input.Size() - end;
}

int64_t TApeFileInfo::WavHeaderLength() const
{
    return (FormatFlags & apeFlagCreateWavHeader) ? int64_t(apeCanonicalWavHeaderBytes) : int64_t(HeaderDataBytes);
}

int64_t TApeFileInfo::WavTotalBytes() const
{
    return WavHeaderLength() + int64_t(TotalBlocks() * BlockAlign()) + int64_t(TerminatingBytes);
}

std::array<uint8_t, 24> TApeFileInfo::EncodeHeader() const
{
    std::array<uint8_t, 24> h{};
    Put16(h.data(), uint16_t(Level));
    Put16(h.data() + 2, FormatFlags);
    Put32(h.data() + 4, BlocksPerFrame);
    Put32(h.data() + 8, FinalFrameBlocks);
    Put32(h.data() + 12, TotalFrames);
    Put16(h.data() + 16, BitsPerSample);
    Put16(h.data() + 18, Channels);
    Put32(h.data() + 20, SampleRate);
    return h;
}

std::vector<uint8_t> TApeFileInfo::CanonicalWavHeader(int channels, uint32_t sampleRate, int bits, uint64_t pcmBytes,
                                                      uint64_t terminatingBytes)
{
    std::vector<uint8_t> w(44);
    const uint32_t align = uint32_t(channels * bits / 8);
    const uint64_t riff = pcmBytes + 36 + terminatingBytes;
    std::memcpy(w.data(), "RIFF", 4);
    Put32(w.data() + 4, riff > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(riff));
    std::memcpy(w.data() + 8, "WAVEfmt ", 8);
    Put32(w.data() + 16, 16);
    Put16(w.data() + 20, 1);
    Put16(w.data() + 22, uint16_t(channels));
    Put32(w.data() + 24, sampleRate);
    Put32(w.data() + 28, sampleRate * align);
    Put16(w.data() + 32, uint16_t(align));
    Put16(w.data() + 34, uint16_t(bits));
    std::memcpy(w.data() + 36, "data", 4);
    Put32(w.data() + 40, pcmBytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(pcmBytes));
    return w;
}

} // namespace kestrune::ape
