#include "formats/TagTrackFile.h"

#include "formats/TGenreList.h"
#include "formats/TID3v1Tag.h"
#include "formats/TRiffInfoTag.h"
#include "pipeline/TFileStream.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace kestrune {

bool TagsAsRiffInfo(const std::string& FileName)
{
    std::string ext = std::filesystem::path(FileName).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::toupper(c); });
    return ext == ".WAV";
}

void TagTrackFile(const std::string& FileName, const std::string& Title, const std::string& Artist,
                  const std::string& Album, const std::string& Genre, const TGenreList& Genres)
{
    const bool riff = TagsAsRiffInfo(FileName);
    TFileStream file(FileName, TFileOpenMode::fmOpenExclusive);
    if (riff) {
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
    WriteID3v1Tag(tag, &file, found);
}

void TagTrackFile(const std::string& FileName, const std::string& Title, const std::string& Artist,
                  const std::string& Album, const std::string& Genre)
{
    TagTrackFile(FileName, Title, Artist, Album, Genre, GenreList());
}

} // namespace kestrune
