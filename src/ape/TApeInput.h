#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrune::ape {

// Where the decompressor reads a file from: a file on disk or bytes in memory
// (the fuzz target and tests). Called once per frame, never per sample.
class TApeInput {
public:
    virtual ~TApeInput() = default;
    virtual int64_t Size() const = 0;
    // Reads up to bytes at offset; returns how many were read (fewer at the end).
    virtual size_t ReadAt(int64_t offset, void* buffer, size_t bytes) = 0;
};

} // namespace kestrune::ape
