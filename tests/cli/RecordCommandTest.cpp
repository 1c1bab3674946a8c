#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kestrune::test;

namespace {

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

} // namespace

TEST(RecordCommand, RecordsVirtualFileIntoOneFilePerSong)
{
    TTempDir dir;
    WriteWholeFile(dir.File("in.wav"), PcmWavImage(TwoSongs(), 2, 22050));
    std::string out;
    const int status =
        RunCommand(std::string(KESTRUNE_CLI) + " record --json --fast --album Set --format WAV" +
                       " --min-length 1 --silence 1000 --device " + ShellQuote("virtual:" + dir.File("in.wav")) +
                       " --folder " + ShellQuote(dir.File("rec")) + " --config " + ShellQuote(dir.File("k.ini")),
                   &out);
    ASSERT_EQ(status, 0) << out;
    size_t tracks = 0;
    for (size_t at = out.find("\"event\":\"track\""); at != std::string::npos;
         at = out.find("\"event\":\"track\"", at + 1))
        ++tracks;
    EXPECT_EQ(tracks, 2u) << out;
    EXPECT_NE(out.find("\"event\":\"done\",\"tracks\":2"), std::string::npos) << out;
    EXPECT_TRUE(std::filesystem::exists(dir.File("rec/Set/Track0.WAV")));
    EXPECT_TRUE(std::filesystem::exists(dir.File("rec/Set/Track1.WAV")));
}

TEST(RecordCommand, ErrorsAndUsage)
{
    TTempDir dir;
    const std::string cli = KESTRUNE_CLI;
    EXPECT_EQ(RunCommand(cli + " record --fast 2>/dev/null"), 2); // no album
    EXPECT_EQ(RunCommand(cli + " record --album A --format OGG 2>/dev/null"), 2);
    std::string out;
    const int status = RunCommand(
        cli + " record --album A --fast --device " + ShellQuote("virtual:" + dir.File("missing.wav")) + " --folder " +
            ShellQuote(dir.File("rec")) + " --config " + ShellQuote(dir.File("k.ini")) + " 2>&1",
        &out);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("Error "), std::string::npos) << out;
}

TEST(RecordCommand, SetChangesSettingsForThisRunOnly)
{
    TTempDir dir;
    WriteWholeFile(dir.File("in.wav"), PcmWavImage(TwoSongs(), 2, 22050));
    WriteWholeFile(dir.File("k.ini"), {'[', 'S', 'i', 'l', 'e', 'n', 'c', 'e', ']', '\n', 'M', 'i',
                                       'n', 'L', 'e', 'n', 'g', 't', 'h', '=', '1', '0',  '\n'});
    const auto before = ReadWholeFile(dir.File("k.ini"));
    const std::string common = std::string(KESTRUNE_CLI) + " record --json --fast --album Set --device " +
                               ShellQuote("virtual:" + dir.File("in.wav")) + " --folder " +
                               ShellQuote(dir.File("rec")) + " --config " + ShellQuote(dir.File("k.ini"));
    // The file's minimum length of 10 s drops both 3-second songs...
    std::string out;
    ASSERT_EQ(RunCommand(common + " --set Recordings/Format=WAV", &out), 0) << out;
    EXPECT_NE(out.find("\"tracks\":0"), std::string::npos) << out;
    // ...and --set lowers it for one run, leaving the file as it was.
    out.clear();
    ASSERT_EQ(RunCommand(common + " --set Silence/MinLength=1 --set Silence/SilenceLg=1000 --set Recordings/Format=WAV",
                         &out),
              0)
        << out;
    EXPECT_NE(out.find("\"tracks\":2"), std::string::npos) << out;
    EXPECT_EQ(ReadWholeFile(dir.File("k.ini")), before);
    EXPECT_EQ(RunCommand(common + " --set NoKey 2>/dev/null"), 2);
}

// The start line names the album folder as a path, whether or not the
// folder from the settings ends in a separator.
TEST(RecordCommand, StartLineNamesTheAlbumFolder)
{
    TTempDir dir;
    WriteWholeFile(dir.File("in.wav"), PcmWavImage(TwoSongs(), 2, 22050));
    std::string out;
    ASSERT_EQ(RunCommand(std::string(KESTRUNE_CLI) + " record --fast --album Set --min-length 1 --device " +
                             ShellQuote("virtual:" + dir.File("in.wav")) + " --config " +
                             ShellQuote(dir.File("k.ini")) + " --set " +
                             ShellQuote("General/Folder=" + dir.File("rec")) + " 2>&1",
                         &out),
              0)
        << out;
    EXPECT_NE(out.find("into " + dir.File("rec") + "/Set;"), std::string::npos) << out;
}

// The first seconds of the input near silence or clipping: the warning, with
// what to do, once on stderr (stdout keeps the results), and as a JSON event.
TEST(RecordCommand, InputLevelWarningsGoToStderrOnce)
{
    TTempDir dir;
    auto clipped = Sine16(4 * 22050, 2, 22050, 440, 12000);
    for (std::int16_t& s : clipped)
        s = s > 8000 ? 32767 : (s < -8000 ? -32768 : static_cast<std::int16_t>(s * 4));
    const struct {
        const char* Name;
        std::vector<std::int16_t> Capture;
        const char* Warning;
    } cases[] = {
        {"silent", Noise16(4 * 22050, 2, 9, 10), "The input stayed near silence"},
        {"clipped", clipped, "The input is clipping"},
        {"normal", TwoSongs(), nullptr},
    };
    for (const auto& c : cases) {
        const std::string in = dir.File(std::string(c.Name) + ".wav");
        WriteWholeFile(in, PcmWavImage(c.Capture, 2, 22050));
        const std::string command = std::string(KESTRUNE_CLI) + " record --fast --album " + c.Name +
                                    " --format WAV --min-length 1 --silence 1000 --device " +
                                    ShellQuote("virtual:" + in) + " --folder " + ShellQuote(dir.File("rec")) +
                                    " --config " + ShellQuote(dir.File("k.ini"));
        std::string err;
        ASSERT_EQ(RunCommand(command + " 2>&1 >/dev/null", &err), 0) << c.Name << err;
        std::string json;
        ASSERT_EQ(RunCommand(command + " --json 2>/dev/null", &json), 0) << c.Name;
        if (!c.Warning) {
            EXPECT_EQ(err.find("The input"), std::string::npos) << c.Name << err;
            EXPECT_EQ(json.find("\"event\":\"warning\""), std::string::npos) << c.Name << json;
            continue;
        }
        const size_t at = err.find(c.Warning);
        ASSERT_NE(at, std::string::npos) << c.Name << err;
        EXPECT_EQ(err.find("The input", at + 1), std::string::npos) << c.Name << ": once\n" << err;
        EXPECT_NE(err.find("desktop's sound settings", at), std::string::npos) << c.Name << err;
        EXPECT_NE(json.find("\"event\":\"warning\""), std::string::npos) << c.Name << json;
    }
}
