#include "cd/TMusicBrainzClient.h"

#include "cd/THttpGet.h"
#include "cd/TMusicBrainzParser.h"
#include "recognition/TRateLimiter.h"

namespace kestrune {

std::shared_ptr<TRateLimiter> TMusicBrainzClient::SharedLimiter()
{
    static const auto limiter = std::make_shared<TRateLimiter>(1, std::chrono::milliseconds(1000));
    return limiter;
}

TMusicBrainzClient::TMusicBrainzClient(TMusicBrainzSettings Settings, std::shared_ptr<TRateLimiter> L)
    : FSettings(std::move(Settings)), Limiter(std::move(L))
{
}

std::string TMusicBrainzClient::UserAgent() const
{
    return "Kestrune/" + FSettings.ClientVersion + " ( https://kestrune.invalid/ )";
}

TAlbumQueryResult TMusicBrainzClient::Query(const TDiscToc& Toc, const std::atomic<bool>& Cancel)
{
    TAlbumQueryResult result;
    try {
        const std::string id = Toc.MusicBrainzId();
        if (!Http)
            Http = std::make_shared<THttpGet>();
        if (!Limiter->Acquire(Cancel)) {
            result.Error = "Cancelled.";
            return result;
        }
        THttpGet::TOptions options;
        options.Timeout = FSettings.Timeout;
        options.ProxyHost = FSettings.ProxyHost;
        options.ProxyPort = FSettings.ProxyPort;
        options.UserAgent = UserAgent();
        const THttpGet::TAnswer answer = Http->Fetch(
            FSettings.Server + "/discid/" + id + "?inc=recordings+artist-credits&fmt=json", options, Cancel);
        if (!answer.Transferred) {
            result.Error =
                Cancel.load() ? answer.Error : "The MusicBrainz service could not be reached: " + answer.Error;
            return result;
        }
        result = TMusicBrainzParser::Parse(answer.Body, answer.Status, id);
        for (TAlbumInfo& album : result.Albums)
            album.TrackTitles.resize(Toc.Tracks.size());
    } catch (const std::exception& e) {
        result = TAlbumQueryResult{};
        result.Error = e.what();
    }
    return result;
}

} // namespace kestrune
