#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kestrune {

class TStream;

// The Vorbis comments ("TITLE=...") of an Ogg Vorbis file: the second packet
// of the file's first logical stream, gathered from the Ogg pages from the
// start of File. Empty when the stream is not Vorbis, when the pages or the
// packet are damaged or cut short, when the packet is larger than
// MaxOggCommentBytes, and when File is null. Errors of the stream itself
// propagate.
std::vector<std::string> ReadOggVorbisComments(TStream* File);

// Packets with cover pictures run to a few megabytes; anything beyond this
// is not a comment packet worth reading.
constexpr std::size_t MaxOggCommentBytes = 16 << 20;

} // namespace kestrune
