#pragma once

#include <string>

namespace kestrune {

// Title, artist, album and ISRC of an audio file, from the tags its format
// carries. Texts are UTF-8; a field the file does not carry is empty. The
// ISRC is as the tag holds it (dashes and letter case unchecked).
struct TTrackTags {
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Isrc;

    // Reads FileName's tags: the RIFF INFO list of a ".wav" file ("INAM",
    // "IART", "IPRD"; TagTrackFile writes it there). Any other file is
    // told by its content: the Vorbis comments of FLAC and Ogg Vorbis, an
    // ID3v2 tag at the start; then an APE tag and last an ID3v1 tag at the
    // end fill the fields still empty. A file without tags, or one that
    // cannot be read, gives empty fields: tags are a courtesy, never a reason
    // to fail.
    static TTrackTags Read(const std::string& FileName);

    // Sets the field a Vorbis comment or APE item named Name carries
    // ("TITLE", "ARTIST", "ALBUM", "ISRC", in any letter case) to Value,
    // unless the field holds a text already.
    void FillNamed(const std::string& Name, const std::string& Value);
    // Takes the fields of Other where this one's are empty.
    void FillFrom(const TTrackTags& Other);
};

} // namespace kestrune
