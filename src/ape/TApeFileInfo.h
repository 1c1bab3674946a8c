#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "ape/TApeInput.h"

namespace kestrune::ape {

// What the descriptor, header and seek table of a file say, with every field
// checked before use, and the writers for the same structures.
class TApeFileInfo {
public:
    // Parses the file's start; returns 0 or an SDK error code.
    int32_t Read(TApeInput& input);

    uint64_t TotalBlocks() const
    {
        return TotalFrames ? uint64_t(TotalFrames - 1) * BlocksPerFrame + FinalFrameBlocks : 0;
    }
    uint32_t BlockAlign() const { return uint32_t(Channels) * BitsPerSample / 8; }
    uint32_t FrameBlocks(uint32_t frame) const { return frame + 1 == TotalFrames ? FinalFrameBlocks : BlocksPerFrame; }
    // Start and end (file positions) of a frame's bytes.
    int64_t FrameStart(uint32_t frame) const { return FramePositions[frame]; }
    int64_t FrameEnd(uint32_t frame) const
    {
        return frame + 1 < TotalFrames ? FramePositions[frame + 1] : FrameDataEnd;
    }
    // Bytes of the WAV file the library reports as the decoded size.
    int64_t WavHeaderLength() const;
    int64_t WavTotalBytes() const;

    // The 24-byte header (format 3980+) as written and hashed.
    std::array<uint8_t, 24> EncodeHeader() const;

    static std::vector<uint8_t> CanonicalWavHeader(int channels, uint32_t sampleRate, int bits, uint64_t pcmBytes,
                                                   uint64_t terminatingBytes);

    uint16_t Version = 0;
    int32_t Level = 0;
    uint16_t FormatFlags = 0;
    uint32_t BlocksPerFrame = 0;
    uint32_t FinalFrameBlocks = 0;
    uint32_t TotalFrames = 0;
    uint16_t BitsPerSample = 0;
    uint16_t Channels = 0;
    uint32_t SampleRate = 0;
    uint32_t HeaderDataBytes = 0;
    uint32_t TerminatingBytes = 0;
    uint64_t FrameDataBytes = 0;
    std::array<uint8_t, 16> Md5{};

    int64_t DescriptorPos = 0; // length of any junk (ID3v2) in front
    int64_t HeaderDataPos = 0;
    int64_t FrameDataPos = 0;
    int64_t FrameDataEnd = 0;
    int64_t TerminatingPos = 0;
    std::vector<int64_t> FramePositions; // file positions, wrap of the 32-bit entries undone
    std::vector<uint32_t> SeekTable;     // the entries as stored

private:
    int32_t FindDescriptor(TApeInput& input);
    int32_t ReadCurrentHeader(TApeInput& input);
    int32_t ReadOldHeader(TApeInput& input);
    int32_t ReadSeekTable(TApeInput& input, int64_t pos, uint32_t entries);
    int32_t Validate(int64_t fileSize) const;
    static int64_t TrailingTagBytes(TApeInput& input);
};

} // namespace kestrune::ape
