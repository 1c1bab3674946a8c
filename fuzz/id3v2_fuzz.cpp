// Feeds arbitrary files to the ID3v2 reader. It must never fail nor read
// outside the file, and what it returns is bounded by the file: no text is
// longer than the tag could spell (ISO-8859-1 doubles at most, UTF-16 turns
// two bytes into at most three).

#include "FuzzCheck.h"
#include "formats/TID3v2Tag.h"
#include "pipeline/TMemoryStream.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

using kestrune::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    using namespace kestrune;
    const std::vector<std::uint8_t> in(Data, Data + Size);
    TMemoryStream file(in);
    const TTrackTags tags = ReadID3v2Tag(&file);
    Check(file.Bytes() == in);
    for (const std::string* text : {&tags.Title, &tags.Artist, &tags.Album, &tags.Isrc})
        Check(text->size() <= 2 * Size);
    if (Size < 10)
        Check(tags.Title.empty() && tags.Artist.empty() && tags.Album.empty() && tags.Isrc.empty());
    return 0;
}
