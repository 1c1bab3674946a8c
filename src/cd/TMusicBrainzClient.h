#pragma once

#include "cd/TAlbumQueryResult.h"
#include "cd/TDiscToc.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

namespace kestrune {

class THttpGet;
class TRateLimiter;

struct TMusicBrainzSettings {
    std::string Server = "https://musicbrainz.org/ws/2";
    std::chrono::milliseconds Timeout{10000};
    std::string ProxyHost;
    int ProxyPort = 0;
    std::string ClientVersion = "1.0";
};

// Releases for a disc from the MusicBrainz disc-id lookup. The service asks
// for at most one request a second from a client and a User-Agent that names
// it; every client in the process shares one limiter for that. Blocking;
// run it off the window thread.
class TMusicBrainzClient {
public:
    explicit TMusicBrainzClient(TMusicBrainzSettings Settings, std::shared_ptr<TRateLimiter> Limiter = SharedLimiter());

    TAlbumQueryResult Query(const TDiscToc& Toc, const std::atomic<bool>& Cancel);
    std::string UserAgent() const;

    static std::shared_ptr<TRateLimiter> SharedLimiter();

private:
    TMusicBrainzSettings FSettings;
    std::shared_ptr<TRateLimiter> Limiter;
    std::shared_ptr<THttpGet> Http;
};

} // namespace kestrune
