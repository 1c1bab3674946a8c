#include "cd/TCddbClient.h"

#include "cd/TCddbParser.h"
#include "codecs/TCurlLibrary.h"
#include "pipeline/EACSException.h"

namespace kestrune {

namespace {

struct TCurlDeleter {
    decltype(TCurlLibrary::easy_cleanup) Cleanup;
    void operator()(CURL* Handle) const { Cleanup(Handle); }
};

struct TCurlFree {
    decltype(TCurlLibrary::free) Free;
    void operator()(char* Text) const { Free(Text); }
};

// No CDDB answer comes near this; a larger one is no CDDB answer.
constexpr std::size_t MaxAnswerBytes = std::size_t{1} * 1024 * 1024;
// Reads asked for per query: more matches than this are not worth the wait.
constexpr std::size_t MaxReads = 10;

size_t Collect(char* Data, size_t Size, size_t Count, void* User)
{
    auto* answer = static_cast<std::string*>(User);
    const size_t bytes = Size * Count;
    if (answer->size() + bytes > MaxAnswerBytes)
        return 0;
    answer->append(Data, bytes);
    return bytes;
}

int Progress(void* User, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::atomic<bool>*>(User)->load() ? 1 : 0;
}

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
    const std::string server = ServerName(FSettings, FSettings.ServerIndex);
    if (server.empty())
        return {};
    if (server.find("://") != std::string::npos)
        return server;
    return "http://" + server + ":" + std::to_string(FSettings.Port) + "/~cddb/cddb.cgi";
}

std::optional<std::string> TCddbClient::Ask(const std::string& Command, const std::atomic<bool>& Cancel,
                                            std::string& Error)
{
    if (!Curl)
        Curl = TCurlLibrary::Load();
    const TCurlLibrary& lib = *Curl;
    std::unique_ptr<CURL, TCurlDeleter> curl(lib.easy_init(), TCurlDeleter{lib.easy_cleanup});
    if (!curl) {
        Error = "The HTTP client could not be created.";
        return std::nullopt;
    }
    CURL* h = curl.get();
    // Words joined by "+", each escaped on its own.
    const auto words = [&lib, h](const std::vector<std::string>& Words) {
        std::string joined;
        for (const std::string& w : Words) {
            std::unique_ptr<char, TCurlFree> escaped(lib.easy_escape(h, w.c_str(), static_cast<int>(w.size())),
                                                     TCurlFree{lib.free});
            if (!joined.empty())
                joined += '+';
            joined += escaped ? escaped.get() : "";
        }
        return joined;
    };
    const std::size_t at = FSettings.Email.find('@');
    const std::string user = FSettings.Email.substr(0, at);
    const std::string host = FSettings.Email.substr(at + 1);
    std::vector<std::string> command;
    for (std::size_t start = 0; start <= Command.size();) {
        const std::size_t space = Command.find(' ', start);
        command.push_back(Command.substr(start, space == std::string::npos ? std::string::npos : space - start));
        if (space == std::string::npos)
            break;
        start = space + 1;
    }
    const std::string url = ServerUrl() + "?cmd=" + words(command) + "&hello=" +
                            words({user, host, FSettings.ClientName, FSettings.ClientVersion}) + "&proto=6";
    std::string answer;
    const std::string agent = FSettings.ClientName + "/" + FSettings.ClientVersion;
    lib.easy_setopt(h, CURLOPT_URL, url.c_str());
    lib.easy_setopt(h, CURLOPT_USERAGENT, agent.c_str());
    lib.easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    lib.easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(FSettings.Timeout.count()));
    lib.easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(FSettings.Timeout.count()));
    lib.easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    lib.easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    lib.easy_setopt(h, CURLOPT_WRITEFUNCTION, Collect);
    lib.easy_setopt(h, CURLOPT_WRITEDATA, &answer);
    lib.easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    lib.easy_setopt(h, CURLOPT_XFERINFOFUNCTION, Progress);
    lib.easy_setopt(h, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(&Cancel));
    if (!FSettings.ProxyHost.empty()) {
        lib.easy_setopt(h, CURLOPT_PROXY, FSettings.ProxyHost.c_str());
        if (FSettings.ProxyPort > 0)
            lib.easy_setopt(h, CURLOPT_PROXYPORT, static_cast<long>(FSettings.ProxyPort));
    } else {
        lib.easy_setopt(h, CURLOPT_PROXY, "");
    }
    const CURLcode code = lib.easy_perform(h);
    if (code != CURLE_OK) {
        Error = Cancel.load() ? std::string("Cancelled.")
                              : "The CDDB server could not be reached: " + std::string(lib.easy_strerror(code));
        return std::nullopt;
    }
    long status = 0;
    lib.easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) {
        Error = "The CDDB server answered with HTTP status " + std::to_string(status) + ".";
        return std::nullopt;
    }
    return answer;
}

TCddbResult TCddbClient::Query(const TDiscToc& Toc, const std::atomic<bool>& Cancel)
{
    TCddbResult result;
    try {
        Toc.Validate();
        if (!FSettings.CacheFolder.empty()) {
            result.Albums = TAlbumCache(FSettings.CacheFolder).Find(Toc);
            if (!result.Albums.empty()) {
                result.Status = TCddbResult::csFound;
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
            result.Status = TCddbResult::csNoMatch;
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
        result.Status = TCddbResult::csFound;
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
