// kestrune-cli disc: the table of contents and ids of an image, album entries
// from CD-TEXT and from a CDDB server on loopback, and the exit statuses.

#include "cd/TCueImage.h"
#include "cli/CliJson.h"
#include "cd/TFakeCddbServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>

using namespace kestrune;
using namespace kestrune::test;

namespace {

TCliResult Cli(const std::string& Arguments, const TTempDir& Dir)
{
    return RunCli(KESTRUNE_CLI, Arguments, Dir);
}

TCueImage Image()
{
    TCueImage image;
    image.Title = "Probe Album";
    image.Performer = "Probe Artist";
    image.Catalog = "0123456789012";
    image.Tracks = {
        {TCueImageTrack::tkSine, 150, 0, "USABC2400001", false, "Sine Pair", ""},
        {TCueImageTrack::tkNoise, 225, 0, "", false, "Square", ""},
        {TCueImageTrack::tkSine, 113, 30, "", true, "Noise", ""},
    };
    return image;
}

class DiscCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Saved album entries go to the test's own folder.
        ::setenv("XDG_DATA_HOME", Dir.Path().c_str(), 1);
        Cue = ShellQuote(Image().Write(Dir.Path(), "disc").string());
        Config = " --config " + ShellQuote(Dir.File("kestrune.ini"));
    }
    TTempDir Dir;
    std::string Cue;
    std::string Config;
};

TEST_F(DiscCommand, PrintsTheTableOfContentsAndIds)
{
    const TCliResult r = Cli("disc --device " + Cue, Dir);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    const std::string cue = Dir.File("disc.cue");
    EXPECT_EQ(r.Out,
              cue +
                  ": 3 tracks, lead-out LSN 518, MCN 0123456789012\n"
                  "  1  AUDIO                    0:02:000  LSN 0       USABC2400001                \"Sine Pair\"\n"
                  "  2  AUDIO                    0:03:400  LSN 150                                 \"Square\"\n"
                  "  3  AUDIO                    0:01:506  LSN 405                   pre-emphasis  \"Noise\"\n"
                  "CDDB ID: 0d000603\n"
                  "MusicBrainz ID: " +
                  JsonLines(Cli("disc --json --device " + Cue, Dir).Out)[0]["musicbrainz_id"].get<std::string>() +
                  "\n"
                  "Album 1 (cdtext): Probe Artist / Probe Album\n"
                  "  1. Sine Pair\n  2. Square\n  3. Noise\n");
}

TEST_F(DiscCommand, JsonHasOneObjectPerLine)
{
    const TCliResult r = Cli("disc --json --device " + Cue, Dir);
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::vector<nlohmann::json> lines = JsonLines(r.Out);
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_EQ(lines[0]["event"], "disc");
    EXPECT_EQ(lines[0]["cddb_id"], "0d000603");
    EXPECT_EQ(lines[0]["musicbrainz_id"].get<std::string>().size(), 28U);
    ASSERT_EQ(lines[0]["tracks"].size(), 3U);
    EXPECT_EQ(lines[0]["tracks"][1]["sectors"], 255);
    EXPECT_EQ(lines[0]["tracks"][2]["pre_emphasis"], true);
    EXPECT_EQ(lines[1]["event"], "album");
    EXPECT_EQ(lines[1]["source"], "cdtext");
}

TEST_F(DiscCommand, AlbumEntriesFromACddbServer)
{
    TFakeCddbServer server;
    server.Answer = [](const std::string& Cmd) -> std::pair<int, std::string> {
        if (Cmd.rfind("cddb query", 0) == 0)
            return {200, "210 Found exact matches\r\nrock 0d000603 A / One\r\njazz 0d000603 B / Two\r\n.\r\n"};
        const bool rock = Cmd.find("rock") != std::string::npos;
        return {200, std::string("210 x 0d000603 follows\r\nDTITLE=") + (rock ? "A / One" : "B / Two") +
                         "\r\nDYEAR=1999\r\nTTITLE0=a\r\nTTITLE1=b\r\nTTITLE2=c\r\n.\r\n"};
    };
    const TCliResult r = Cli("disc --json --album-info cddb --email me@example.org --server " +
                                 ShellQuote(server.Url()) + " --device " + Cue + Config,
                             Dir);
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::vector<nlohmann::json> lines = JsonLines(r.Out);
    ASSERT_EQ(lines.size(), 4U);
    EXPECT_EQ(lines[2]["title"], "One");
    EXPECT_EQ(lines[2]["genre"], "rock");
    EXPECT_EQ(lines[3]["title"], "Two");
    EXPECT_EQ(lines[3]["tracks"], nlohmann::json::array({"a", "b", "c"}));
    EXPECT_EQ(server.Seen().at(0)[1].substr(0, 21), "me example.org Kestru");
}

TEST_F(DiscCommand, FailuresAndUsage)
{
    TFakeCddbServer server;
    server.Answer = [](const std::string&) -> std::pair<int, std::string> { return {200, "202 No match found\r\n"}; };
    TTempDir damaged;
    const std::filesystem::path bad = Image().Write(damaged.Path(), "bad");
    std::filesystem::resize_file(damaged.Path() / "bad.bin", 100 * 2352);
    struct TCase {
        std::string Arguments;
        int Status;
        const char* Err; // a part of stderr
    };
    const std::vector<TCase> cases{
        {"disc --device " + ShellQuote(bad.string()), 1, "is shorter than its cue sheet"},
        {"disc --device " + ShellQuote(Dir.File("none.cue")), 1, "cannot be opened"},
        {"disc --album-info cddb --email '' --device " + Cue + Config + " --server " + ShellQuote(server.Url()), 1,
         "e-mail address"},
        {"disc --album-info cddb --email a@b.c --device " + Cue + Config + " --server " + ShellQuote(server.Url()), 0,
         "No album information was found"},
        {"disc --album-info freedb --device " + Cue, 2, "--album-info takes cddb, musicbrainz or none"},
        {"disc " + Cue, 2, "takes no file names"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Arguments);
        const TCliResult r = Cli(c.Arguments, Dir);
        EXPECT_EQ(r.Status, c.Status);
        EXPECT_NE(r.Err.find(c.Err), std::string::npos) << r.Err;
    }
}

} // namespace
