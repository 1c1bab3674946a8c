#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kestrune {

class TStream;

// The 128-byte ID3v1 record exactly as it lies at the end of a file:
// "TAG", title, artist and album (30 bytes each), year (4), comment (30) and
// the genre number (1). Text is ISO-8859-1, zero-terminated when shorter than
// its field.
struct TID3v1Tag {
    static constexpr int Size = 128; // bytes
    static constexpr int TitleOffset = 3;
    static constexpr int ArtistOffset = 33;
    static constexpr int AlbumOffset = 63;
    static constexpr int YearOffset = 93;
    static constexpr int CommentOffset = 97;
    static constexpr int GenreOffset = 127;
    static constexpr int TextWidth = 30; // bytes of title, artist, album, comment
    static constexpr int YearWidth = 4;  // bytes
    static constexpr std::uint8_t NoGenre = 255;
    static constexpr const char* NoTagTitle = "Not an ID3 Tag";

    std::array<std::uint8_t, Size> Bytes{};

    // What ReadID3v1Tag returns for a file without a tag: "Not an ID3 Tag" in
    // the title field, every other byte zero.
    static TID3v1Tag NoTagMarker();

    // True when the record starts with "TAG". The marker record does not, so
    // this is the callers' test for "the file has a tag" (a real tag titled
    // "Not an ID3 Tag" still counts as a tag).
    bool IsTag() const;

    // The raw bytes of a field up to its first zero byte.
    std::string Field(int Offset, int Width) const;
    // A text field (ISO-8859-1) as UTF-8.
    std::string Text(int Offset, int Width = TextWidth) const;
    // Stores UTF-8 Text as ISO-8859-1 into a 30-byte field: cut to 30 bytes,
    // a shorter text followed by one zero byte; the bytes after that zero keep
    // what the record held.
    void SetText(int Offset, const std::string& Utf8);

    std::uint8_t Genre() const { return Bytes[GenreOffset]; }
    void SetGenre(std::uint8_t Number) { Bytes[GenreOffset] = Number; }

    // UTF-8 to ISO-8859-1: characters outside it, and bytes that are not
    // UTF-8, become "?".
    static std::string ToLatin1(const std::string& Utf8);
    static std::string FromLatin1(const std::string& Latin1);
};

// Reads the last 128 bytes of File. Returns them when the file is at least
// 128 bytes long and they begin with "TAG"; otherwise, and on any error while
// positioning or reading, and when File is null, the no-tag marker record.
TID3v1Tag ReadID3v1Tag(TStream* File);

// Writes the 128 bytes of Tag over the last 128 bytes of File when Replace is
// set (appending instead when the file is shorter than that), at the end when
// it is clear. Does nothing when File is null. Errors propagate.
void WriteID3v1Tag(const TID3v1Tag& Tag, TStream* File, bool Replace);

} // namespace kestrune
