#include "formats/VorbisComments.h"

#include "pipeline/ByteOrder.h"
#include "pipeline/EACSException.h"

namespace kestrune {

TVorbisCommentList ParseVorbisComments(const std::uint8_t* Data, std::size_t Size)
{
    std::size_t at = 0;
    auto length = [&] {
        if (Size - at < 4)
            throw EACSException("A comment list is damaged.");
        const std::uint32_t value = GetLe32(Data + at);
        at += 4;
        return value;
    };
    auto text = [&] {
        const std::uint32_t bytes = length();
        if (bytes > Size - at)
            throw EACSException("A comment list is damaged.");
        std::string value(reinterpret_cast<const char*>(Data + at), bytes);
        at += bytes;
        return value;
    };
    TVorbisCommentList list;
    list.Vendor = text();
    // Every entry takes at least its four length bytes, so a count larger
    // than that fails on the data before it can exhaust memory.
    const std::uint32_t count = length();
    for (std::uint32_t i = 0; i < count; ++i)
        list.Entries.push_back(text());
    return list;
}

TTrackTags TagsOfVorbisComments(const std::vector<std::string>& Entries)
{
    TTrackTags tags;
    for (const std::string& entry : Entries)
        if (const std::size_t eq = entry.find('='); eq != std::string::npos)
            tags.FillNamed(entry.substr(0, eq), entry.substr(eq + 1));
    return tags;
}

} // namespace kestrune
