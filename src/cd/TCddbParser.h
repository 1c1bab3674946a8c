#pragma once

#include "cd/TAlbumInfo.h"

#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

// The answers of a CDDB server (protocol level 6, UTF-8) and xmcd records,
// read defensively: they come from the network or from files anyone can
// edit. Nothing here raises; faults come back as texts. Each text is taken
// as UTF-8 when it is valid UTF-8 and as Latin-1 otherwise (older servers
// and records), and handed on as UTF-8.
class TCddbParser {
public:
    // Bounds on what an answer may hold.
    static constexpr std::size_t MaxMatches = 32;
    static constexpr std::size_t MaxTracks = 99;
    static constexpr std::size_t MaxValueBytes = std::size_t{64} * 1024;

    struct TMatch {
        std::string Category;
        std::string DiscId;
        std::string Artist;
        std::string Title;
        bool operator==(const TMatch&) const = default;
    };

    struct TQueryAnswer {
        int Code = 0;                // the status code, 0 when there was none
        std::vector<TMatch> Matches; // empty for "no match"
        std::string Error;           // set when the answer is an error or unreadable
    };

    struct TReadAnswer {
        int Code = 0;
        TAlbumInfo Album;
        std::string Error;
    };

    // "cddb query" answers: 200 one match, 210/211 a list, 202 none.
    static TQueryAnswer ParseQuery(std::string_view Body);
    // "cddb read" answers: 210 and the record up to the "." line. Genre is
    // the record's DGENRE only; the caller knows which category it asked.
    static TReadAnswer ParseRead(std::string_view Body);

    // An xmcd record on its own (as stored in the local cache). A record
    // must have its DTITLE; Error tells what is wrong otherwise.
    static TAlbumInfo ParseRecord(std::string_view Text, std::string* Error);
    // The record that ParseRecord reads back to the same album entry.
    static std::string FormatRecord(const TAlbumInfo& Album, const std::vector<int>& FrameOffsets, int DiscSeconds);

    // "Artist / Title"; without the separator both are the whole text.
    static void SplitArtistTitle(const std::string& Text, std::string& Artist, std::string& Title);
    // The value escapes \n, \t and \\.
    static std::string Unescape(std::string_view Value);
    static std::string Escape(std::string_view Value);
};

} // namespace kestrune
