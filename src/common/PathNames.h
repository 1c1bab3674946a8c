#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrune {

// Makes text from outside (an album name, a CD entry, a song title from a
// lookup) safe as one file or folder name. Letters of every script stay as
// they are; only what a Linux file system cannot hold in one name is
// replaced by "_": the path separator, NUL and control characters (they
// also break the terminals and lists that show the name). A name that is
// empty, "." or ".." gets a "_" in front, so the result never leaves the
// folder it is put in. A name too long for one (past 240 bytes, leaving
// room for an extension) is cut between two letters.
std::string CleanPathComponent(const std::string& Text);

// The title a file's name stands for: its name without the extension.
// Earlier versions escaped every character but letters, digits, space, "-"
// and "_" as "%XX" ("Bj%C3%B6rk - J%C3%B3ga.MP3"); such a name is read back
// to its letters, so files named that way still show their titles.
std::string TitleFromFileName(const std::string& FileName);

// Text other programs wrote (cue sheets, CD-TEXT, CDDB answers) carries no
// mark of its character set: newer programs write UTF-8, older ones the
// Windows Latin-1 code page. Bytes that are valid UTF-8 are taken as they
// are; anything else is read as Latin-1 (with the code page's letters in
// 0x80..0x9F) and returned as UTF-8.
std::string Utf8FromOutside(std::string_view Bytes);
bool IsValidUtf8(std::string_view Bytes);

// Appends the code point Code to Out in UTF-8.
void AppendUtf8(std::string& Out, std::uint32_t Code);

} // namespace kestrune
