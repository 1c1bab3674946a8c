#pragma once

#include <cstdint>
#include <vector>

#include "ape/TApeInput.h"

namespace kestrune::ape {

class TApeMemoryInput : public TApeInput {
public:
    explicit TApeMemoryInput(std::vector<uint8_t> bytes) : FBytes(std::move(bytes)) {}
    TApeMemoryInput(const uint8_t* data, size_t bytes) : FBytes(data, data + bytes) {}

    int64_t Size() const override { return int64_t(FBytes.size()); }
    size_t ReadAt(int64_t offset, void* buffer, size_t bytes) override;

private:
    std::vector<uint8_t> FBytes;
};

} // namespace kestrune::ape
