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
void TagTrackFile(const std::string& FileName, const std::string& Title, const std::string& Artist,
                  const std::string& Album, const std::string& Genre, const TGenreList& Genres);

// The same with the application's shared GenreList().
void TagTrackFile(const std::string& FileName, const std::string& Title, const std::string& Artist,
                  const std::string& Album, const std::string& Genre);

// True when TagTrackFile writes a RIFF INFO list into FileName (".wav").
bool TagsAsRiffInfo(const std::string& FileName);

} // namespace kestrune
