#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ape/TApeOutput.h"

namespace kestrune::ape {

// Collects a compressed file in memory (tests, and callers that store it elsewhere).
// The bytes live in a shared buffer so the caller can read them after the
// compressor has let the output go.
class TApeMemoryOutput : public TApeOutput {
public:
    explicit TApeMemoryOutput(std::shared_ptr<std::vector<uint8_t>> bytes) : FBytes(std::move(bytes)) {}

    bool Write(const void* data, size_t bytes) override;
    bool WriteAt(int64_t offset, const void* data, size_t bytes) override;
    bool Close() override { return true; }

private:
    std::shared_ptr<std::vector<uint8_t>> FBytes;
};

} // namespace kestrune::ape
