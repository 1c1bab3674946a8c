// CDDB answers come from a server on the network and saved records from
// files anyone can edit: the parser must take any bytes, keep its bounds,
// and a record it formats must read back as the same entry.
#include "cd/TCddbParser.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    using kestrune::TCddbParser;
    const std::string_view text(reinterpret_cast<const char*>(Data), Size);

    const TCddbParser::TQueryAnswer query = TCddbParser::ParseQuery(text);
    if (query.Matches.size() > TCddbParser::MaxMatches || (!query.Error.empty() && !query.Matches.empty()))
        std::abort();
    for (const TCddbParser::TMatch& m : query.Matches)
        if (m.DiscId.size() != 8 || m.Category.empty())
            std::abort();

    const TCddbParser::TReadAnswer read = TCddbParser::ParseRead(text);
    if (!read.Error.empty() && !(read.Album == kestrune::TAlbumInfo{}))
        std::abort();
    if (read.Album.TrackTitles.size() > TCddbParser::MaxTracks)
        std::abort();

    std::string error;
    const kestrune::TAlbumInfo album = TCddbParser::ParseRecord(text, &error);
    if (album.Title.size() > TCddbParser::MaxValueBytes || album.Artist.size() > TCddbParser::MaxValueBytes)
        std::abort();
    if (error.empty() && album.DiscId.size() == 8 && album.Artist.find(" / ") == std::string::npos) {
        std::string again;
        const kestrune::TAlbumInfo back = TCddbParser::ParseRecord(TCddbParser::FormatRecord(album, {150}, 60), &again);
        if (!again.empty() || !(back == album))
            std::abort();
    }
    return 0;
}
