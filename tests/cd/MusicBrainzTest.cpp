#include "cd/TMusicBrainzClient.h"
#include "cd/TMusicBrainzParser.h"
#include "cd/TFakeWebServices.h"
#include "recognition/TRateLimiter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

namespace kestrune {
namespace {

using test::TFakeMusicBrainz;

const std::string DiscId = "OGeuhniCwHZPcNsc0D55pxlJlsU-";

std::string Release(const std::string& Title, const std::string& OtherDisc)
{
    // Two media: the tracks come from the one that carries our disc.
    return R"({"title":")" + Title + R"(","date":"2019-05-01",
        "artist-credit":[{"name":"Ann","joinphrase":" & "},{"name":"Bo","joinphrase":""}],
        "media":[{"discs":[{"id":")" +
           OtherDisc + R"("}],"tracks":[{"title":"wrong"}]},
                 {"discs":[{"id":")" +
           DiscId + R"("}],"tracks":[{"title":"One"},{"title":"Two"},{"title":"Three"}]}]})";
}

TEST(MusicBrainzParserTest, Answers)
{
    struct TCase {
        const char* Name;
        std::string Body;
        long Status;
        TAlbumQueryResult::TStatus Expect;
        std::size_t Albums;
        const char* Error;
    };
    const std::vector<TCase> cases{
        {"one release", R"({"releases":[)" + Release("Album", "x") + "]}", 200, TAlbumQueryResult::csFound, 1, ""},
        {"two releases", R"({"releases":[)" + Release("A", "x") + "," + Release("B", "y") + "]}", 200,
         TAlbumQueryResult::csFound, 2, ""},
        {"not known", R"({"error":"Not Found"})", 404, TAlbumQueryResult::csNoMatch, 0, ""},
        {"empty list", R"({"releases":[]})", 200, TAlbumQueryResult::csNoMatch, 0, ""},
        {"releases without titles", R"({"releases":[{"title":5},{}]})", 200, TAlbumQueryResult::csNoMatch, 0, ""},
        {"service error", R"({"error":"Your requests are exceeding the allowable rate limit."})", 503,
         TAlbumQueryResult::csFailed, 0,
         "The MusicBrainz service answered with HTTP status 503: Your requests are exceeding the allowable rate "
         "limit."},
        {"not JSON", "<html>", 200, TAlbumQueryResult::csFailed, 0,
         "The MusicBrainz answer is not JSON (HTTP status 200)."},
        {"cut off", R"({"releases":[{"title":"A")", 200, TAlbumQueryResult::csFailed, 0,
         "The MusicBrainz answer is not JSON (HTTP status 200)."},
        {"wrong shape", R"({"releases":{"title":"A"}})", 200, TAlbumQueryResult::csFailed, 0,
         "The MusicBrainz answer lists no releases."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TAlbumQueryResult r = TMusicBrainzParser::Parse(c.Body, c.Status, DiscId);
        EXPECT_EQ(r.Status, c.Expect);
        EXPECT_EQ(r.Albums.size(), c.Albums);
        EXPECT_EQ(r.Error, c.Error);
    }
    const TAlbumQueryResult one =
        TMusicBrainzParser::Parse(R"({"releases":[)" + Release("Album", "x") + "]}", 200, DiscId);
    ASSERT_EQ(one.Albums.size(), 1U);
    EXPECT_EQ(one.Albums[0].Artist, "Ann & Bo");
    EXPECT_EQ(one.Albums[0].Title, "Album");
    EXPECT_EQ(one.Albums[0].Year, "2019");
    EXPECT_EQ(one.Albums[0].Source, "musicbrainz");
    EXPECT_EQ(one.Albums[0].TrackTitles, (std::vector<std::string>{"One", "Two", "Three"}));
}

// The web service on loopback: answers every disc-id lookup with Body.

TDiscToc ShortDisc()
{
    TDiscToc toc;
    toc.Tracks = {{1, 0, 0, 150, TTrackType::ttAudio, false, ""},
                  {2, 0, 150, 255, TTrackType::ttAudio, false, ""},
                  {3, 0, 405, 113, TTrackType::ttAudio, false, ""}};
    toc.LeadOutLsn = 518;
    return toc;
}

TEST(MusicBrainzClientTest, LooksUpTheDiscIdOncePerSecondNamingKestrune)
{
    TFakeMusicBrainz service(200, R"({"releases":[)" + Release("Album", "x") + "]}");
    TMusicBrainzSettings settings;
    settings.Server = service.Url();
    // A limiter of the test's own, so that other tests do not count.
    TMusicBrainzClient client(settings, std::make_shared<TRateLimiter>(1, std::chrono::milliseconds(1000)));
    std::atomic<bool> cancel{false};
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 2; ++i) {
        const TAlbumQueryResult r = client.Query(ShortDisc(), cancel);
        ASSERT_EQ(r.Status, TAlbumQueryResult::csFound) << r.Error;
        EXPECT_EQ(r.Albums.at(0).TrackTitles, (std::vector<std::string>{"One", "Two", "Three"}));
    }
    std::lock_guard lock(service.Mutex);
    ASSERT_EQ(service.Arrivals.size(), 2U);
    // The second request may leave no sooner than a second after the first
    // could (arrival times at the server jitter; this bound does not).
    EXPECT_GE(service.Arrivals[1] - start, std::chrono::milliseconds(1000));
    EXPECT_EQ(service.Paths[0], "/ws/2/discid/" + DiscId + "?recordings artist-credits&json");
    EXPECT_EQ(service.Agents[0].rfind("Kestrune/", 0), 0U) << service.Agents[0];
}

TEST(MusicBrainzClientTest, FailuresComeBackAsTexts)
{
    std::atomic<bool> cancel{false};
    {
        TFakeMusicBrainz service(404, R"({"error":"Not Found"})");
        TMusicBrainzSettings settings;
        settings.Server = service.Url();
        const TAlbumQueryResult r =
            TMusicBrainzClient(settings, std::make_shared<TRateLimiter>(1, std::chrono::milliseconds(1)))
                .Query(ShortDisc(), cancel);
        EXPECT_EQ(r.Status, TAlbumQueryResult::csNoMatch);
    }
    TMusicBrainzSettings settings;
    settings.Server = "http://127.0.0.1:9/ws/2"; // nothing listens there
    settings.Timeout = std::chrono::milliseconds(500);
    const TAlbumQueryResult r =
        TMusicBrainzClient(settings, std::make_shared<TRateLimiter>(1, std::chrono::milliseconds(1)))
            .Query(ShortDisc(), cancel);
    EXPECT_EQ(r.Status, TAlbumQueryResult::csFailed);
    EXPECT_NE(r.Error.find("could not be reached"), std::string::npos) << r.Error;
}

} // namespace
} // namespace kestrune
