#pragma once

#include "ape/ApeSdk.h"
#include "pipeline/TACSFileIn.h"

#include <array>
#include <cstdint>

namespace kestrune {

// Reads Monkey's Audio files (format versions 3.95 and later) through the
// program's own APE codec. Files are opened by name; a damaged frame is an
// error of the run, not silence.
//
// Threads: OpenFile on the thread that opens the input; ReadBlock and
// CloseFile on the pulling output's worker.
class TMACIn final : public TACSFileIn {
public:
    int TotalTime() override;
    int ReadBlock(void* Buffer, int Size) override;
    void OpenInput() override;
    void OpenFile() override;
    void CloseFile() override;
    bool SeekSample(std::int64_t Sample) override;

private:
    // Fills the decode buffer from the decoder; false when nothing came.
    bool Fill(bool ApplyEndSample);

    std::array<std::uint8_t, 8192> Buffer{};
    ape::TApeDecompressHandle Decompressor;
    bool EndOfFile = false;
};

} // namespace kestrune
