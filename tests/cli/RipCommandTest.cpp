// kestrune-cli rip: BIN/CUE images ripped to files whose audio is the
// image's, the track list, album information, damaged images, the
// verdicts of a loopback AccurateRip database, JSON lines and the terminal.

#include "cd/TAccurateRipChecksum.h"
#include "cd/TAccurateRipDisc.h"
#include "cd/TAccurateRipResponse.h"
#include "cd/TCdioDrive.h"
#include "cd/TCueImage.h"
#include "cd/TFakeCddbServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/stat.h>

using namespace kestrune;
using namespace kestrune::test;
namespace fs = std::filesystem;

namespace {

TCliResult Cli(const std::string& Arguments, const TTempDir& Dir)
{
    return RunCli(KESTRUNE_CLI, Arguments, Dir);
}

// Three audio tracks (a pregap before the third, which is pre-emphasised),
// then a data track; CD-TEXT names them.
TCueImage Image()
{
    TCueImage image;
    image.Title = "Probe Album";
    image.Performer = "Probe Artist";
    image.Tracks = {
        {TCueImageTrack::tkSine, 150, 0, "USABC2400001", false, "Sine Pair", ""},
        {TCueImageTrack::tkNoise, 225, 0, "", false, "Noise", ""},
        {TCueImageTrack::tkSine, 113, 30, "", true, "Late", ""},
        {TCueImageTrack::tkData, 40, 0, "", false, "", ""},
    };
    return image;
}

// The audio of a track as the image holds it: from its INDEX 01 to the next
// track's (a pregap belongs to the track before it).
std::vector<std::uint8_t> TrackAudio(const TCueImage& Image, std::size_t Track)
{
    const std::vector<std::uint8_t> bin = Image.Bin();
    const std::vector<int> starts = Image.Starts();
    const int end = Track + 1 < starts.size() ? starts[Track + 1] : Image.TotalSectors();
    return {bin.begin() + std::ptrdiff_t(starts[Track]) * 2352, bin.begin() + std::ptrdiff_t(end) * 2352};
}

// The bytes of a WAV file's data chunk (a tag list may follow it).
std::vector<std::uint8_t> WavData(const std::string& File)
{
    const std::vector<std::uint8_t> bytes = ReadWholeFile(File);
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        std::uint32_t size = 0;
        std::memcpy(&size, bytes.data() + at + 4, 4);
        if (std::memcmp(bytes.data() + at, "data", 4) == 0 && at + 8 + size <= bytes.size())
            return {bytes.begin() + std::ptrdiff_t(at) + 8, bytes.begin() + std::ptrdiff_t(at + 8 + size)};
        at += 8 + size + (size & 1);
    }
    ADD_FAILURE() << File << " has no data chunk";
    return {};
}

std::vector<std::string> Names(const fs::path& Folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<nlohmann::json> JsonLines(const std::string& Text)
{
    std::vector<nlohmann::json> lines;
    std::istringstream in(Text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line, nullptr, false));
    return lines;
}

class RipCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Saved album entries go to the test's own folder.
        ::setenv("XDG_DATA_HOME", Dir.Path().c_str(), 1);
        Cue = Disc.Write(Dir.Path(), "disc");
        Common = " --device " + ShellQuote(Cue.string()) + " --config " + ShellQuote(Dir.File("kestrune.ini"));
    }
    std::string OutDir(const std::string& Name) const { return " --out-dir " + ShellQuote(Dir.File(Name)); }

    TTempDir Dir;
    TCueImage Disc = Image();
    fs::path Cue;
    std::string Common;
};

// Without album information asked for, the disc's CD-TEXT names the folder,
// the files and their titles, as the disc command shows them.
TEST_F(RipCommand, RipsTheAudioTracksBitExactAndOnlyThoseAsked)
{
    const TCliResult all = Cli("rip --no-verify" + Common + OutDir("all"), Dir);
    ASSERT_EQ(all.Status, 0) << all.Err;
    EXPECT_EQ(Names(Dir.File("all")), std::vector<std::string>{"Probe Album"});
    const std::string folder = Dir.File("all/Probe Album");
    const std::vector<std::string> names{"Sine Pair.wav", "Noise.wav", "Late.wav"};
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"Late.wav", "Noise.wav", "Sine Pair.wav", "rip.log"}));
    for (std::size_t t = 0; t < 3; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(WavData(folder + "/" + names[t]), TrackAudio(Disc, t));
    }
    // The title and artist tags are the CD-TEXT's too.
    const std::vector<std::uint8_t> first = ReadWholeFile(folder + "/Sine Pair.wav");
    for (const std::string text : {"Sine Pair", "Probe Artist", "Probe Album"})
        EXPECT_NE(std::search(first.begin(), first.end(), text.begin(), text.end()), first.end()) << text;
    // The files are the user's like any other they save: readable by others
    // unless the umask says otherwise.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(fs::status(folder + "/Sine Pair.wav").permissions(), fs::perms(0666 & ~mask));
    // One line per track: its number and file, no verdict when not verified.
    EXPECT_EQ(all.Out, "Track 1: " + folder + "/Sine Pair.wav\nTrack 2: " + folder + "/Noise.wav\nTrack 3: " + folder +
                           "/Late.wav\n");

    // Without verification and log no sums are taken, and none are told.
    const TCliResult some = Cli("rip --json --no-verify --no-log --tracks 3,1" + Common + OutDir("some"), Dir);
    ASSERT_EQ(some.Status, 0) << some.Err;
    EXPECT_EQ(Names(Dir.File("some/Probe Album")), (std::vector<std::string>{"Late.wav", "Sine Pair.wav"}));
    EXPECT_EQ(WavData(Dir.File("some/Probe Album/Late.wav")), TrackAudio(Disc, 2));
    int tracks = 0;
    for (const nlohmann::json& line : JsonLines(some.Out))
        if (line["event"] == "track") {
            ++tracks;
            EXPECT_FALSE(line.contains("crc32")) << line;
        }
    EXPECT_EQ(tracks, 2);
}

TEST_F(RipCommand, TrackListsAndFormatsThatCannotBeRippedAreRefused)
{
    struct TCase {
        const char* Options;
        int Status;
        const char* Says;
    };
    const TCase cases[] = {
        {"--tracks 5", 2, "the disc has no track 5"},
        {"--tracks 3-1", 2, "runs backwards"},
        {"--tracks 1,,2", 2, "--tracks takes track numbers"},
        {"--tracks x", 2, "--tracks takes track numbers"},
        {"--format aiff", 2, "--format takes wav, mp3, flac, ogg or ape"},
        {"--wav-type dvi-adpcm", 2, "--wav-type"},
        {"--tracks 2-4", 1, "Track 4 is a data track"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Options);
        const TCliResult r = Cli(std::string("rip --no-verify ") + c.Options + Common + OutDir("out"), Dir);
        EXPECT_EQ(r.Status, c.Status);
        EXPECT_NE(r.Err.find(c.Says), std::string::npos) << r.Err;
        EXPECT_FALSE(fs::exists(Dir.File("out")));
    }
}

// Each damaged image is refused with what is wrong with it, and nothing is
// written: not even the output folder.
TEST_F(RipCommand, DamagedImagesSayWhatIsWrongAndWriteNothing)
{
    const std::string bin = "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    struct TCase {
        const char* Name;
        std::string Cue;
        int BinBytes;
        const char* Says;
    };
    const TCase cases[] = {
        {"nofile", bin, 2352 * 10, "names no data file"},
        {"short", "FILE \"short.bin\" BINARY\n" + bin + "  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n", 2352 * 10,
         "is shorter than its cue sheet"},
        {"several", "FILE \"several.bin\" BINARY\n" + bin + "FILE \"other.bin\" BINARY\n  TRACK 02 AUDIO\n", 2352 * 10,
         "names 2 data files"},
        {"dataonly", "FILE \"dataonly.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n", 2352 * 200,
         "The disc has no audio tracks."},
        {"missing", "", -1, "cannot be opened"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string cue = Dir.File(std::string(c.Name) + ".cue");
        if (c.BinBytes >= 0) {
            std::ofstream(cue) << c.Cue;
            WriteWholeFile(Dir.File(std::string(c.Name) + ".bin"), std::vector<std::uint8_t>(std::size_t(c.BinBytes)));
        }
        const TCliResult r = Cli("rip --no-verify --device " + ShellQuote(cue) + " --config " +
                                     ShellQuote(Dir.File("kestrune.ini")) + OutDir("out"),
                                 Dir);
        EXPECT_EQ(r.Status, 1);
        EXPECT_NE(r.Err.find(c.Says), std::string::npos) << r.Err;
        EXPECT_EQ(r.Out, "");
        EXPECT_FALSE(fs::exists(Dir.File("out")));
    }
}

// Names come from the album information: a server that knows nothing
// leaves the disc's CD-TEXT, and the album given on the command line names
// the folder, cleaned so that it stays inside the output folder.
TEST_F(RipCommand, AlbumInformationNamesTheFolderAndFiles)
{
    TFakeCddbServer server;
    server.Answer = [](const std::string&) { return std::make_pair(200, std::string("202 No match found\r\n")); };
    const TCliResult r = Cli("rip --no-verify --no-log --album-info cddb --email rip@example.org --server " +
                                 ShellQuote(server.Url()) + " --album " + ShellQuote("../Up") + Common + OutDir("out"),
                             Dir);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_FALSE(server.Seen().empty());
    EXPECT_EQ(Names(Dir.File("out")), (std::vector<std::string>{"..-Up"}));
    EXPECT_EQ(Names(Dir.File("out/..-Up")), (std::vector<std::string>{"Late.wav", "Noise.wav", "Sine Pair.wav"}));
    EXPECT_EQ(WavData(Dir.File("out/..-Up/Noise.wav")), TrackAudio(Disc, 1));
}

// A cue sheet written in UTF-8 (as most programs write them now): its
// CD-TEXT shows its letters in the disc command, the files' names and their
// tags, never as "JÃ³ga".
TEST_F(RipCommand, Utf8CueSheetShowsItsLettersInDiscNamesAndTags)
{
    KESTRUNE_REQUIRE_TOOL("metaflac");
    TCueImage image = Image();
    image.Performer = "Bj\xC3\xB6rk";
    image.Title = "Homogenic";
    image.Tracks[0].Title = "J\xC3\xB3ga";
    image.Tracks[1].Title = "\xE6\x98\x9F\xE3\x81\xAE\xE6\xB5\x81\xE3\x82\x8C";
    image.Tracks.resize(2);
    const fs::path cue = image.Write(Dir.Path(), "utf8");
    const std::string device =
        " --device " + ShellQuote(cue.string()) + " --config " + ShellQuote(Dir.File("kestrune.ini"));

    const TCliResult disc = Cli("disc" + device, Dir);
    ASSERT_EQ(disc.Status, 0) << disc.Err;
    EXPECT_NE(disc.Out.find("(cdtext): Bj\xC3\xB6rk / Homogenic\n  1. J\xC3\xB3ga\n  2. \xE6\x98\x9F"),
              std::string::npos)
        << disc.Out;

    TFakeCddbServer server;
    server.Answer = [](const std::string&) { return std::make_pair(200, std::string("202 No match found\r\n")); };
    const TCliResult r = Cli("rip --no-verify --no-log --format flac --album-info cddb --email rip@example.org "
                             "--server " +
                                 ShellQuote(server.Url()) + device + OutDir("out"),
                             Dir);
    ASSERT_EQ(r.Status, 0) << r.Err;
    std::vector<std::string> files;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(Dir.File("out")))
        if (e.is_regular_file())
            files.push_back(e.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files,
              (std::vector<std::string>{"J\xC3\xB3ga.flac", "\xE6\x98\x9F\xE3\x81\xAE\xE6\xB5\x81\xE3\x82\x8C.flac"}));
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(Dir.File("out"))) {
        if (e.path().filename() != "J\xC3\xB3ga.flac")
            continue;
        std::string tags;
        ASSERT_EQ(RunCommand("metaflac --export-tags-to=- " + ShellQuote(e.path().string()), &tags), 0);
        EXPECT_NE(tags.find("TITLE=J\xC3\xB3ga\n"), std::string::npos) << tags;
        EXPECT_NE(tags.find("ARTIST=Bj\xC3\xB6rk\n"), std::string::npos) << tags;
    }
}

// --json: one object per line, a "track" for each track with its file and
// checksums, then the summary; here to FLAC, which decodes to the image's
// audio.
TEST_F(RipCommand, JsonLinesTellEachTrackAndTheSummary)
{
    const TCliResult r = Cli("rip --json --no-verify --format flac --tracks 1-2" + Common + OutDir("out"), Dir);
    ASSERT_EQ(r.Status, 0) << r.Err;
    std::vector<nlohmann::json> tracks;
    nlohmann::json summary;
    for (const nlohmann::json& line : JsonLines(r.Out)) {
        ASSERT_FALSE(line.is_discarded()) << r.Out;
        if (line["event"] == "track")
            tracks.push_back(line);
        else if (line["event"] == "summary")
            summary = line;
        else
            EXPECT_EQ(line["event"], "progress") << line;
    }
    ASSERT_EQ(tracks.size(), 2U);
    for (std::size_t t = 0; t < 2; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(tracks[t]["number"], t + 1);
        EXPECT_EQ(tracks[t]["verdict"], "not_checked");
        const std::string file = tracks[t]["file"];
        EXPECT_EQ(fs::path(file).extension(), ".flac");
        const std::vector<std::uint8_t> audio = TrackAudio(Disc, t);
        TAccurateRipChecksum sums(std::int64_t(audio.size()) / 4, t == 0, false);
        sums.Add(audio.data(), audio.size());
        char crc[16];
        std::snprintf(crc, sizeof crc, "%08x", sums.Crc32());
        EXPECT_EQ(tracks[t]["crc32"], crc);
        const std::string back = Dir.File("back" + std::to_string(t) + ".wav");
        ASSERT_EQ(Cli("convert --quiet " + ShellQuote(file) + " " + ShellQuote(back), Dir).Status, 0);
        EXPECT_EQ(WavData(back), audio);
    }
    EXPECT_EQ(summary, (nlohmann::json{{"event", "summary"}, {"tracks", 2}, {"ripped", 2}, {"failed", 0},
                                       {"outcome", "succeeded"}}));
}

// The AccurateRip database on loopback, serving one answer for every disc.
class TFakeDatabase {
public:
    explicit TFakeDatabase(std::string Body)
    {
        Server.Get(R"(/accuraterip/(.+))", [Body](const httplib::Request&, httplib::Response& Res) {
            Res.set_content(Body, "application/octet-stream");
        });
        Port = Server.bind_to_any_port("127.0.0.1");
        Thread = std::thread([this] { Server.listen_after_bind(); });
        if (!WaitUntil([this] { return Server.is_running(); }, std::chrono::seconds(10)))
            throw std::runtime_error("the fake AccurateRip database did not start");
    }
    ~TFakeDatabase()
    {
        Server.stop();
        Thread.join();
    }
    TFakeDatabase(const TFakeDatabase&) = delete;
    TFakeDatabase& operator=(const TFakeDatabase&) = delete;
    std::string Root() const { return "http://127.0.0.1:" + std::to_string(Port) + "/accuraterip"; }

private:
    httplib::Server Server;
    int Port = 0;
    std::thread Thread;
};

TEST_F(RipCommand, EachTrackIsPrintedWithItsVerdict)
{
    const std::vector<std::uint8_t> first = TrackAudio(Disc, 0);
    TAccurateRipChecksum sums(std::int64_t(first.size()) / 4, true, false);
    sums.Add(first.data(), first.size());
    // Track 1 as others ripped it, track 2 otherwise, track 3 by nobody.
    const TAccurateRipDisc disc = TAccurateRipDisc::FromToc(TCdioDrive(Cue.string()).Toc());
    TFakeDatabase database(TAccurateRipResponse::Format(disc, {{{4, sums.V1(), 0}, {2, 0xBAD, 0}, {0, 0, 0}}}));
    const TCliResult r = Cli("rip --ar-server " + ShellQuote(database.Root()) + Common + OutDir("out"), Dir);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("Track 1: " + Dir.File("out/Probe Album/Sine Pair.wav") +
                         ", accurately ripped (confidence 4, AccurateRip v1)\n"),
              std::string::npos)
        << r.Out;
    EXPECT_NE(r.Out.find("Track 2: " + Dir.File("out/Probe Album/Noise.wav") + ", mismatched"), std::string::npos)
        << r.Out;
    EXPECT_NE(r.Out.find("Track 3: " + Dir.File("out/Probe Album/Late.wav") + ", not in the AccurateRip database\n"),
              std::string::npos)
        << r.Out;
}

// On a terminal the run is one line redrawn in place; only the tracks take
// lines of their own.
TEST_F(RipCommand, DrawsOneProgressLineOnATerminal)
{
    KESTRUNE_REQUIRE_TOOL("script");
    const std::string command = std::string(KESTRUNE_CLI) + " rip --no-verify" + Common + OutDir("out");
    std::string screen;
    ASSERT_EQ(RunCommand("script -qec " + ShellQuote(command) + " /dev/null", &screen), 0);
    EXPECT_NE(screen.find("\rRipping track 2 (2 of 3): "), std::string::npos) << screen;
    EXPECT_EQ(std::count(screen.begin(), screen.end(), '\n'), 3) << screen;
}

} // namespace
