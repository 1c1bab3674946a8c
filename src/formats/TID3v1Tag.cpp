#include "formats/TID3v1Tag.h"

#include "pipeline/TStream.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace kestrune {

TID3v1Tag TID3v1Tag::NoTagMarker()
{
    TID3v1Tag tag;
    std::memcpy(tag.Bytes.data() + TitleOffset, NoTagTitle, std::strlen(NoTagTitle));
    return tag;
}

bool TID3v1Tag::IsTag() const
{
    return Bytes[0] == 'T' && Bytes[1] == 'A' && Bytes[2] == 'G';
}

std::string TID3v1Tag::Field(int Offset, int Width) const
{
    if (Offset < 0 || Width < 0 || Offset + Width > Size)
        return {};
    const auto* begin = Bytes.data() + Offset;
    const auto* end = std::find(begin, begin + Width, std::uint8_t{0});
    return std::string(begin, end);
}

std::string TID3v1Tag::Text(int Offset, int Width) const
{
    return FromLatin1(Field(Offset, Width));
}

void TID3v1Tag::SetText(int Offset, const std::string& Utf8)
{
    if (Offset < 0 || Offset + TextWidth > Size)
        return;
    const std::string text = ToLatin1(Utf8);
    const auto n = std::min<std::size_t>(text.size(), TextWidth);
    std::memcpy(Bytes.data() + Offset, text.data(), n);
    if (n < static_cast<std::size_t>(TextWidth))
        Bytes[static_cast<std::size_t>(Offset) + n] = 0;
}

std::string TID3v1Tag::ToLatin1(const std::string& Utf8)
{
    std::string out;
    out.reserve(Utf8.size());
    const auto* p = reinterpret_cast<const unsigned char*>(Utf8.data());
    const std::size_t size = Utf8.size();
    std::size_t i = 0;
    while (i < size) {
        const unsigned char lead = p[i];
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        int length = 0;
        std::uint32_t code = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07;
        }
        bool valid = length > 0 && i + static_cast<std::size_t>(length) <= size;
        for (int k = 1; valid && k < length; ++k) {
            if ((p[i + static_cast<std::size_t>(k)] & 0xC0) != 0x80)
                valid = false;
            else
                code = (code << 6) | (p[i + static_cast<std::size_t>(k)] & 0x3F);
        }
        // Overlong forms are not UTF-8 either.
        static constexpr std::uint32_t Least[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (valid && code < Least[length])
            valid = false;
        if (!valid) {
            out += '?';
            ++i; // resynchronise on the next byte
            continue;
        }
        out += code <= 0xFF ? static_cast<char>(code) : '?';
        i += static_cast<std::size_t>(length);
    }
    return out;
}

std::string TID3v1Tag::FromLatin1(const std::string& Latin1)
{
    std::string out;
    out.reserve(Latin1.size() * 2);
    for (const char c : Latin1) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

TID3v1Tag ReadID3v1Tag(TStream* File)
{
    if (!File)
        return TID3v1Tag::NoTagMarker();
    try {
        const std::int64_t length = File->Size();
        if (length < TID3v1Tag::Size)
            return TID3v1Tag::NoTagMarker();
        File->Seek(length - TID3v1Tag::Size, TSeekOrigin::soBeginning);
        TID3v1Tag tag;
        if (File->ReadExact(tag.Bytes.data(), TID3v1Tag::Size) && tag.IsTag())
            return tag;
    } catch (const std::exception&) {
        // An unreadable end reads as "no tag": the new tag is appended.
    }
    return TID3v1Tag::NoTagMarker();
}

void WriteID3v1Tag(const TID3v1Tag& Tag, TStream* File, bool Replace)
{
    if (!File)
        return;
    const std::int64_t length = File->Size();
    if (Replace && length >= TID3v1Tag::Size)
        File->Seek(length - TID3v1Tag::Size, TSeekOrigin::soBeginning);
    else
        File->Seek(0, TSeekOrigin::soEnd);
    File->Write(Tag.Bytes.data(), TID3v1Tag::Size);
}

} // namespace kestrune
