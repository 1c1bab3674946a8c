// kestrune-cli burn, erase and drives over the image drive: a queue burnt
// and read back by the grabber, the refusals before anything is written,
// the JSON lines and the exit statuses.

#include "burn/TBurnFixture.h"
#include "cli/CliJson.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kestrune;
using namespace kestrune::test;
namespace fs = std::filesystem;

namespace {

class BurnCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(Dir.Path() / "out");
        for (int i = 0; i < 3; ++i) {
            Audio.push_back(Noise16((3 + i) * 44100 + 100 * i, 2, 40 + static_cast<std::uint32_t>(i)));
            Files.push_back(WriteWav(Dir.File("song" + std::to_string(i) + ".wav"), Audio.back(), 2, 44100));
        }
    }
    TCliResult Cli(const std::string& Arguments)
    {
        return RunCli(KESTRUNE_CLI, Arguments + " --config " + ShellQuote(Dir.File("kestrune.ini")), Dir);
    }
    std::string Queue() const
    {
        std::string words;
        for (const std::string& f : Files)
            words += " " + ShellQuote(f);
        return words;
    }
    std::string Cue() const { return Dir.File("out/disc.cue"); }

    TTempDir Dir;
    std::vector<std::vector<std::int16_t>> Audio;
    std::vector<std::string> Files;
};

// The queue burnt to an image comes back from the grabber file by file, in
// order, bit for bit, each followed by silence: its last sector's fill (a
// three-second file is filled to four, the shortest a track may be) and the
// gap asked for.
TEST_F(BurnCommand, BurntImageReadsBackFileByFile)
{
    const TCliResult r = Cli("burn" + Queue() + " --device image:" + ShellQuote(Cue()) + " --gap 1 --method sao");
    ASSERT_EQ(r.Status, 0) << r.Err;
    // 4 s (the shortest track) + 4 s + 5 s, each to whole sectors, and two
    // gaps of a second.
    EXPECT_EQ(r.Out, "Wrote 3 tracks (0:16) to " + Cue() + "\n");
    EXPECT_NE(r.Err.find("Disc: CD-R | Blank"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("Writing completed!"), std::string::npos) << r.Err;
    EXPECT_EQ(FilesIn(Dir.Path() / "out"), (std::vector<std::string>{"disc.bin", "disc.cue"}));

    const auto tracks = GrabImage(Cue(), Dir);
    ASSERT_EQ(tracks.size(), 3u);
    for (std::size_t t = 0; t < 3; ++t) {
        const std::vector<std::uint8_t> expected = AsBytes(Audio[t]);
        ASSERT_GE(tracks[t].size(), expected.size()) << t;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), tracks[t].begin())) << "track " << t;
        // A track fills whole sectors and lasts at least four seconds.
        const std::size_t frames = expected.size() / 4;
        const std::size_t sectors = std::max<std::size_t>(300, (frames + 587) / 588);
        EXPECT_EQ(tracks[t].size(), sectors * 2352 + (t < 2 ? 75 * 2352 : 0)) << "track " << t;
        EXPECT_TRUE(std::all_of(tracks[t].begin() + static_cast<std::ptrdiff_t>(expected.size()), tracks[t].end(),
                                [](std::uint8_t b) { return b == 0; }))
            << "track " << t;
    }
}

// Refused before anything is written: a queue longer than the disc (with the
// burn window's text), a file that cannot be read (named), a disc the image
// drive cannot erase, an audio job on libburn's pseudo-drive (the file it
// writes keeps what it held); wrong usage exits with 2.
TEST_F(BurnCommand, RefusalsWriteNothing)
{
    struct TCase {
        std::string Arguments;
        int Status;
        std::string Message;
    };
    WriteWholeFile(Dir.File("notes.wav"), {'n', 'o', 't', 'e', 's'});
    const std::vector<std::uint8_t> held{'k', 'e', 'e', 'p'};
    WriteWholeFile(Dir.File("pseudo"), held);
    fs::copy_file(Files[0], Dir.File("song.txt"));
    const std::vector<TCase> cases{
        {"burn" + Queue() + " --device image:" + ShellQuote(Cue()) + " --capacity 0.2", 1,
         "The disk capacity is smaller then needed! \nPlease delete some files or insert a bigger disk."},
        {"burn" + Queue() + " " + ShellQuote(Dir.File("gone.wav")) + " --device image:" + ShellQuote(Cue()), 1,
         Dir.File("gone.wav") + ":"},
        {"burn" + Queue() + " " + ShellQuote(Dir.File("notes.wav")) + " --device image:" + ShellQuote(Cue()), 1,
         Dir.File("notes.wav") + ":"},
        {"burn " + ShellQuote(Dir.File("song.txt")) + " --device image:" + ShellQuote(Cue()), 1,
         Dir.File("song.txt") + ":"},
        {"erase --device image:" + ShellQuote(Cue()), 1,
         "Disc is not erasable by this control! Please insert a CD-RW disc"},
        {"burn" + Queue() + " --device /dev/nothing-here", 1, "no CD writer \"/dev/nothing-here\""},
        // libburn's pseudo-drive over a file takes a queue, then refuses the
        // audio job with its own reason; it cannot be erased.
        {"burn" + Queue() + " --device stdio:" + ShellQuote(Dir.File("pseudo")), 1,
         "Error: -102. The drive refuses this job: audio track prohibited by non-CD."},
        {"burn" + Queue() + " --device stdio:" + ShellQuote(Dir.File("pseudo")) + " --method tao", 1,
         "Error: -102. The drive refuses this job: audio track prohibited by non-CD."},
        {"erase --device stdio:" + ShellQuote(Dir.File("pseudo")), 1,
         "Disc is not erasable by this control! Please insert a CD-RW disc"},
        {"burn --device image:" + ShellQuote(Cue()), 2, "burn needs at least one audio file"},
        {"burn" + Queue() + " --method fast", 2, "unknown write method \"fast\""},
    };
    for (const TCase& c : cases) {
        const TCliResult r = Cli(c.Arguments);
        EXPECT_EQ(r.Status, c.Status) << c.Arguments << "\n" << r.Err;
        EXPECT_NE(r.Err.find(c.Message), std::string::npos) << c.Arguments << "\n" << r.Err;
        EXPECT_EQ(r.Out, "") << c.Arguments;
        EXPECT_TRUE(FilesIn(Dir.Path() / "out").empty()) << c.Arguments;
        EXPECT_EQ(ReadWholeFile(Dir.File("pseudo")), held) << c.Arguments;
    }
}

// --json: the queue with the disc's figures, progress, and the result with
// the image's name, one object a line; drives lists the image drive.
TEST_F(BurnCommand, JsonLinesAndTheDriveList)
{
    const TCliResult r =
        Cli("burn" + Queue() + " --device image:" + ShellQuote(Cue()) + " --capacity 1 --json --gap 0");
    ASSERT_EQ(r.Status, 0) << r.Err;
    const auto lines = JsonLines(r.Out);
    ASSERT_GE(lines.size(), 2u) << r.Out;
    EXPECT_EQ(lines.front()["event"], "queue");
    EXPECT_EQ(lines.front()["capacity_seconds"], 60);
    EXPECT_EQ(lines.front()["queued_seconds"], 14);
    ASSERT_EQ(lines.front()["tracks"].size(), 3u);
    EXPECT_EQ(lines.front()["tracks"][1]["file"], Files[1]);
    EXPECT_EQ(lines.front()["tracks"][1]["duration"], "00:05");
    EXPECT_EQ(lines.back()["event"], "done");
    EXPECT_EQ(lines.back()["image"], Cue());
    EXPECT_EQ(lines.back()["tracks"], 3);
    int progress = 0;
    for (const auto& line : lines)
        progress += line["event"] == "progress" ? 1 : 0;
    EXPECT_GT(progress, 0);

    const TCliResult d = Cli("drives --device image:" + ShellQuote(Dir.File("other.cue")));
    ASSERT_EQ(d.Status, 0) << d.Err;
    EXPECT_NE(d.Out.find(": Image " + Dir.File("other.cue") +
                         " \n   speeds: 1x\n   disc: CD-R | Blank\n"
                         "   Used space: 0:00 | To be written: 0:00 | Disc capacity: 80:00\n"),
              std::string::npos)
        << d.Out;
}

} // namespace
