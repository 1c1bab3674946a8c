#include "formats/TagTrackFile.h"

#include "formats/TGenreList.h"
#include "formats/TID3v1Tag.h"
#include "formats/TRiffInfoTag.h"
#include "pipeline/EACSException.h"
#include "pipeline/TFileStream.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>

namespace kestrune {

bool TagsAsRiffInfo(const std::string& FileName)
{
    std::string ext = std::filesystem::path(FileName).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::toupper(c); });
    return ext == ".WAV";
}

std::string TagRefusal(const std::string& FileName)
{
    if (TagsAsRiffInfo(FileName))
        return {};
    std::string ext = std::filesystem::path(FileName).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".flac")
        return "a tag after the frames of a FLAC file breaks it; FLAC files carry Vorbis comments";
    if (ext == ".ogg" || ext == ".oga")
        return "a tag after the pages of an Ogg file breaks it; Ogg Vorbis files carry their comments inside the "
               "stream";
    std::uint8_t head[4]{};
    std::uint8_t tail[32 + 128]{};
    std::int64_t length = 0;
    try {
        TFileStream file(FileName, TFileOpenMode::fmOpenRead);
        length = file.Size();
        file.ReadExact(head, std::min<std::int64_t>(length, 4));
        const std::int64_t back = std::min<std::int64_t>(length, sizeof tail);
        file.Seek(length - back, TSeekOrigin::soBeginning);
        file.ReadExact(tail + sizeof tail - back, back);
    } catch (const std::exception&) {
        return {};
    }
    if (std::memcmp(head, "fLaC", 4) == 0)
        return "it is a FLAC file, which a tag after its frames breaks";
    if (std::memcmp(head, "OggS", 4) == 0)
        return "it is an Ogg file, which a tag after its pages breaks";
    if (std::memcmp(head, "ID3", 3) == 0)
        return "it has an ID3v2 tag, which players read instead of the ID3v1 tag written here";
    // An APE tag ends the file, or stands just before an ID3v1 tag.
    const bool id3v1 = length >= 128 && std::memcmp(tail + 32, "TAG", 3) == 0;
    const std::uint8_t* footer = id3v1 ? tail : tail + 128;
    if (length >= (id3v1 ? 160 : 32) && std::memcmp(footer, "APETAGEX", 8) == 0)
        return "it has an APE tag, which players read instead of the ID3v1 tag written here";
    return {};
}

void TagTrackFile(const std::string& FileName, const std::string& Title, const std::string& Artist,
                  const std::string& Album, const std::string& Genre, const TGenreList& Genres)
{
    TagTrackFile(FileName, Title, Artist, Album, Genre, Genres, 0);
}

void TagTrackFile(const std::string& FileName, const std::string& Title, const std::string& Artist,
                  const std::string& Album, const std::string& Genre, const TGenreList& Genres, int Track)
{
    const bool numbered = Track > 0 && Track <= 255;
    const bool riff = TagsAsRiffInfo(FileName);
    if (const std::string refusal = TagRefusal(FileName); !refusal.empty())
        throw EACSException("Cannot tag \"" + FileName + "\": " + refusal + ".");
    TFileStream file(FileName, TFileOpenMode::fmOpenExclusive);
    if (riff) {
        if (numbered)
            WriteInfoChunk(&file, {"INAM", "IART", "IPRD", "IGNR", "IPRT"},
                           {Title, Artist, Album, Genre, std::to_string(Track)});
        else
            WriteInfoChunk(&file, {"INAM", "IART", "IPRD", "IGNR"}, {Title, Artist, Album, Genre});
        return;
    }
    TID3v1Tag tag = ReadID3v1Tag(&file);
    const bool found = tag.IsTag();
    if (!found)
        tag = TID3v1Tag{}; // a new tag starts from zeros, not from the marker's text
    tag.Bytes[0] = 'T';
    tag.Bytes[1] = 'A';
    tag.Bytes[2] = 'G';
    tag.SetText(TID3v1Tag::TitleOffset, Title);
    tag.SetText(TID3v1Tag::ArtistOffset, Artist);
    tag.SetText(TID3v1Tag::AlbumOffset, Album);
    const int genre = Genres.IndexOf(Genre);
    tag.SetGenre(genre >= 0 && genre < TID3v1Tag::NoGenre ? static_cast<std::uint8_t>(genre) : TID3v1Tag::NoGenre);
    if (numbered) {
        // ID3v1.1: a zero byte ends the comment early and the last byte
        // of its field is the track.
        tag.Bytes[TID3v1Tag::CommentOffset + 28] = 0;
        tag.Bytes[TID3v1Tag::CommentOffset + 29] = static_cast<std::uint8_t>(Track);
    }
    WriteID3v1Tag(tag, &file, found);
}

void TagTrackFile(const std::string& FileName, const std::string& Title, const std::string& Artist,
                  const std::string& Album, const std::string& Genre)
{
    TagTrackFile(FileName, Title, Artist, Album, Genre, GenreList());
}

} // namespace kestrune
