// Feeds arbitrary files to the APE tag reader. It must never fail nor read
// outside the file; a value is a piece of the file, so no text is longer
// than the file, and a file without "APETAGEX" gives nothing.

#include "FuzzCheck.h"
#include "formats/TApeTag.h"
#include "pipeline/TMemoryStream.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using kestrune::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    using namespace kestrune;
    const std::vector<std::uint8_t> in(Data, Data + Size);
    TMemoryStream file(in);
    const TTrackTags tags = ReadApeTag(&file);
    Check(file.Bytes() == in);
    const bool any = !tags.Title.empty() || !tags.Artist.empty() || !tags.Album.empty() || !tags.Isrc.empty();
    static const char footer[] = "APETAGEX";
    Check(!any || std::search(in.begin(), in.end(), footer, footer + 8) != in.end());
    for (const std::string* text : {&tags.Title, &tags.Artist, &tags.Album, &tags.Isrc})
        Check(text->size() <= Size && text->find('\0') == std::string::npos);
    return 0;
}
