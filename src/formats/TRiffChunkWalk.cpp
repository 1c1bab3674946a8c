#include "formats/TRiffChunkWalk.h"

#include "pipeline/ByteOrder.h"
#include "pipeline/TStream.h"

#include <algorithm>
#include <cstdio>

namespace kestrune {

namespace {

constexpr std::uint16_t TagPCM = 1;
constexpr std::uint16_t TagMSADPCM = 2;
constexpr std::uint16_t TagFloat = 3;
constexpr std::uint16_t TagDVIADPCM = 0x11;
constexpr std::uint16_t TagMPEGLayer3 = 0x55;
constexpr std::uint16_t TagExtensible = 0xFFFE;

// The largest "fmt " content the walk looks at: Microsoft ADPCM with 32
// coefficient pairs needs 22 + 32 × 4 bytes; anything past that is unused.
constexpr int FormatBufferSize = 160;

// Reads the "fmt " content (Got bytes of it) into Header. Returns false with
// Header.Problem set when the format cannot be read.
bool ParseFormat(TWavHeader& Header, const std::uint8_t* C, std::int64_t Got, TWavType& Pending)
{
    if (Got < 16) {
        Header.Problem = "damaged format chunk";
        return false;
    }
    std::uint16_t tag = GetLe16(C);
    Header.Channels = GetLe16(C + 2);
    Header.SampleRate = GetLe32(C + 4);
    Header.BlockAlign = GetLe16(C + 12);
    Header.BitsPerSample = GetLe16(C + 14);
    if (tag == TagExtensible) {
        // The wrapped format is the first two bytes of the sub-format GUID.
        if (Got < 40) {
            Header.Problem = "damaged extensible format chunk";
            return false;
        }
        tag = GetLe16(C + 24);
    }
    Header.FormatTag = tag;
    switch (tag) {
    case TagPCM:
        Pending = TWavType::wtPCM;
        return true;
    case TagDVIADPCM:
        Header.SamplesPerBlock = Got >= 20 ? GetLe16(C + 18) : 0;
        Pending = TWavType::wtDVIADPCM;
        return true;
    case TagMSADPCM: {
        if (Got < 22) {
            Header.Problem = "damaged Microsoft ADPCM format chunk";
            return false;
        }
        Header.SamplesPerBlock = GetLe16(C + 18);
        const std::uint16_t count = GetLe16(C + 20);
        if (count > Header.Coefficients.size()) {
            Header.Problem =
                "Microsoft ADPCM with " + std::to_string(count) + " coefficient pairs (at most 32 are supported)";
            return false;
        }
        if (22 + 4 * static_cast<std::int64_t>(count) > Got) {
            Header.Problem = "damaged Microsoft ADPCM format chunk";
            return false;
        }
        Header.CoefficientCount = count;
        for (std::size_t i = 0; i < count; ++i) {
            Header.Coefficients[i][0] = static_cast<std::int16_t>(GetLe16(C + 22 + 4 * i));
            Header.Coefficients[i][1] = static_cast<std::int16_t>(GetLe16(C + 24 + 4 * i));
        }
        Pending = TWavType::wtMSADPCM;
        return true;
    }
    case TagMPEGLayer3:
        Pending = TWavType::wtACM;
        return true;
    case TagFloat:
        Header.Problem = "floating-point samples are not supported";
        return false;
    default: {
        char text[64];
        std::snprintf(text, sizeof text, "wave format 0x%04X is not supported", tag);
        Header.Problem = text;
        return false;
    }
    }
}

// Position of Code searched a byte at a time in Bytes[From, Count), or -1.
std::int64_t Search(const std::uint8_t* Bytes, std::int64_t From, std::int64_t Count, const char* Code)
{
    for (std::int64_t i = From; i + 4 <= Count; ++i)
        if (TRiffChunkWalk::SameCode(Bytes + i, Code))
            return i;
    return -1;
}

} // namespace

bool TRiffChunkWalk::SameCode(const std::uint8_t* Bytes, const char* Code)
{
    for (int i = 0; i < 4; ++i) {
        const auto diff = static_cast<std::uint8_t>(Bytes[i] - static_cast<std::uint8_t>(Code[i]));
        if (diff != 0 && diff != 0x20 && diff != 0xE0)
            return false;
    }
    return true;
}

TWavHeader TRiffChunkWalk::Walk(TStream& Stream)
{
    TWavHeader header;
    const std::int64_t origin = Stream.Position();

    std::uint8_t prefix[SearchLimit];
    const std::int64_t got = Stream.Read(prefix, SearchLimit);
    const std::int64_t riff = Search(prefix, 0, got, "RIFF");
    // "WAVE" follows the RIFF size; the sliding search steps over that size.
    const std::int64_t wave = riff < 0 ? -1 : Search(prefix, riff + 8, got, "WAVE");
    if (wave < 0) {
        header.Problem = "not a RIFF WAVE file";
        return header;
    }

    header.RiffOffset = origin + riff;
    std::int64_t consumed = wave + 4;
    std::int64_t pos = origin + wave + 4;
    bool haveFormat = false;
    TWavType pending = TWavType::wtUnsupported;
    for (;;) {
        if (consumed + 8 > SearchLimit) {
            header.Problem = haveFormat ? "no data chunk within the first 8192 bytes"
                                        : "no format chunk within the first 8192 bytes";
            return header;
        }
        Stream.Seek(pos, TSeekOrigin::soBeginning);
        std::uint8_t chunk[8];
        if (!Stream.ReadExact(chunk, 8)) {
            header.Problem = haveFormat ? "no data chunk" : "no format chunk";
            return header;
        }
        consumed += 8;
        const std::uint32_t size = GetLe32(chunk + 4);
        if (SameCode(chunk, "fmt ")) {
            std::uint8_t content[FormatBufferSize] = {};
            const std::int64_t want = std::min<std::int64_t>(size, FormatBufferSize);
            const std::int64_t n = Stream.Read(content, want);
            consumed += n;
            if (!ParseFormat(header, content, n, pending))
                return header;
            haveFormat = true;
        } else if (SameCode(chunk, "fact")) {
            std::uint8_t count[4];
            if (size >= 4 && Stream.ReadExact(count, 4)) {
                header.HasFact = true;
                header.FactFrames = GetLe32(count);
                header.FactOffset = pos + 8;
                consumed += 4;
            }
        } else if (SameCode(chunk, "data")) {
            if (!haveFormat) {
                header.Problem = "the data chunk comes before the format chunk";
                return header;
            }
            header.DataSize = size;
            header.DataSizeOffset = pos + 4;
            header.DataStart = pos + 8;
            header.Type = pending;
            Stream.Seek(header.DataStart, TSeekOrigin::soBeginning);
            return header;
        }
        pos += 8 + static_cast<std::int64_t>(size);
        if ((size & 1) != 0) {
            // RIFF pads odd chunks to even length, but not every writer does:
            // a chunk code never starts with a zero byte, so a zero here is
            // the pad byte.
            Stream.Seek(pos, TSeekOrigin::soBeginning);
            std::uint8_t pad = 1;
            if (Stream.Read(&pad, 1) == 1 && pad == 0)
                ++pos;
        }
    }
}

} // namespace kestrune
