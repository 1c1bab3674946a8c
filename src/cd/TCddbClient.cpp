#include "cd/TCddbClient.h"

#include "cd/TCddbParser.h"
#include "cd/THttpGet.h"
#include "pipeline/EACSException.h"

namespace kestrune {

namespace {

// Reads asked for per query: more matches than this are not worth the wait.
constexpr std::size_t MaxReads = 10;

} // namespace

std::vector<std::string> TCddbSettings::DefaultServers()
{
    return {"gnudb.gnudb.org", "freedb.dbpoweramp.com"};
}

std::string TCddbClient::ServerName(const TCddbSettings& Settings, int Index)
{
    if (Index < 0 || Index >= static_cast<int>(Settings.Servers.size()))
        return {};
    return Settings.Servers[static_cast<std::size_t>(Index)];
}

TCddbClient::TCddbClient(TCddbSettings Settings) : FSettings(std::move(Settings)) {}

std::string TCddbClient::ServerUrl() const
{
    std::string server = ServerName(FSettings, FSettings.ServerIndex);
    if (server.empty())
        return {};
    if (server.find("://") != std::string::npos)
        return server;
    return "http://" + server + ":" + std::to_string(FSettings.Port) + "/~cddb/cddb.cgi";
}

std::optional<std::string> TCddbClient::Ask(const std::string& Command, const std::atomic<bool>& Cancel,
                                            std::string& Error)
{
    if (!Http)
        Http = std::make_shared<THttpGet>();
    const std::size_t at = FSettings.Email.find('@');
    std::vector<std::string> command;
    for (std::size_t start = 0; start <= Command.size();) {
        const std::size_t space = Command.find(' ', start);
        command.push_back(Command.substr(start, space == std::string::npos ? std::string::npos : space - start));
        if (space == std::string::npos)
            break;
        start = space + 1;
    }
    const std::string url = ServerUrl() + "?cmd=" + Http->QueryWords(command) + "&hello=" +
                            Http->QueryWords({FSettings.Email.substr(0, at), FSettings.Email.substr(at + 1),
                                              FSettings.ClientName, FSettings.ClientVersion}) +
                            "&proto=6";
    THttpGet::TOptions options;
    options.Timeout = FSettings.Timeout;
    options.ProxyHost = FSettings.ProxyHost;
    options.ProxyPort = FSettings.ProxyPort;
    options.UserAgent = FSettings.ClientName + "/" + FSettings.ClientVersion;
    const THttpGet::TAnswer answer = Http->Fetch(url, options, Cancel);
    if (!answer.Transferred) {
        Error = Cancel.load() ? answer.Error : "The CDDB server could not be reached: " + answer.Error;
        return std::nullopt;
    }
    if (answer.Status != 200) {
        Error = "The CDDB server answered with HTTP status " + std::to_string(answer.Status) + ".";
        return std::nullopt;
    }
    return answer.Body;
}

TAlbumQueryResult TCddbClient::Query(const TDiscToc& Toc, const std::atomic<bool>& Cancel)
{
    TAlbumQueryResult result;
    try {
        Toc.Validate();
        if (!FSettings.CacheFolder.empty()) {
            result.Albums = TAlbumCache(FSettings.CacheFolder).Find(Toc);
            if (!result.Albums.empty()) {
                result.Status = TAlbumQueryResult::csFound;
                return result;
            }
        }
        const std::size_t at = FSettings.Email.find('@');
        if (at == std::string::npos || at == 0 || at + 1 == FSettings.Email.size()) {
            result.Error = "CDDB servers answer only clients that give the user's e-mail address; set it first.";
            return result;
        }
        if (ServerUrl().empty()) {
            result.Error = "There is no CDDB server number " + std::to_string(FSettings.ServerIndex + 1) + ".";
            return result;
        }
        std::string query = "cddb query " + Toc.CddbIdText() + " " + std::to_string(Toc.Tracks.size());
        for (const std::int32_t offset : Toc.FrameOffsets())
            query += " " + std::to_string(offset);
        query += " " + std::to_string(Toc.DiscSeconds());
        const std::optional<std::string> body = Ask(query, Cancel, result.Error);
        if (!body)
            return result;
        const TCddbParser::TQueryAnswer answer = TCddbParser::ParseQuery(*body);
        if (!answer.Error.empty()) {
            result.Error = answer.Error;
            return result;
        }
        if (answer.Matches.empty()) {
            result.Status = TAlbumQueryResult::csNoMatch;
            return result;
        }
        std::string lastError;
        for (std::size_t i = 0; i < answer.Matches.size() && i < MaxReads; ++i) {
            const TCddbParser::TMatch& match = answer.Matches[i];
            const std::optional<std::string> record =
                Ask("cddb read " + match.Category + " " + match.DiscId, Cancel, lastError);
            if (!record) {
                if (Cancel.load())
                    break;
                continue;
            }
            TCddbParser::TReadAnswer read = TCddbParser::ParseRead(*record);
            if (!read.Error.empty()) {
                lastError = read.Error;
                continue;
            }
            read.Album.Source = "cddb";
            read.Album.Category = match.Category;
            read.Album.DiscId = match.DiscId;
            if (read.Album.Genre.empty())
                read.Album.Genre = match.Category;
            read.Album.TrackTitles.resize(Toc.Tracks.size());
            result.Albums.push_back(std::move(read.Album));
        }
        if (result.Albums.empty()) {
            result.Error = Cancel.load() ? std::string("Cancelled.") : lastError;
            return result;
        }
        result.Status = TAlbumQueryResult::csFound;
    } catch (const std::exception& e) {
        result.Albums.clear();
        result.Error = e.what();
    }
    return result;
}

void TCddbClient::SaveAlbumInfo(const TDiscToc& Toc, const TAlbumInfo& Album) const
{
    if (FSettings.CacheFolder.empty())
        throw EACSException("No folder is set for saved album information.");
    TAlbumCache(FSettings.CacheFolder).Save(Toc, Album);
}

} // namespace kestrune
