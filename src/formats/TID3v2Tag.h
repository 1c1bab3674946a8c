#pragma once

#include "formats/TTrackTags.h"

#include <cstddef>

namespace kestrune {

class TStream;

// Title, artist, album and ISRC from the ID3v2 tag at the start of File:
// the text frames TIT2, TPE1, TALB and TSRC (TT2, TP1, TAL and TRC in
// version 2.2), in versions 2.2 to 2.4. Texts in ISO-8859-1, UTF-16 with or
// without a byte order mark, or UTF-8 come out as UTF-8; of several values
// in a frame the first is taken. Unsynchronised tags and frames are
// restored, an extended header is skipped, and compressed or encrypted
// frames are passed over. A file without a tag, and a tag that is damaged,
// give empty fields (the frames before the damage still count); only the
// first MaxID3v2Bytes of a tag are read. Errors of the stream itself
// propagate. Null File: empty fields.
TTrackTags ReadID3v2Tag(TStream* File);

// Tags with pictures run to a few megabytes; the texts come long before this.
constexpr std::size_t MaxID3v2Bytes = 64 << 20;

} // namespace kestrune
