// MusicBrainz answers come from a server on the network and may be anything:
// the parser must take any bytes and keep its bounds and promises.
#include "cd/TMusicBrainzParser.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    using kestrune::TAlbumQueryResult;
    using kestrune::TMusicBrainzParser;
    const std::string_view text(reinterpret_cast<const char*>(Data), Size);
    for (const long status : {200L, 404L, 503L}) {
        const TAlbumQueryResult r = TMusicBrainzParser::Parse(text, status, "OGeuhniCwHZPcNsc0D55pxlJlsU-");
        if (r.Albums.size() > TMusicBrainzParser::MaxReleases)
            std::abort();
        if ((r.Status == TAlbumQueryResult::csFound) != !r.Albums.empty())
            std::abort();
        if ((r.Status == TAlbumQueryResult::csFailed) == r.Error.empty())
            std::abort();
        for (const kestrune::TAlbumInfo& a : r.Albums)
            if (a.Title.empty() || a.TrackTitles.size() > TMusicBrainzParser::MaxTracks)
                std::abort();
    }
    return 0;
}
