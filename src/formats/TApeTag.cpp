#include "formats/TApeTag.h"

#include "formats/TID3v1Tag.h"
#include "pipeline/ByteOrder.h"
#include "pipeline/TStream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kestrune {

namespace {

// "APETAGEX", version, size of the items and this footer, item count, flags
// and eight reserved bytes, all little-endian.
constexpr int FooterBytes = 32;
constexpr int SizeOffset = 12;
constexpr int CountOffset = 16;
// Bits 1 and 2 of an item's flags: 0 is UTF-8 text, the others binary data
// and links.
constexpr std::uint32_t ItemKindMask = 0x6;

// The items of a tag, walked until the count or the bytes run out.
TTrackTags ReadItems(const std::uint8_t* Data, std::size_t Size, std::uint32_t Count)
{
    TTrackTags tags;
    std::size_t at = 0;
    for (std::uint32_t i = 0; i < Count && Size - at >= 8; ++i) {
        const std::uint32_t valueBytes = GetLe32(Data + at);
        const std::uint32_t flags = GetLe32(Data + at + 4);
        at += 8;
        const std::uint8_t* keyEnd = std::find(Data + at, Data + Size, 0);
        if (keyEnd == Data + Size)
            break;
        const std::string key(reinterpret_cast<const char*>(Data + at), static_cast<std::size_t>(keyEnd - (Data + at)));
        at += key.size() + 1;
        if (valueBytes > Size - at)
            break;
        const auto* value = reinterpret_cast<const char*>(Data + at);
        at += valueBytes;
        if ((flags & ItemKindMask) != 0)
            continue;
        // Several values of an item are separated by zero bytes.
        tags.FillNamed(
            key, std::string(value, static_cast<std::size_t>(std::find(value, value + valueBytes, '\0') - value)));
    }
    return tags;
}

} // namespace

TTrackTags ReadApeTag(TStream* File)
{
    if (!File)
        return {};
    const std::int64_t size = File->Size();
    std::vector<std::int64_t> ends{size};
    if (size >= TID3v1Tag::Size) {
        std::uint8_t tag[3];
        File->Seek(size - TID3v1Tag::Size, TSeekOrigin::soBeginning);
        if (File->ReadExact(tag, 3) && std::memcmp(tag, "TAG", 3) == 0)
            ends.push_back(size - TID3v1Tag::Size);
    }
    for (const std::int64_t end : ends) {
        if (end < FooterBytes)
            continue;
        std::uint8_t footer[FooterBytes];
        File->Seek(end - FooterBytes, TSeekOrigin::soBeginning);
        if (!File->ReadExact(footer, FooterBytes) || std::memcmp(footer, "APETAGEX", 8) != 0)
            continue;
        const std::uint32_t tagBytes = GetLe32(footer + SizeOffset);
        if (tagBytes < FooterBytes || tagBytes > end || tagBytes > MaxApeTagBytes)
            return {};
        std::vector<std::uint8_t> items(tagBytes - FooterBytes);
        File->Seek(end - tagBytes, TSeekOrigin::soBeginning);
        if (!File->ReadExact(items.data(), static_cast<std::int64_t>(items.size())))
            return {};
        return ReadItems(items.data(), items.size(), GetLe32(footer + CountOffset));
    }
    return {};
}

} // namespace kestrune
