#pragma once

#include "formats/TTagStream.h"
#include "pipeline/TMemoryStream.h"

#include <cstdint>
#include <vector>

namespace kestrune {

// A file image in memory that tags can be written into: what the tests and
// the fuzz target tag instead of a file on disk.
class TTagMemoryStream final : public TTagStream {
public:
    TTagMemoryStream() = default;
    explicit TTagMemoryStream(std::vector<std::uint8_t> Bytes) : Memory(std::move(Bytes)) {}

    std::int64_t Read(void* Buffer, std::int64_t Count) override { return Memory.Read(Buffer, Count); }
    void Write(const void* Buffer, std::int64_t Count) override { Memory.Write(Buffer, Count); }
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override { return Memory.Seek(Offset, Origin); }
    std::int64_t Size() override { return Memory.Size(); }
    void SetSize(std::int64_t Size) override;

    const std::vector<std::uint8_t>& Bytes() const { return Memory.Bytes(); }

private:
    TMemoryStream Memory;
};

} // namespace kestrune
