#include "formats/TID3v2Tag.h"

#include "common/PathNames.h"
#include "formats/TID3v1Tag.h"
#include "pipeline/TStream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kestrune {

namespace {

constexpr int HeaderBytes = 10;
constexpr std::uint8_t UnsynchronisedTag = 0x80;
// In version 2.2 the same bit marks a compressed tag, for which no method
// was ever defined.
constexpr std::uint8_t ExtendedHeader = 0x40;

// Frame format flags (the second flag byte).
constexpr std::uint8_t V3Compressed = 0x80;
constexpr std::uint8_t V3Encrypted = 0x40;
constexpr std::uint8_t V3Grouped = 0x20;
constexpr std::uint8_t V4Grouped = 0x40;
constexpr std::uint8_t V4Compressed = 0x08;
constexpr std::uint8_t V4Encrypted = 0x04;
constexpr std::uint8_t V4Unsynchronised = 0x02;
constexpr std::uint8_t V4DataLength = 0x01;

enum TEncoding : std::uint8_t { enLatin1 = 0, enUtf16 = 1, enUtf16BE = 2, enUtf8 = 3 };

std::uint32_t Be32(const std::uint8_t* P)
{
    return std::uint32_t(P[0]) << 24 | std::uint32_t(P[1]) << 16 | std::uint32_t(P[2]) << 8 | P[3];
}

// Seven bits a byte, the top bit always clear.
std::uint32_t Syncsafe(const std::uint8_t* P)
{
    return std::uint32_t(P[0] & 0x7F) << 21 | std::uint32_t(P[1] & 0x7F) << 14 | std::uint32_t(P[2] & 0x7F) << 7 |
           (P[3] & 0x7F);
}

bool IsSyncsafe(const std::uint8_t* P)
{
    return ((P[0] | P[1] | P[2] | P[3]) & 0x80) == 0;
}

// Unsynchronisation put a zero after every 0xFF; this takes them out again.
std::vector<std::uint8_t> Resynchronised(const std::uint8_t* Data, std::size_t Size)
{
    std::vector<std::uint8_t> out;
    out.reserve(Size);
    for (std::size_t i = 0; i < Size; ++i) {
        out.push_back(Data[i]);
        if (Data[i] == 0xFF && i + 1 < Size && Data[i + 1] == 0)
            ++i;
    }
    return out;
}

// UTF-16 up to its first zero unit. A byte order mark decides the order;
// without one the frame's encoding does (taggers that leave out the mark
// of "UTF-16 with BOM" write little-endian). A lone surrogate becomes U+FFFD.
std::string FromUtf16(const std::uint8_t* Data, std::size_t Size, bool BigEndian)
{
    if (Size >= 2 && ((Data[0] == 0xFF && Data[1] == 0xFE) || (Data[0] == 0xFE && Data[1] == 0xFF))) {
        BigEndian = Data[0] == 0xFE;
        Data += 2;
        Size -= 2;
    }
    const std::size_t units = Size / 2;
    auto unit = [&](std::size_t I) {
        const std::uint8_t* p = Data + 2 * I;
        return static_cast<std::uint32_t>(BigEndian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]));
    };
    std::string out;
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint32_t u = unit(i);
        if (u == 0)
            break;
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) < 0xE000) {
            AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u < 0xE000) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

// The first value of a text frame's body as UTF-8; empty for an encoding
// that does not exist.
std::string FrameText(const std::uint8_t* Body, std::size_t Size)
{
    if (Size == 0)
        return {};
    const std::uint8_t encoding = Body[0];
    const std::uint8_t* text = Body + 1;
    const std::size_t bytes = Size - 1;
    const auto upToZero = [&] {
        return std::string(reinterpret_cast<const char*>(text),
                           static_cast<std::size_t>(std::find(text, text + bytes, 0) - text));
    };
    switch (encoding) {
    case enLatin1:
        return TID3v1Tag::FromLatin1(upToZero());
    case enUtf16:
        return FromUtf16(text, bytes, false);
    case enUtf16BE:
        return FromUtf16(text, bytes, true);
    case enUtf8:
        return upToZero();
    default:
        return {};
    }
}

std::string TTrackTags::*FieldOf(const char* Id, int Version)
{
    static const struct {
        const char* Id;
        const char* OldId;
        std::string TTrackTags::*Field;
    } frames[] = {
        {"TIT2", "TT2", &TTrackTags::Title},
        {"TPE1", "TP1", &TTrackTags::Artist},
        {"TALB", "TAL", &TTrackTags::Album},
        {"TSRC", "TRC", &TTrackTags::Isrc},
    };
    for (const auto& f : frames)
        if (Version == 2 ? std::memcmp(Id, f.OldId, 3) == 0 : std::memcmp(Id, f.Id, 4) == 0)
            return f.Field;
    return nullptr;
}

bool IsFrameIdChar(std::uint8_t C)
{
    return (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9');
}

// Walks the frames of a tag's body (after the header and any extended
// header). The walk ends at the padding or at the first frame that is not
// one or that runs past the body.
TTrackTags ReadFrames(const std::uint8_t* Data, std::size_t Size, int Version, bool AllUnsynchronised)
{
    const std::size_t idBytes = Version == 2 ? 3 : 4;
    const std::size_t headerBytes = Version == 2 ? 6 : 10;
    TTrackTags tags;
    std::size_t at = 0;
    while (Size - at >= headerBytes) {
        const std::uint8_t* header = Data + at;
        if (!std::all_of(header, header + idBytes, IsFrameIdChar))
            break;
        std::uint32_t bytes = 0;
        std::uint8_t flags = 0;
        if (Version == 2) {
            bytes = std::uint32_t(header[3]) << 16 | std::uint32_t(header[4]) << 8 | header[5];
        } else {
            // Some writers of version 2.4 kept the plain sizes of 2.3; a
            // size with a top bit set can only be one of those.
            bytes = Version == 4 && IsSyncsafe(header + 4) ? Syncsafe(header + 4) : Be32(header + 4);
            flags = header[9];
        }
        at += headerBytes;
        if (bytes > Size - at)
            break;
        const std::uint8_t* body = Data + at;
        std::size_t bodyBytes = bytes;
        at += bytes;

        std::string TTrackTags::*field = FieldOf(reinterpret_cast<const char*>(header), Version);
        if (!field || !(tags.*field).empty())
            continue;
        std::vector<std::uint8_t> restored;
        if (Version == 3) {
            if (flags & (V3Compressed | V3Encrypted))
                continue;
            const std::size_t skip = (flags & V3Grouped) ? 1 : 0;
            if (skip > bodyBytes)
                continue;
            body += skip;
            bodyBytes -= skip;
        } else if (Version == 4) {
            if (flags & (V4Compressed | V4Encrypted))
                continue;
            const std::size_t skip = ((flags & V4Grouped) ? 1 : 0) + ((flags & V4DataLength) ? 4 : 0);
            if (skip > bodyBytes)
                continue;
            body += skip;
            bodyBytes -= skip;
            if ((flags & V4Unsynchronised) || AllUnsynchronised) {
                restored = Resynchronised(body, bodyBytes);
                body = restored.data();
                bodyBytes = restored.size();
            }
        }
        tags.*field = FrameText(body, bodyBytes);
    }
    return tags;
}

} // namespace

TTrackTags ReadID3v2Tag(TStream* File)
{
    if (!File)
        return {};
    File->Seek(0, TSeekOrigin::soBeginning);
    std::uint8_t header[HeaderBytes];
    if (!File->ReadExact(header, HeaderBytes) || std::memcmp(header, "ID3", 3) != 0)
        return {};
    const int version = header[3];
    const std::uint8_t flags = header[5];
    if (version < 2 || version > 4 || header[4] == 0xFF || !IsSyncsafe(header + 6))
        return {};
    if (version == 2 && (flags & ExtendedHeader))
        return {};
    // A tag that claims more than the file holds is read as far as it goes.
    const std::int64_t left = std::max<std::int64_t>(File->Size() - HeaderBytes, 0);
    std::vector<std::uint8_t> body(
        std::min({static_cast<std::size_t>(Syncsafe(header + 6)), MaxID3v2Bytes, static_cast<std::size_t>(left)}));
    body.resize(static_cast<std::size_t>(File->Read(body.data(), static_cast<std::int64_t>(body.size()))));
    // Before version 2.4 the whole tag was unsynchronised, extended header
    // included; in 2.4 each frame is, and the flag only says all of them are.
    if (version < 4 && (flags & UnsynchronisedTag))
        body = Resynchronised(body.data(), body.size());

    std::size_t at = 0;
    if (version >= 3 && (flags & ExtendedHeader)) {
        if (body.size() < 4)
            return {};
        // Version 2.3 counts the bytes after the size field, 2.4 the whole header.
        const std::uint64_t extended = version == 3 ? 4ULL + Be32(body.data()) : Syncsafe(body.data());
        if (extended > body.size())
            return {};
        at = static_cast<std::size_t>(extended);
    }
    return ReadFrames(body.data() + at, body.size() - at, version, version == 4 && (flags & UnsynchronisedTag));
}

} // namespace kestrune
