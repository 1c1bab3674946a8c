#pragma once

#include "pipeline/TStream.h"

#include <cstdint>
#include <vector>

namespace kestrune {

// A stream over bytes in memory; writes past the end grow it.
class TMemoryStream final : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<std::uint8_t> Bytes) : Data(std::move(Bytes)) {}

    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    void Write(const void* Buffer, std::int64_t Count) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(Data.size()); }
    void SetSize(std::int64_t Size) override;

    const std::vector<std::uint8_t>& Bytes() const { return Data; }
    std::vector<std::uint8_t>& Bytes() { return Data; }

private:
    std::vector<std::uint8_t> Data;
    std::int64_t Pos = 0;
};

} // namespace kestrune
