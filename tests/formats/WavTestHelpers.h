#pragma once

// Helpers of the WAV tests: a RIFF file builder, little-endian readers, and
// a stream that fills up as a disk does.

#include "formats/TWaveIn.h"
#include "pipeline/ByteOrder.h"
#include "pipeline/EACSException.h"
#include "pipeline/TACSOutput.h"
#include "pipeline/TStream.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kestrune::test {

// Bounds-checked: the last byte is looked up with at() first.
inline std::uint32_t Le32At(const std::vector<std::uint8_t>& B, size_t At)
{
    return GetLe32(&B.at(At + 3) - 3);
}

inline std::uint16_t Le16At(const std::vector<std::uint8_t>& B, size_t At)
{
    return GetLe16(&B.at(At + 1) - 1);
}

// Builds RIFF WAVE bytes chunk by chunk.
class TRiffBuilder {
public:
    explicit TRiffBuilder(const char* Riff = "RIFF", const char* Wave = "WAVE")
    {
        Code(Riff);
        U32(0); // patched by Bytes()
        Code(Wave);
    }
    TRiffBuilder& Chunk(const char* Code4, const std::vector<std::uint8_t>& Content, std::int64_t SizeField = -1)
    {
        Code(Code4);
        U32(SizeField < 0 ? static_cast<std::uint32_t>(Content.size()) : static_cast<std::uint32_t>(SizeField));
        Out.insert(Out.end(), Content.begin(), Content.end());
        if (Content.size() % 2 == 1 && Pad)
            Out.push_back(0);
        return *this;
    }
    std::vector<std::uint8_t> Bytes() const
    {
        std::vector<std::uint8_t> b = Out;
        const auto size = static_cast<std::uint32_t>(b.size() - 8);
        std::memcpy(b.data() + 4, &size, 4);
        return b;
    }
    bool Pad = true;

    static void Put16(std::vector<std::uint8_t>& V, std::uint32_t X)
    {
        V.push_back(static_cast<std::uint8_t>(X & 0xFF));
        V.push_back(static_cast<std::uint8_t>((X >> 8) & 0xFF));
    }
    static void Put32(std::vector<std::uint8_t>& V, std::uint32_t X)
    {
        Put16(V, X & 0xFFFF);
        Put16(V, X >> 16);
    }
    // A "fmt " content: tag, channels, rate, block align, bits, then Extra.
    static std::vector<std::uint8_t> Format(int Tag, int Channels, int Rate, int BlockAlign, int Bits,
                                            const std::vector<std::uint8_t>& Extra = {})
    {
        std::vector<std::uint8_t> f;
        Put16(f, static_cast<std::uint32_t>(Tag));
        Put16(f, static_cast<std::uint32_t>(Channels));
        Put32(f, static_cast<std::uint32_t>(Rate));
        Put32(f, static_cast<std::uint32_t>(Rate * BlockAlign));
        Put16(f, static_cast<std::uint32_t>(BlockAlign));
        Put16(f, static_cast<std::uint32_t>(Bits));
        f.insert(f.end(), Extra.begin(), Extra.end());
        return f;
    }

private:
    void Code(const char* C) { Out.insert(Out.end(), C, C + 4); }
    void U32(std::uint32_t X) { Put32(Out, X); }
    std::vector<std::uint8_t> Out;
};

// A stream in memory that fails every write once Limit bytes were written, as
// a full disk does.
class TFullDiskStream final : public TStream {
public:
    explicit TFullDiskStream(std::int64_t Limit) : Left(Limit) {}
    std::int64_t Read(void* Buffer, std::int64_t Count) override
    {
        const std::int64_t n = std::max<std::int64_t>(0, std::min<std::int64_t>(Count, Size() - Pos));
        std::memcpy(Buffer, Data.data() + Pos, static_cast<size_t>(n));
        Pos += n;
        return n;
    }
    void Write(const void* Buffer, std::int64_t Count) override
    {
        if (Count > Left)
            throw EACSException("Cannot write to file \"full\". No space left on device");
        Left -= Count;
        if (Pos + Count > Size())
            Data.resize(static_cast<size_t>(Pos + Count));
        std::memcpy(Data.data() + Pos, Buffer, static_cast<size_t>(Count));
        Pos += Count;
    }
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override
    {
        Pos = (Origin == TSeekOrigin::soBeginning ? 0 : Origin == TSeekOrigin::soCurrent ? Pos : Size()) + Offset;
        return Pos;
    }
    std::int64_t Size() override { return static_cast<std::int64_t>(Data.size()); }

private:
    std::vector<std::uint8_t> Data;
    std::int64_t Pos = 0;
    std::int64_t Left;
};

} // namespace kestrune::test
