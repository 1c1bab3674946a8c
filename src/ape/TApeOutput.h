#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrune::ape {

// Where the compressor writes: appends, plus one rewrite of the start of the
// file when the totals are known.
class TApeOutput {
public:
    virtual ~TApeOutput() = default;
    virtual bool Write(const void* data, size_t bytes) = 0;
    virtual bool WriteAt(int64_t offset, const void* data, size_t bytes) = 0;
    virtual bool Close() = 0;
};

} // namespace kestrune::ape
