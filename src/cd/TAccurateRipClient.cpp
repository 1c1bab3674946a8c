#include "cd/TAccurateRipClient.h"

#include "cd/THttpGet.h"

namespace kestrune {

TAccurateRipClient::TAccurateRipClient(TAccurateRipSettings Settings) : FSettings(std::move(Settings)) {}

std::string TAccurateRipClient::Url(const TAccurateRipDisc& Disc) const
{
    std::string root = FSettings.Server;
    while (!root.empty() && root.back() == '/')
        root.pop_back();
    return root + "/" + Disc.UrlPath();
}

TAccurateRipLookup TAccurateRipClient::Lookup(const TDiscToc& Toc, const std::atomic<bool>& Cancel)
{
    TAccurateRipLookup lookup;
    try {
        lookup.Disc = TAccurateRipDisc::FromToc(Toc);
        if (!Http)
            Http = std::make_shared<THttpGet>();
        THttpGet::TOptions options;
        options.Timeout = FSettings.Timeout;
        options.ProxyHost = FSettings.ProxyHost;
        options.ProxyPort = FSettings.ProxyPort;
        options.UserAgent = "Kestrune/" + FSettings.ClientVersion;
        const THttpGet::TAnswer answer = Http->Fetch(Url(lookup.Disc), options, Cancel);
        if (!answer.Transferred) {
            lookup.Error =
                Cancel.load() ? answer.Error : "The AccurateRip database could not be reached: " + answer.Error;
            return lookup;
        }
        // The database keeps one file per disc it knows; for any other disc
        // the file is simply not there.
        if (answer.Status == 404) {
            lookup.Status = TAccurateRipLookup::lsNotInDatabase;
            return lookup;
        }
        if (answer.Status != 200) {
            lookup.Error = "The AccurateRip database answered with HTTP status " + std::to_string(answer.Status) + ".";
            return lookup;
        }
        TAccurateRipResponse::TParsed parsed = TAccurateRipResponse::Parse(answer.Body, lookup.Disc);
        if (!parsed.Error.empty()) {
            lookup.Error = parsed.Error;
            return lookup;
        }
        lookup.Chunks = std::move(parsed.Chunks);
        lookup.Status = TAccurateRipLookup::lsFound;
    } catch (const std::exception& e) {
        lookup.Status = TAccurateRipLookup::lsFailed;
        lookup.Chunks.clear();
        lookup.Error = e.what();
    }
    return lookup;
}

TAccurateRipVerdict TAccurateRipClient::Judge(const TAccurateRipLookup& Lookup, std::size_t AudioIndex,
                                              const std::optional<TAccurateRipSums>& Sums)
{
    TAccurateRipVerdict verdict;
    if (!Sums || Lookup.Status == TAccurateRipLookup::lsFailed)
        return verdict;
    for (const std::vector<TAccurateRipEntry>& chunk : Lookup.Chunks) {
        if (AudioIndex >= chunk.size())
            continue;
        const TAccurateRipEntry& entry = chunk[AudioIndex];
        verdict.Submissions += entry.Confidence;
        if (entry.Confidence == 0 || verdict.Confidence >= entry.Confidence)
            continue;
        // A v2 match is named first: it is the stronger of the two sums.
        if (entry.Crc == Sums->V2) {
            verdict.Confidence = entry.Confidence;
            verdict.Version = 2;
        } else if (entry.Crc == Sums->V1) {
            verdict.Confidence = entry.Confidence;
            verdict.Version = 1;
        }
    }
    verdict.Kind = verdict.Confidence > 0    ? TAccurateRipVerdict::vkAccurate
                   : verdict.Submissions > 0 ? TAccurateRipVerdict::vkMismatch
                                             : TAccurateRipVerdict::vkNotInDatabase;
    return verdict;
}

} // namespace kestrune
