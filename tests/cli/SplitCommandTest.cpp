#include "common/TPartFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <regex>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

using namespace kestrune::test;
namespace fs = std::filesystem;

namespace {

// Two 3-second songs, each followed by 2 seconds of faint noise.
std::vector<std::int16_t> TwoSongs()
{
    std::vector<std::int16_t> out;
    for (int song = 0; song < 2; ++song) {
        const auto loud = Sine16(3 * 22050, 2, 22050, 330 + 110 * song, 10000);
        const auto quiet = Noise16(2 * 22050, 2, 5, 100);
        out.insert(out.end(), loud.begin(), loud.end());
        out.insert(out.end(), quiet.begin(), quiet.end());
    }
    return out;
}

std::string Split(const TTempDir& Dir, const std::string& File, const std::string& More, int* Status)
{
    std::string out;
    *Status = RunCommand(std::string(KESTRUNE_CLI) + " split " + ShellQuote(File) + " --json --album Set --folder " +
                             ShellQuote(Dir.File("rec")) + " --config " + ShellQuote(Dir.File("k.ini")) +
                             " --set Silence/MinLength=1 --set Silence/SilenceLg=1000 " + More + " 2>&1",
                         &out);
    return out;
}

} // namespace

// The same recording in every readable format splits into its two songs;
// the sources are made by the format's own tool (APE by our own writer).
TEST(SplitCommand, SplitsEveryReadableFormat)
{
    TTempDir dir;
    WriteWholeFile(dir.File("set.wav"), PcmWavImage(TwoSongs(), 2, 22050));
    const std::string cli = KESTRUNE_CLI;
    const std::string wav = ShellQuote(dir.File("set.wav"));
    ASSERT_EQ(RunCommand("flac -s -f -o " + ShellQuote(dir.File("set.flac")) + " " + wav), 0);
    ASSERT_EQ(RunCommand("lame --quiet " + wav + " " + ShellQuote(dir.File("set.mp3"))), 0);
    ASSERT_EQ(RunCommand("oggenc -Q -o " + ShellQuote(dir.File("set.ogg")) + " " + wav), 0);
    ASSERT_EQ(RunCommand(cli + " convert " + wav + " " + ShellQuote(dir.File("set.ape")) + " >/dev/null 2>&1"), 0);

    for (const char* extension : {"wav", "flac", "mp3", "ogg", "ape"}) {
        SCOPED_TRACE(extension);
        fs::remove_all(dir.File("rec"));
        int status = 0;
        const std::string out = Split(dir, dir.File(std::string("set.") + extension), "--format WAV", &status);
        ASSERT_EQ(status, 0) << out;
        EXPECT_NE(out.find("\"event\":\"done\",\"tracks\":2"), std::string::npos) << out;
        for (const char* track : {"Track0.WAV", "Track1.WAV"}) {
            const auto frames = static_cast<std::int64_t>(fs::file_size(dir.File("rec/Set/") + track) - 44) / 4;
            // The song and about the silence length after it.
            EXPECT_GT(frames, 3 * 22050) << track;
            EXPECT_LT(frames, 4 * 22050 + 2205) << track;
        }
    }
}

// The level measured from the file's quietest stretch finds the songs; the
// cue sheet places each track where its song begins in the recording; a
// level above the songs finds none; a file of no known type is a usage error.
TEST(SplitCommand, MeasuredLevelCueSheetAndErrors)
{
    TTempDir dir;
    WriteWholeFile(dir.File("set.wav"), PcmWavImage(TwoSongs(), 2, 22050));
    int status = 0;
    std::string out = Split(dir, dir.File("set.wav"), "--measure-level --cue --set Silence/Level16=30000", &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("\"tracks\":2"), std::string::npos) << out;
    const auto cue = ReadWholeFile(dir.File("rec/Set/Set.cue"));
    const std::string sheet(cue.begin(), cue.end());
    EXPECT_NE(sheet.find("FILE \"" + dir.File("set.wav") + "\" WAVE"), std::string::npos) << sheet;
    const std::regex index("INDEX 01 (\\d\\d):(\\d\\d):(\\d\\d)");
    std::vector<double> starts;
    for (std::sregex_iterator it(sheet.begin(), sheet.end(), index), end; it != end; ++it)
        starts.push_back(std::stoi((*it)[1]) * 60 + std::stoi((*it)[2]) + std::stoi((*it)[3]) / 75.0);
    ASSERT_EQ(starts.size(), 2u) << sheet;
    EXPECT_NEAR(starts[0], 0.0, 0.02);
    EXPECT_NEAR(starts[1], 5.0, 0.02);

    fs::remove_all(dir.File("rec"));
    out = Split(dir, dir.File("set.wav"), "--level 20000", &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("\"tracks\":0"), std::string::npos) << out;

    WriteWholeFile(dir.File("set.xyz"), {1, 2, 3});
    Split(dir, dir.File("set.xyz"), "", &status);
    EXPECT_EQ(status, 2);
    Split(dir, dir.File("set.wav"), "--level 10 --measure-level", &status);
    EXPECT_EQ(status, 2);
}

// Ctrl-C, a closed terminal or a kill during a split: the tracks that ended by
// the rules stay, the one cut off leaves no file, and the exit status says
// the split did not finish.
TEST(SplitCommand, AnInterruptedSplitKeepsOnlyFinishedTracksAndFails)
{
    TTempDir dir;
    // A short song, then one long enough to be interrupted while encoded.
    std::vector<std::int16_t> pcm = Sine16(3 * 22050, 2, 22050, 330, 10000);
    const auto quiet = Noise16(2 * 22050, 2, 5, 100);
    const auto longSong = Sine16(300 * 22050, 2, 22050, 440, 10000);
    pcm.insert(pcm.end(), quiet.begin(), quiet.end());
    pcm.insert(pcm.end(), longSong.begin(), longSong.end());
    pcm.insert(pcm.end(), quiet.begin(), quiet.end());
    WriteWholeFile(dir.File("set.wav"), PcmWavImage(pcm, 2, 22050));
    const fs::path album = dir.File("rec/Set");
    const auto names = [&] {
        std::set<std::string> found;
        std::error_code error;
        for (const auto& e : fs::directory_iterator(album, error))
            found.insert(e.path().filename().string());
        return found;
    };
    for (const int signal : {SIGINT, SIGHUP, SIGTERM}) {
        SCOPED_TRACE(signal);
        fs::remove_all(dir.File("rec"));
        const std::vector<std::string> words{
            KESTRUNE_CLI,          "split",    dir.File("set.wav"),     "--album",  "Set", "--folder",
            dir.File("rec"),       "--config", dir.File("k.ini"),       "--format", "MP3", "--set",
            "Silence/MinLength=1", "--set",    "Silence/SilenceLg=1000"};
        const pid_t child = StartQuietly(words);
        ASSERT_GE(child, 0);
        // The first track is finished and the second is being written.
        const bool midway = WaitUntil(
            [&] {
                std::error_code error;
                for (const auto& e : fs::directory_iterator(album, error))
                    if (kestrune::TPartFile::IsPartName(e.path().filename().string()) &&
                        e.path().filename().string().rfind(".Track1.MP3.", 0) == 0 && e.file_size(error) > 100000)
                        return true;
                return false;
            },
            std::chrono::seconds(60));
        ::kill(child, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(midway) << "the split never reached its second track";
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_EQ(names(), std::set<std::string>{"Track0.MP3"});
        // The kept track is the whole first song (128 kbit/s: 16 kB a second).
        const auto bytes = fs::file_size(album / "Track0.MP3");
        EXPECT_GT(bytes, 3U * 16000U);
        EXPECT_LT(bytes, 5U * 16000U);
    }
}

// Six songs of different loudness, apart by 2 seconds of digital silence or
// of a dithered floor (TPDF, one step either side, as a 16-bit file gets from
// any tool that dithers): the measured level hears the gaps as quiet and
// finds every song.
TEST(SplitCommand, MeasuredLevelSplitsAtDigitalSilenceAndADitheredFloor)
{
    for (const bool dithered : {false, true}) {
        SCOPED_TRACE(dithered ? "dithered floor" : "digital silence");
        TTempDir dir;
        std::vector<std::int16_t> mix;
        std::uint32_t x = 12345;
        const auto step = [&x] {
            x = x * 1664525u + 1013904223u;
            return static_cast<int>(x >> 31);
        };
        for (int song = 0; song < 6; ++song) {
            const auto loud = Sine16(3 * 22050, 2, 22050, 220 + 70 * song, 1500 + 2000 * song);
            mix.insert(mix.end(), loud.begin(), loud.end());
            for (int i = 0; i < 2 * 22050 * 2; ++i)
                mix.push_back(static_cast<std::int16_t>(dithered ? step() + step() - 1 : 0));
        }
        WriteWholeFile(dir.File("mix.wav"), PcmWavImage(mix, 2, 22050));
        int status = 0;
        const std::string out = Split(dir, dir.File("mix.wav"), "--measure-level", &status);
        ASSERT_EQ(status, 0) << out;
        EXPECT_NE(out.find("\"tracks\":6"), std::string::npos) << out;
    }
}
