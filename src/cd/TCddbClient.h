#pragma once

#include "cd/TAlbumCache.h"
#include "cd/TAlbumInfo.h"
#include "cd/TAlbumQueryResult.h"
#include "cd/TDiscToc.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrune {

class THttpGet;

struct TCddbSettings {
    // Entries are host names (asked at http://HOST:Port/~cddb/cddb.cgi) or
    // whole URLs of the script.
    std::vector<std::string> Servers = DefaultServers();
    int ServerIndex = 0;
    int Port = 80;
    std::string ProxyHost; // host or host:port; empty for none
    int ProxyPort = 0;
    // The servers refuse clients that do not name a real address.
    std::string Email;
    std::string ClientName = "Kestrune";
    std::string ClientVersion = "1.0";
    std::chrono::milliseconds Timeout{10000};
    // Where saved entries live; empty for no local store.
    std::string CacheFolder;

    static std::vector<std::string> DefaultServers();
};

// Album information by the CDDB protocol over HTTP (libcurl, bound at run
// time): "cddb query" for the disc, then "cddb read" for each match. Saved
// entries in the local store answer first, without going on line. Blocking;
// run it off the window thread. Cancel ends a transfer in flight.
class TCddbClient {
public:
    explicit TCddbClient(TCddbSettings Settings);

    TAlbumQueryResult Query(const TDiscToc& Toc, const std::atomic<bool>& Cancel);
    // Stores edited fields in the local store, found first by later queries.
    void SaveAlbumInfo(const TDiscToc& Toc, const TAlbumInfo& Album) const;

    // The server entry at ServerIndex as a URL of the script; empty when the
    // index is outside the list.
    std::string ServerUrl() const;
    static std::string ServerName(const TCddbSettings& Settings, int Index);

private:
    // The body of a 200 answer to Command, or the failure.
    std::optional<std::string> Ask(const std::string& Command, const std::atomic<bool>& Cancel, std::string& Error);

    TCddbSettings FSettings;
    std::shared_ptr<THttpGet> Http;
};

} // namespace kestrune
