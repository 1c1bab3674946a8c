#pragma once

#include "ape/ApeSdk.h"
#include "pipeline/TACSFileOut.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace kestrune {

// Writes Monkey's Audio files through the program's own APE codec, fed by its
// buffer interface. The codec is linked in, so there is no library to miss.
//
// Threads: the owner sets the properties while idle; OpenOutput runs on the
// thread that calls Run, the steps and CloseOutput on the worker.
class TMACOut final : public TACSFileOut {
public:
    ~TMACOut() override;

    int CompressionLevel() const { return FCompressionLevel.load(); }
    // 1000 fast, 2000 normal, 3000 high, 4000 extra high, 5000 insane;
    // anything else stores 2000.
    void SetCompressionLevel(int Value);
    // The most audio bytes the file will hold (sizes the seek table); -1: not known.
    std::int64_t MaxAudioBytes() const { return FMaxAudioBytes.load(); }
    void SetMaxAudioBytes(std::int64_t Value) { FMaxAudioBytes = Value; }

protected:
    void OpenOutput() override;
    bool WriteStep(bool Abort) override;
    void CloseOutput() override;

private:
    std::atomic<int> FCompressionLevel{2000};
    std::atomic<std::int64_t> FMaxAudioBytes{-1};
    std::array<std::uint8_t, 65536> Buffer{};
    ape::TApeCompressHandle Compressor;
    ape::TWaveFormatEx WaveFormat{};
    bool EndOfInput = false;
};

} // namespace kestrune
