#include "cd/TCddbClient.h"
#include "cd/TCddbParser.h"
#include "cd/TFakeCddbServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrune {
namespace {

using test::TFakeCddbServer;

// ---- the parser --------------------------------------------------------

const char* const Record = "# xmcd\r\n"
                           "# Track frame offsets:\r\n"
                           "#\t150\r\n"
                           "DISCID=0d000603,0d000604\r\n"
                           "DTITLE=Probe Artist / Probe \r\n"
                           "DTITLE=Album\r\n"
                           "DYEAR=2024\r\n"
                           "DGENRE=Test Tones\r\n"
                           "TTITLE0=Sine\\tPair\r\n"
                           "TTITLE1=Square \\\\ Back\r\n"
                           "TTITLE2=Line\\none\r\n"
                           "TTITLE123=beyond any disc\r\n"
                           "EXTD=Made \r\n"
                           "EXTD=here\r\n";

TEST(CddbParserTest, RecordsJoinRepeatedKeywordsAndUnescapeValues)
{
    const TCddbParser::TReadAnswer read = TCddbParser::ParseRead(
        std::string("210 misc 0d000603 CD database entry follows (until terminating `.')\r\n") + Record + ".\r\n");
    ASSERT_EQ(read.Error, "");
    EXPECT_EQ(read.Album.Artist, "Probe Artist");
    EXPECT_EQ(read.Album.Title, "Probe Album");
    EXPECT_EQ(read.Album.Year, "2024");
    EXPECT_EQ(read.Album.Genre, "Test Tones");
    EXPECT_EQ(read.Album.Category, "misc");
    EXPECT_EQ(read.Album.DiscId, "0d000603");
    EXPECT_EQ(read.Album.Extended, "Made here");
    EXPECT_EQ(read.Album.TrackTitles, (std::vector<std::string>{"Sine\tPair", "Square \\ Back", "Line\none"}));
}

// Servers answer in UTF-8 (protocol level 6) or, older ones and old
// records, in Latin-1: both come out as UTF-8 letters.
TEST(CddbParserTest, AnswersInUtf8OrLatin1ReadAsTheirLetters)
{
    const std::string head = "210 misc 0d000603 CD database entry follows\r\n";
    const TCddbParser::TReadAnswer utf8 = TCddbParser::ParseRead(
        head + "DTITLE=Bj\xC3\xB6rk / Homogenic\r\nTTITLE0=J\xC3\xB3ga\r\nTTITLE1=\xE6\x98\x9F\r\n.\r\n");
    EXPECT_EQ(utf8.Album.Artist, "Bj\xC3\xB6rk");
    EXPECT_EQ(utf8.Album.TrackTitles, (std::vector<std::string>{"J\xC3\xB3ga", "\xE6\x98\x9F"}));
    const TCddbParser::TReadAnswer latin1 =
        TCddbParser::ParseRead(head + "DTITLE=Bj\xF6rk / Homogenic\r\nTTITLE0=J\xF3ga\r\n.\r\n");
    EXPECT_EQ(latin1.Album.Artist, "Bj\xC3\xB6rk");
    EXPECT_EQ(latin1.Album.TrackTitles, (std::vector<std::string>{"J\xC3\xB3ga"}));
    const TCddbParser::TQueryAnswer query = TCddbParser::ParseQuery("200 rock 0d000603 Bj\xF6rk / Homogenic\r\n");
    ASSERT_EQ(query.Matches.size(), 1U);
    EXPECT_EQ(query.Matches[0].Artist, "Bj\xC3\xB6rk");
    std::string error;
    // Old records mix the two: each text is read by itself.
    const TAlbumInfo mixed = TCddbParser::ParseRecord("DTITLE=Caf\xE9 / Caf\xC3\xA9\nTTITLE0=\xE9t\xE9\n", &error);
    EXPECT_EQ(mixed.Artist, "Caf\xC3\xA9");
    EXPECT_EQ(mixed.Title, "Caf\xC3\xA9");
    EXPECT_EQ(mixed.TrackTitles, (std::vector<std::string>{"\xC3\xA9t\xC3\xA9"}));
}

TEST(CddbParserTest, ReadAnswersThatAreNotWholeRecordsFail)
{
    struct TCase {
        const char* Name;
        std::string Body;
        const char* Error;
    };
    const std::string head = "210 misc 0d000603 CD database entry follows\r\n";
    const std::vector<TCase> cases{
        {"cut off before the end line", head + Record, "The CDDB server's album entry was cut off."},
        {"no DTITLE", head + "TTITLE0=x\r\n.\r\n", "The album entry has no DTITLE line."},
        {"not found", "401 Specified CDDB entry not found.\r\n",
         "The CDDB server answered 401: Specified CDDB entry not found."},
        {"no status line", "<html>busy</html>", "The CDDB server's answer is not a CDDB status line."},
        {"empty", "", "The CDDB server's answer is not a CDDB status line."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TCddbParser::TReadAnswer read = TCddbParser::ParseRead(c.Body);
        EXPECT_EQ(read.Error, c.Error);
        EXPECT_EQ(read.Album, TAlbumInfo{});
    }
}

TEST(CddbParserTest, QueryAnswers)
{
    using TMatch = TCddbParser::TMatch;
    struct TCase {
        const char* Body;
        int Code;
        std::vector<TMatch> Matches;
        const char* Error;
    };
    const std::vector<TCase> cases{
        {"200 rock 0D000603 Artist / Title\r\n", 200, {{"rock", "0d000603", "Artist", "Title"}}, ""},
        {"200 rock 0d000603 Self Titled\r\n", 200, {{"rock", "0d000603", "Self Titled", "Self Titled"}}, ""},
        {"210 Found exact matches, list follows (until terminating `.')\r\n"
         "rock 0d000603 A / B\r\nmisc 0d000603 C / D / E\r\n.\r\n",
         210,
         {{"rock", "0d000603", "A", "B"}, {"misc", "0d000603", "C", "D / E"}},
         ""},
        // Lines that are no match are passed over.
        {"211 Found inexact matches\nbad line\nfolk 0d000604 F / G\n.\n", 211, {{"folk", "0d000604", "F", "G"}}, ""},
        {"202 No match found\r\n", 202, {}, ""},
        {"211 Found inexact matches\r\nrock 0d000603 A / B\r\n",
         211,
         {},
         "The CDDB server's list of matches was cut off."},
        {"210 list\r\nnonsense\r\n.\r\n", 210, {}, "The CDDB server's list of matches holds no readable entry."},
        {"200 rock 0d0006 short id\r\n", 200, {}, "The CDDB server's match line is malformed."},
        {"403 Database entry is corrupt\r\n", 403, {}, "The CDDB server answered 403: Database entry is corrupt"},
        {"500 Unknown developer email\r\n", 500, {}, "The CDDB server answered 500: Unknown developer email"},
        {"20x nope\r\n", 0, {}, "The CDDB server's answer is not a CDDB status line."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Body);
        const TCddbParser::TQueryAnswer answer = TCddbParser::ParseQuery(c.Body);
        EXPECT_EQ(answer.Code, c.Code);
        EXPECT_EQ(answer.Matches, c.Matches);
        EXPECT_EQ(answer.Error, c.Error);
    }
}

TEST(CddbParserTest, FormattedRecordsReadBackTheSame)
{
    TAlbumInfo album;
    album.DiscId = "0d000603";
    album.Artist = "Ann \\ Bo";
    album.Title = "Tabs\tand\nlines";
    album.Genre = "Tones";
    album.Year = "1999";
    album.TrackTitles = {"One", "", "Three / Part"};
    std::string error;
    const TAlbumInfo back = TCddbParser::ParseRecord(TCddbParser::FormatRecord(album, {150, 300, 555}, 8), &error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(back, album);
}

// ---- the client against servers on loopback ------------------------------

TDiscToc ShortDisc()
{
    TDiscToc toc;
    toc.Tracks = {{1, 0, 0, 150, TTrackType::ttAudio, false, ""},
                  {2, 0, 150, 255, TTrackType::ttAudio, false, ""},
                  {3, 0, 405, 113, TTrackType::ttAudio, false, ""}};
    toc.LeadOutLsn = 518;
    return toc;
}

std::string ReadAnswer(const std::string& Category, const std::string& Artist, const std::string& Title)
{
    return "210 " + Category + " 0d000603 CD database entry follows\r\nDISCID=0d000603\r\nDTITLE=" + Artist + " / " +
           Title + "\r\nTTITLE0=t1\r\nTTITLE1=t2\r\nTTITLE2=t3\r\n.\r\n";
}

class CddbClientTest : public ::testing::Test {
protected:
    TCddbSettings Settings(const std::string& Url) const
    {
        TCddbSettings s;
        s.Servers = {Url};
        s.Email = "ripper@example.org";
        s.Timeout = std::chrono::milliseconds(3000);
        s.CacheFolder = (Dir.Path() / "cache").string();
        return s;
    }
    test::TTempDir Dir;
    std::atomic<bool> Cancel{false};
};

TEST_F(CddbClientTest, OneMatchIsQueriedAndRead)
{
    TFakeCddbServer server;
    server.Answer = [](const std::string& Cmd) -> std::pair<int, std::string> {
        if (Cmd.rfind("cddb query", 0) == 0)
            return {200, "200 rock 0d000603 Probe Artist / Probe Album\r\n"};
        return {200, ReadAnswer("rock", "Probe Artist", "Probe Album")};
    };
    TCddbClient client(Settings(server.Url()));
    const TAlbumQueryResult result = client.Query(ShortDisc(), Cancel);
    ASSERT_EQ(result.Status, TAlbumQueryResult::csFound) << result.Error;
    ASSERT_EQ(result.Albums.size(), 1U);
    EXPECT_EQ(result.Albums[0].Artist, "Probe Artist");
    EXPECT_EQ(result.Albums[0].Title, "Probe Album");
    EXPECT_EQ(result.Albums[0].Genre, "rock");
    EXPECT_EQ(result.Albums[0].TrackTitles, (std::vector<std::string>{"t1", "t2", "t3"}));
    // The protocol's words: the disc's figures, the user's address split in two.
    const auto seen = server.Seen();
    ASSERT_EQ(seen.size(), 2U);
    EXPECT_EQ(seen[0][0], "cddb query 0d000603 3 150 300 555 8");
    EXPECT_EQ(seen[0][1], "ripper example.org Kestrune 1.0");
    EXPECT_EQ(seen[0][2], "6");
    EXPECT_EQ(seen[1][0], "cddb read rock 0d000603");
}

TEST_F(CddbClientTest, SeveralMatchesBecomeSeveralEntries)
{
    TFakeCddbServer server;
    server.Answer = [](const std::string& Cmd) -> std::pair<int, std::string> {
        if (Cmd.rfind("cddb query", 0) == 0)
            return {200, "211 Found inexact matches, list follows\r\nrock 0d000603 A / One\r\n"
                         "jazz 0d000603 B / Two\r\nblues 0d000603 C / Gone\r\n.\r\n"};
        if (Cmd == "cddb read blues 0d000603")
            return {200, "401 Specified CDDB entry not found.\r\n"};
        const bool rock = Cmd.find("rock") != std::string::npos;
        return {200, ReadAnswer(rock ? "rock" : "jazz", rock ? "A" : "B", rock ? "One" : "Two")};
    };
    TCddbClient client(Settings(server.Url()));
    const TAlbumQueryResult result = client.Query(ShortDisc(), Cancel);
    ASSERT_EQ(result.Status, TAlbumQueryResult::csFound) << result.Error;
    ASSERT_EQ(result.Albums.size(), 2U);
    EXPECT_EQ(result.Albums[0].Title, "One");
    EXPECT_EQ(result.Albums[1].Title, "Two");
    EXPECT_EQ(result.Albums[1].Category, "jazz");
}

TEST_F(CddbClientTest, AnswersWithoutAnEntry)
{
    struct TCase {
        const char* Name;
        int Http;
        std::string Query;
        std::string Read;
        TAlbumQueryResult::TStatus Status;
        const char* Error;
    };
    const std::vector<TCase> cases{
        {"no match", 200, "202 No match found\r\n", "", TAlbumQueryResult::csNoMatch, ""},
        {"server error", 200, "500 Unknown developer email\r\n", "", TAlbumQueryResult::csFailed,
         "The CDDB server answered 500: Unknown developer email"},
        {"HTTP error", 503, "busy", "", TAlbumQueryResult::csFailed, "The CDDB server answered with HTTP status 503."},
        {"record cut off", 200, "200 rock 0d000603 A / B\r\n", "210 rock 0d000603 follows\r\nDTITLE=A / B\r\n",
         TAlbumQueryResult::csFailed, "The CDDB server's album entry was cut off."},
        {"record without title", 200, "200 rock 0d000603 A / B\r\n", "210 rock 0d000603 follows\r\nTTITLE0=x\r\n.\r\n",
         TAlbumQueryResult::csFailed, "The album entry has no DTITLE line."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TFakeCddbServer server;
        server.Answer = [&c](const std::string& Cmd) -> std::pair<int, std::string> {
            return {c.Http, Cmd.rfind("cddb query", 0) == 0 ? c.Query : c.Read};
        };
        TCddbClient client(Settings(server.Url()));
        const TAlbumQueryResult result = client.Query(ShortDisc(), Cancel);
        EXPECT_EQ(result.Status, c.Status);
        EXPECT_EQ(result.Error, c.Error);
        EXPECT_TRUE(result.Albums.empty());
    }
}

TEST_F(CddbClientTest, AServerThatNeverAnswersTimesOut)
{
    // Listens, so the connection is made, but never reads or answers.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    TCddbSettings settings =
        Settings("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/~cddb/cddb.cgi");
    settings.Timeout = std::chrono::milliseconds(400);
    TCddbClient client(settings);
    const auto start = std::chrono::steady_clock::now();
    const TAlbumQueryResult result = client.Query(ShortDisc(), Cancel);
    const auto took = std::chrono::steady_clock::now() - start;
    ::close(fd);
    EXPECT_EQ(result.Status, TAlbumQueryResult::csFailed);
    EXPECT_NE(result.Error.find("could not be reached"), std::string::npos) << result.Error;
    EXPECT_LT(took, std::chrono::seconds(5));
}

TEST_F(CddbClientTest, NoQueryWithoutTheUsersAddress)
{
    TFakeCddbServer server;
    server.Answer = [](const std::string&) -> std::pair<int, std::string> { return {200, "202 No match\r\n"}; };
    for (const char* email : {"", "nobody", "@example.org", "user@"}) {
        SCOPED_TRACE(email);
        TCddbSettings settings = Settings(server.Url());
        settings.Email = email;
        const TAlbumQueryResult result = TCddbClient(settings).Query(ShortDisc(), Cancel);
        EXPECT_EQ(result.Status, TAlbumQueryResult::csFailed);
        EXPECT_NE(result.Error.find("e-mail"), std::string::npos);
    }
    EXPECT_TRUE(server.Seen().empty());
}

TEST_F(CddbClientTest, SavedAlbumInfoIsFoundFirst)
{
    TFakeCddbServer server;
    server.Answer = [](const std::string& Cmd) -> std::pair<int, std::string> {
        if (Cmd.rfind("cddb query", 0) == 0)
            return {200, "200 rock 0d000603 Server Artist / Server Album\r\n"};
        return {200, ReadAnswer("rock", "Server Artist", "Server Album")};
    };
    TCddbClient client(Settings(server.Url()));
    TAlbumQueryResult first = client.Query(ShortDisc(), Cancel);
    ASSERT_EQ(first.Status, TAlbumQueryResult::csFound);
    TAlbumInfo edited = first.Albums[0];
    edited.Title = "My / Own Title";
    edited.Genre = "Favourites";
    edited.TrackTitles[1] = "Renamed";
    client.SaveAlbumInfo(ShortDisc(), edited);
    const std::size_t asked = server.Seen().size();

    const TAlbumQueryResult second = TCddbClient(Settings(server.Url())).Query(ShortDisc(), Cancel);
    ASSERT_EQ(second.Status, TAlbumQueryResult::csFound);
    ASSERT_EQ(second.Albums.size(), 1U);
    EXPECT_EQ(second.Albums[0].Source, "cache");
    EXPECT_EQ(second.Albums[0].Artist, "Server Artist");
    EXPECT_EQ(second.Albums[0].Title, "My / Own Title");
    EXPECT_EQ(second.Albums[0].Genre, "Favourites");
    EXPECT_EQ(second.Albums[0].TrackTitles, (std::vector<std::string>{"t1", "Renamed", "t3"}));
    EXPECT_EQ(server.Seen().size(), asked);
    // Another disc is not answered from it.
    TDiscToc other = ShortDisc();
    other.LeadOutLsn = 600;
    other.Tracks[2].Sectors = 195;
    EXPECT_TRUE(TAlbumCache(Settings(server.Url()).CacheFolder).Find(other).empty());
}

} // namespace
} // namespace kestrune
