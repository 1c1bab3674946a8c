#pragma once

#include "formats/TTrackTags.h"

#include <cstddef>

namespace kestrune {

class TStream;

// Title, artist, album and ISRC from the APE tag (version 1 or 2) at the end
// of File, or just before an ID3v1 tag that ends it: the text items "Title",
// "Artist", "Album" and "ISRC", keys in any letter case, values UTF-8 (of
// several values in an item, the first). A file without such a tag, and a
// tag that is damaged, give empty fields (the items before the damage still
// count); a tag larger than MaxApeTagBytes is not read. Errors of the stream
// itself propagate. Null File: empty fields.
TTrackTags ReadApeTag(TStream* File);

constexpr std::size_t MaxApeTagBytes = 16 << 20;

} // namespace kestrune
