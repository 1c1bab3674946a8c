#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "ape/TApeFileInput.h"
#include "ape/TWaveFormatEx.h"

namespace kestrune::ape {

// A WAV file split the way the file compressor stores it: every byte before
// the PCM (kept verbatim), the PCM, and every byte after it.
class TApeWavSource {
public:
    // Returns 0 or an SDK error code.
    int32_t Open(const std::filesystem::path& path);

    const TWaveFormatEx& Format() const { return FFormat; }
    const std::vector<uint8_t>& HeaderData() const { return FHeader; }
    int64_t PcmPos() const { return FPcmPos; }
    int64_t PcmBytes() const { return FPcmBytes; }
    std::vector<uint8_t> TerminatingData();
    TApeInput& Input() { return *FInput; }

private:
    std::unique_ptr<TApeFileInput> FInput;
    TWaveFormatEx FFormat;
    std::vector<uint8_t> FHeader;
    int64_t FPcmPos = 0;
    int64_t FPcmBytes = 0;
};

} // namespace kestrune::ape
