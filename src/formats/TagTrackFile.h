#pragma once

#include <string>

namespace kestrune {

class TGenreList;

// Writes title, artist, album and genre into the file: a RIFF INFO list
// ("INAM", "IART", "IPRD", "IGNR", UTF-8) when the extension is ".wav" in
// any letter case, an ID3v1 tag (ISO-8859-1, the genre as its number in
// Genres, 255 when absent) otherwise. An existing ID3v1 tag is replaced and
// keeps its year and comment; an existing trailing INFO list is replaced.
// The audio is never touched. Texts are UTF-8. The file is opened with
// sharing denied; an open or write failure raises EACSException.
//
// Files where such a tag would damage the file or go unseen are refused with
// EACSException "Cannot tag "NAME": REASON." before anything is written (see
// TagRefusal).
void TagTrackFile(const std::string& FileName, const std::string& Title, const std::string& Artist,
                  const std::string& Album, const std::string& Genre, const TGenreList& Genres);

// The same with a track number (1 to 255; 0 writes none): the "IPRT" item
// after the four of a RIFF INFO list, the ID3v1.1 track byte (the comment's
// last two bytes) of an ID3v1 tag.
void TagTrackFile(const std::string& FileName, const std::string& Title, const std::string& Artist,
                  const std::string& Album, const std::string& Genre, const TGenreList& Genres, int Track);

// The same with the application's shared GenreList().
void TagTrackFile(const std::string& FileName, const std::string& Title, const std::string& Artist,
                  const std::string& Album, const std::string& Genre);

// True when TagTrackFile writes a RIFF INFO list into FileName (".wav").
bool TagsAsRiffInfo(const std::string& FileName);

// Why TagTrackFile would not tag FileName, empty when it would: an ID3v1 tag
// after the frames of a FLAC or Ogg file breaks the stream for every FLAC
// and Ogg reader, and one behind an ID3v2 tag (MP3) or an APE tag (APE) is
// never read, since players take those first. Looks at the file's first and
// last bytes; a file that cannot be read is left to TagTrackFile's own open.
std::string TagRefusal(const std::string& FileName);

} // namespace kestrune
