#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kestrune {

class TStream;
class TStream;

// The RIFF "LIST" chunk of type "INFO" that carries a WAV file's title,
// artist, album and genre ("INAM", "IART", "IPRD", "IGNR"), kept as the last
// chunk of the file. Sizes are unsigned 32-bit little-endian; every item is
// padded to an even length. Text is UTF-8.
namespace RiffInfo {
// The window FindInfoChunk searches when the system looks for its list.
constexpr std::int64_t SearchSpan = 400; // bytes
// Values longer than this are cut, at a character boundary.
constexpr std::size_t MaxValueBytes = 255;
// How far from the end a list is looked for when the file's chunks cannot
// be walked; larger than the largest list WriteInfoChunk writes for four items.
constexpr std::int64_t RecoverySpan = 2048; // bytes
} // namespace RiffInfo

// Searches the last Span bytes of File for the four bytes "INFO", from offset
// length - 4 backwards down to length - Span + 1 (never below 0), and returns
// the offset of the match nearest the end, or -1. Errors while searching are
// swallowed (the result is then -1). Returns -1 when File is null.
std::int64_t FindInfoChunk(TStream* File, std::int64_t Span);

// Writes one LIST/INFO chunk with Ids[i] (its first four bytes) carrying
// Values[i], in the order given, and sets the RIFF size to cover it.
//
// The chunk replaces the file's list only when that list is a real chunk at
// the end of the file: the file's chunks are walked from the RIFF header and
// the last one is a LIST of type INFO that ends with the file, or else a
// "LIST" header stands 8 bytes before an "INFO" near the end, its size runs
// exactly to the end, and it does not lie inside a data chunk.
// Anything else (audio that contains the bytes "INFO", a list followed by
// other chunks) is left alone and the new list is appended. A data chunk
// that claims more bytes than the file holds (a capture never finished) has
// its size set to what is there first, so the list is never read as audio.
//
// Returns the file offset of the written "LIST". Does nothing and returns -1
// when File is null. Raises EACSException when the file is not a RIFF file
// (writing would corrupt it) and std::invalid_argument when the lists differ
// in length; stream errors propagate and are not rolled back.
std::int64_t WriteInfoChunk(TStream* File, const std::vector<std::string>& Ids, const std::vector<std::string>& Values);

// The items (identifier, text up to its first zero) of the INFO list that
// WriteInfoChunk would replace, in file order; empty when there is none or
// File is null. Errors are swallowed.
std::vector<std::pair<std::string, std::string>> ReadInfoChunk(TStream* File);

} // namespace kestrune
