#include "formats/TTrackTags.h"

#include "formats/TID3v1Tag.h"
#include "formats/TRiffInfoTag.h"
#include "formats/TagTrackFile.h"
#include "pipeline/TFileStream.h"

#include <exception>

namespace kestrune {

namespace {

// Other taggers fill ID3v1 fields with spaces rather than zeros.
std::string Trimmed(std::string Text)
{
    while (!Text.empty() && Text.back() == ' ')
        Text.pop_back();
    return Text;
}

} // namespace

TTrackTags TTrackTags::Read(const std::string& FileName)
{
    TTrackTags tags;
    try {
        TFileStream file(FileName, TFileOpenMode::fmOpenRead);
        if (TagsAsRiffInfo(FileName)) {
            for (const auto& [id, text] : ReadInfoChunk(&file)) {
                if (id == "INAM")
                    tags.Title = text;
                else if (id == "IART")
                    tags.Artist = text;
                else if (id == "IPRD")
                    tags.Album = text;
            }
        } else if (const TID3v1Tag tag = ReadID3v1Tag(&file); tag.IsTag()) {
            tags.Title = Trimmed(tag.Text(TID3v1Tag::TitleOffset));
            tags.Artist = Trimmed(tag.Text(TID3v1Tag::ArtistOffset));
            tags.Album = Trimmed(tag.Text(TID3v1Tag::AlbumOffset));
        }
    } catch (const std::exception&) {
        return {};
    }
    return tags;
}

} // namespace kestrune
