#include "cd/TCdGrabber.h"
#include "cd/TCddbClient.h"
#include "cd/TCdioDriveProvider.h"
#include "cd/TCueImage.h"
#include "cd/TFakeCddbServer.h"
#include "cd/TFakeWebServices.h"
#include "cd/TMusicBrainzClient.h"
#include "recognition/TRateLimiter.h"
#include "common/TPlainDispatcher.h"
#include "pipeline/EACSException.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

using test::TCueImage;
using test::TCueImageTrack;
using test::TFakeCddbServer;

struct TQueryWatch final : ICdGrabberEvents {
    std::vector<int> Status;
    void OnMediaChange() override {}
    void OnOperationProgress(double) override {}
    void OnGrabRetry(int, int) override {}
    void OnFreeDBQueryStatus(int S) override { Status.push_back(S); }
    bool Ended() const { return !Status.empty() && (Status.back() == 3 || Status.back() < 0); }
};

TCueImage Image(bool WithCdText)
{
    TCueImage image;
    image.Tracks = {{TCueImageTrack::tkSine, 150, 0, "", false, WithCdText ? "Sine Pair" : "", ""},
                    {TCueImageTrack::tkNoise, 225, 0, "", false, "", ""},
                    {TCueImageTrack::tkSine, 113, 30, "", false, "", ""}};
    if (WithCdText) {
        image.Title = "Probe Album";
        image.Performer = "Probe Artist";
    }
    return image;
}

std::pair<int, std::string> TwoEntries(const std::string& Cmd)
{
    if (Cmd.rfind("cddb query", 0) == 0)
        return {200, "210 Found exact matches\r\nrock 0d000603 A / One\r\njazz 0d000603 B / Two\r\n.\r\n"};
    const bool rock = Cmd.find("rock") != std::string::npos;
    return {200, std::string("210 x 0d000603 follows\r\nDTITLE=") + (rock ? "A / One" : "B / Two") +
                     "\r\nTTITLE0=" + (rock ? "r1" : "j1") + "\r\nTTITLE1=x\r\nTTITLE2=y\r\n.\r\n"};
}

class GrabberAlbumTest : public ::testing::Test {
protected:
    void Open(bool WithCdText)
    {
        const auto cue = Image(WithCdText).Write(Dir.Path(), "disc");
        Grabber = std::make_unique<TCdGrabber>(
            Dispatcher, std::make_shared<TCdioDriveProvider>(std::vector<std::string>{cue.string()}, false));
        Grabber->SetEvents(&Watch);
        Grabber->Initialize();
        Grabber->Refresh();
    }
    std::shared_ptr<TCddbClient> Client(const std::string& Url) const
    {
        TCddbSettings s;
        s.Servers = {Url};
        s.Email = "ripper@example.org";
        s.Timeout = std::chrono::milliseconds(2000);
        s.CacheFolder = (Dir.Path() / "cache").string();
        return std::make_shared<TCddbClient>(s);
    }
    void Query(const std::string& Url)
    {
        Watch.Status.clear();
        Grabber->QueryFreeDB(Client(Url));
        ASSERT_TRUE(Dispatcher.WaitServing([this] { return Watch.Ended(); }, std::chrono::seconds(20)));
    }

    test::TTempDir Dir;
    TPlainDispatcher Dispatcher;
    TQueryWatch Watch;
    std::unique_ptr<TCdGrabber> Grabber;
};

TEST_F(GrabberAlbumTest, EntriesAreChosenEditedAndSaved)
{
    TFakeCddbServer server;
    server.Answer = TwoEntries;
    Open(false);
    Grabber->QueryFreeDB(Client(server.Url()));
    // The drive is left alone while the query runs.
    EXPECT_THROW(Grabber->Refresh(), EACSException);
    ASSERT_TRUE(Dispatcher.WaitServing([this] { return Watch.Ended(); }, std::chrono::seconds(20)));
    EXPECT_EQ(Watch.Status, (std::vector<int>{1, 2, 3}));
    ASSERT_EQ(Grabber->AlbumMatchCount(), 2);
    EXPECT_EQ(Grabber->AlbumTitle(), "One");
    EXPECT_EQ(Grabber->TrackTitle(), "r1");
    Grabber->SetAlbumMatch(1);
    EXPECT_EQ(Grabber->AlbumArtist(), "B");
    EXPECT_EQ(Grabber->AlbumGenre(), "jazz");
    EXPECT_EQ(Grabber->TrackTitle(), "j1");
    EXPECT_THROW(Grabber->SetAlbumMatch(2), EACSException);

    Grabber->SetAlbumTitle("Edited");
    Grabber->SetAlbumArtist("Someone");
    Grabber->SetAlbumGenre("Mine");
    Grabber->SaveAlbumInfo();
    const std::size_t asked = server.Seen().size();

    // Reading the same disc again keeps its entries; a new query: the saved
    // entry answers, the server is not asked.
    Grabber->Refresh();
    EXPECT_EQ(Grabber->AlbumMatchCount(), 2);
    EXPECT_EQ(Grabber->AlbumMatch(), 1);
    Query(server.Url());
    EXPECT_EQ(Watch.Status.back(), 3);
    ASSERT_EQ(Grabber->AlbumMatchCount(), 1);
    EXPECT_EQ(Grabber->AlbumTitle(), "Edited");
    EXPECT_EQ(Grabber->AlbumArtist(), "Someone");
    EXPECT_EQ(Grabber->AlbumGenre(), "Mine");
    EXPECT_EQ(Grabber->TrackTitle(), "j1");
    EXPECT_EQ(server.Seen().size(), asked);
}

TEST_F(GrabberAlbumTest, NoEntryAndNoServer)
{
    struct TCase {
        const char* Name;
        bool CdText;
        bool Reachable;
        int Status;
        int Entries;
        const char* Title;
    };
    const std::vector<TCase> cases{
        {"no entry", false, true, -2, 0, ""},
        {"no server", false, false, -1, 0, ""},
        {"no entry, CD-TEXT", true, true, 3, 1, "Probe Album"},
        {"no server, CD-TEXT", true, false, 3, 1, "Probe Album"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TFakeCddbServer server;
        server.Answer = [](const std::string&) -> std::pair<int, std::string> {
            return {200, "202 No match found\r\n"};
        };
        Open(c.CdText);
        Query(c.Reachable ? server.Url() : "http://127.0.0.1:9/~cddb/cddb.cgi");
        EXPECT_EQ(Watch.Status.back(), c.Status);
        EXPECT_EQ(Grabber->AlbumMatchCount(), c.Entries);
        EXPECT_EQ(Grabber->AlbumTitle(), c.Title);
        if (c.Status == -1) {
            EXPECT_NE(Grabber->QueryError().find("could not be reached"), std::string::npos);
        }
        Grabber.reset();
    }
}

TEST_F(GrabberAlbumTest, MusicBrainzReleasesFollowTheCddbEntries)
{
    Open(false);
    const std::string release = R"({"releases":[{"title":"Third","artist-credit":[{"name":"C"}],
        "media":[{"discs":[{"id":")" + Grabber->Toc().MusicBrainzId() +
                                R"("}],"tracks":[{"title":"m1"},{"title":"m2"},{"title":"m3"}]}]}]})";
    struct TCase {
        const char* Name;
        bool Cddb;      // the CDDB server answers with two entries
        int MbStatus;   // 0: the service cannot be reached
        int Status;
        std::vector<std::string> Titles;
    };
    const std::vector<TCase> cases{
        {"both", true, 200, 3, {"One", "Two", "Third"}},
        {"only MusicBrainz", false, 200, 3, {"Third"}},
        {"MusicBrainz knows nothing", true, 404, 3, {"One", "Two"}},
        {"CDDB down, MusicBrainz knows nothing", false, 404, -2, {}},
        {"neither reachable", false, 0, -1, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TFakeCddbServer cddb;
        cddb.Answer = TwoEntries;
        test::TFakeMusicBrainz service(c.MbStatus == 0 ? 200 : c.MbStatus,
                                       c.MbStatus == 200 ? release : R"({"error":"Not Found"})");
        TMusicBrainzSettings settings;
        settings.Server = c.MbStatus == 0 ? "http://127.0.0.1:9/ws/2" : service.Url();
        settings.Timeout = std::chrono::milliseconds(2000);
        auto musicBrainz = std::make_shared<TMusicBrainzClient>(
            settings, std::make_shared<TRateLimiter>(1, std::chrono::milliseconds(1)));
        Watch.Status.clear();
        Grabber->QueryFreeDB(Client(c.Cddb ? cddb.Url() : "http://127.0.0.1:9/~cddb/cddb.cgi"), musicBrainz);
        ASSERT_TRUE(Dispatcher.WaitServing([this] { return Watch.Ended(); }, std::chrono::seconds(20)));
        EXPECT_EQ(Watch.Status.back(), c.Status);
        std::vector<std::string> titles;
        for (int i = 0; i < Grabber->AlbumMatchCount(); ++i) {
            Grabber->SetAlbumMatch(i);
            titles.push_back(Grabber->AlbumTitle());
        }
        EXPECT_EQ(titles, c.Titles);
        if (c.Titles.size() == 3) {
            Grabber->SetAlbumMatch(2);
            EXPECT_EQ(Grabber->AlbumArtist(), "C");
            EXPECT_EQ(Grabber->TrackTitle(), "m1");
        }
    }
}

TEST_F(GrabberAlbumTest, ClosingDuringAQueryCancelsIt)
{
    TFakeCddbServer server;
    std::atomic<bool> release{false};
    server.Answer = [&release](const std::string&) -> std::pair<int, std::string> {
        test::WaitUntil([&release] { return release.load(); }, std::chrono::seconds(10));
        return {200, "202 No match found\r\n"};
    };
    Open(false);
    Grabber->QueryFreeDB(Client(server.Url()));
    ASSERT_TRUE(test::WaitUntil([&server] { return !server.Seen().empty(); }, std::chrono::seconds(10)));
    const auto start = std::chrono::steady_clock::now();
    Grabber.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    release = true;
    Dispatcher.ProcessPending();
    // What it had posted for itself is dropped, not run on a dead object.
    EXPECT_TRUE(Watch.Status.empty());
}

} // namespace
} // namespace kestrune
