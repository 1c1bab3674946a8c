#include "formats/TTrackTags.h"

#include "formats/FlacComments.h"
#include "formats/TApeTag.h"
#include "formats/TID3v1Tag.h"
#include "formats/TID3v2Tag.h"
#include "formats/TOggComments.h"
#include "formats/TRiffInfoTag.h"
#include "formats/TagTrackFile.h"
#include "formats/VorbisComments.h"
#include "pipeline/TFileStream.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>
#include <utility>

namespace kestrune {

namespace {

// Other taggers fill ID3v1 fields with spaces rather than zeros.
std::string Trimmed(std::string Text)
{
    while (!Text.empty() && Text.back() == ' ')
        Text.pop_back();
    return Text;
}

// One tag of the file; a damaged one counts as absent, and the others are
// still read.
template <typename TReader>
TTrackTags Guarded(TReader Reader)
{
    try {
        return Reader();
    } catch (const std::exception&) {
        return {};
    }
}

// The fields by the names Vorbis comments and APE tags give them.
const std::pair<const char*, std::string TTrackTags::*> NamedFields[] = {
    {"TITLE", &TTrackTags::Title},
    {"ARTIST", &TTrackTags::Artist},
    {"ALBUM", &TTrackTags::Album},
    {"ISRC", &TTrackTags::Isrc},
};

} // namespace

void TTrackTags::FillNamed(const std::string& Name, const std::string& Value)
{
    std::string name = Name;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    for (const auto& [key, field] : NamedFields)
        if (name == key && (this->*field).empty())
            this->*field = Value;
}

void TTrackTags::FillFrom(const TTrackTags& Other)
{
    for (const auto& [key, field] : NamedFields)
        if ((this->*field).empty())
            this->*field = Other.*field;
}

TTrackTags TTrackTags::Read(const std::string& FileName)
{
    TTrackTags tags;
    try {
        TFileStream file(FileName, TFileOpenMode::fmOpenRead);
        if (TagsAsRiffInfo(FileName)) {
            // The INFO item "ISRC" names the source, not the recording: it
            // is not read as one.
            for (const auto& [id, text] : ReadInfoChunk(&file)) {
                if (id == "INAM")
                    tags.Title = text;
                else if (id == "IART")
                    tags.Artist = text;
                else if (id == "IPRD")
                    tags.Album = text;
            }
            return tags;
        }
        char magic[4] = {};
        file.Seek(0, TSeekOrigin::soBeginning);
        const bool full = file.ReadExact(magic, 4);
        if (full && std::memcmp(magic, "fLaC", 4) == 0)
            tags = Guarded([&] { return TagsOfVorbisComments(ReadFlacComments(FileName)); });
        else if (full && std::memcmp(magic, "OggS", 4) == 0)
            tags = Guarded([&] { return TagsOfVorbisComments(ReadOggVorbisComments(&file)); });
        else if (full && std::memcmp(magic, "ID3", 3) == 0)
            tags = Guarded([&] { return ReadID3v2Tag(&file); });
        tags.FillFrom(Guarded([&] { return ReadApeTag(&file); }));
        if (const TID3v1Tag tag = ReadID3v1Tag(&file); tag.IsTag()) {
            TTrackTags old;
            old.Title = Trimmed(tag.Text(TID3v1Tag::TitleOffset));
            old.Artist = Trimmed(tag.Text(TID3v1Tag::ArtistOffset));
            old.Album = Trimmed(tag.Text(TID3v1Tag::AlbumOffset));
            tags.FillFrom(old);
        }
    } catch (const std::exception&) {
        return {};
    }
    return tags;
}

} // namespace kestrune
