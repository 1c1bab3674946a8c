#include "cli/TCliOutput.h"
#include "common/TPartFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace kestrune::test;

namespace {

using TResult = TCliResult;

TResult Cli(const std::string& Arguments, const TTempDir& Dir)
{
    return RunCli(KESTRUNE_CLI, Arguments, Dir);
}

// Signal to noise ratio in dB of Got against Want.
double Snr(const std::vector<std::int16_t>& Want, const std::vector<std::int16_t>& Got)
{
    double signal = 0, noise = 0;
    for (size_t i = 0; i < Want.size(); ++i) {
        signal += double(Want[i]) * Want[i];
        const double d = double(Want[i]) - Got[i];
        noise += d * d;
    }
    return 10 * std::log10(signal / std::max(noise, 1.0));
}

} // namespace

TEST(Cli, UsageErrorsExitWithTwo)
{
    TTempDir dir;
    WriteWholeFile(dir.File("a.wav"), PcmWavImage(Sine16(100, 2, 44100, 440, 1000), 2, 44100));
    const std::string a = ShellQuote(dir.File("a.wav"));
    struct TCase {
        std::string Args;
        std::string Says;
    };
    const TCase cases[] = {
        {"", "Usage: kestrune-cli COMMAND"},
        {"frobnicate", "unknown command"},
        {"convert " + a, "needs an input and an output"},
        {"convert " + a + " b.wav --wav-type mp3", "--wav-type must be pcm or dvi-adpcm"},
        {"convert " + a + " b.wav --block-size 510", "Cannot encode ADPCM in blocks of 510 bytes."},
        {"convert " + a + " b.wav --block-size 4100", "Cannot encode ADPCM in blocks of 4100 bytes."},
        {"convert " + a + " b.wav --block-size", "needs a value"},
        {"convert " + a + " b.wav --loud", "unknown option --loud"},
        {"convert " + a + " b.xyz", "unknown output format"},
        {"convert " + a + " b", "use --format"},
        {"convert " + a + " " + a + " " + a, "converting several files needs --to FORMAT"},
        {"convert " + a + " --to xyz", "unknown output format \"xyz\""},
        {"convert " + a + " --to flac --jobs many", "--jobs needs a whole number"},
        {"convert " + a + " --to flac --format mp3", "--to and --format name different formats"},
        {"convert " + a + " --to wav --block-size 510", "Cannot encode ADPCM in blocks of 510 bytes."},
    };
    for (const TCase& c : cases) {
        const TResult r = Cli(c.Args, dir);
        EXPECT_EQ(r.Status, 2) << c.Args;
        EXPECT_NE(r.Err.find(c.Says), std::string::npos) << c.Args << " said: " << r.Err;
    }
    const TResult version = Cli("--version", dir);
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out, std::string("kestrune-cli ") + KESTRUNE_PROJECT_VERSION + "\n");
    const TResult help = Cli("convert --help", dir);
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("Usage: kestrune-cli convert"), std::string::npos);
}

TEST(Cli, FailedJobsExitWithOneAndSayWhy)
{
    TTempDir dir;
    const auto input = PcmWavImage(Sine16(44100, 2, 44100, 440, 8000), 2, 44100);
    WriteWholeFile(dir.File("in.wav"), input);
    WriteWholeFile(dir.File("text.wav"), {'h', 'e', 'l', 'l', 'o', '\n'});
    const std::string in = ShellQuote(dir.File("in.wav"));
    // A disk that is full from the first byte.
    std::filesystem::create_symlink("/dev/full", dir.File("full.wav"));
    struct TCase {
        std::string Args;
        std::string Says;
    };
    const TCase cases[] = {
        {"convert " + ShellQuote(dir.File("missing.wav")) + " " + ShellQuote(dir.File("o1.wav")), "Input file missing"},
        {"convert " + ShellQuote(dir.File("text.wav")) + " " + ShellQuote(dir.File("o2.wav")), "Cannot read"},
        {"convert " + in + " " + ShellQuote(dir.File("no/such/dir/o3.wav")), "Cannot create file"},
        {"convert " + in + " " + ShellQuote(dir.File("full.wav")), "No space left on device"},
        {"convert " + in + " " + ShellQuote(dir.Path().string() + "/./in.wav"),
         "The output file must be different from the input file!"},
    };
    for (const TCase& c : cases) {
        const TResult r = Cli(c.Args, dir);
        EXPECT_EQ(r.Status, 1) << c.Args;
        EXPECT_NE(r.Err.find(c.Says), std::string::npos) << c.Args << " said: " << r.Err;
    }
    // Nothing half-written stays behind, and the input is never touched.
    EXPECT_FALSE(std::filesystem::exists(dir.File("o1.wav")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("o2.wav")));
    EXPECT_EQ(ReadWholeFile(dir.File("in.wav")), input);
}

// Lost audio is never a success: a WAV whose header promises more than the
// file holds, an MP3 cut short of the length its Info frame gives, and a WAV
// with a header and no audio all fail with the reason, whatever the output.
TEST(Cli, CutAndEmptySourcesFailWithTheReason)
{
    TTempDir dir;
    auto wav = PcmWavImage(Sine16(44100 * 2, 2, 44100, 440, 8000), 2, 44100);
    WriteWholeFile(dir.File("whole.wav"), wav);
    ASSERT_EQ(Cli("convert " + ShellQuote(dir.File("whole.wav")) + " " + ShellQuote(dir.File("whole.mp3")), dir).Status,
              0);
    auto mp3 = ReadWholeFile(dir.File("whole.mp3"));
    mp3.resize(mp3.size() / 2 + 101);
    WriteWholeFile(dir.File("cut.mp3"), mp3);
    wav.resize(wav.size() / 2 + 2);
    WriteWholeFile(dir.File("cut.wav"), wav);
    wav.resize(44);
    std::fill(wav.begin() + 40, wav.end(), 0); // size 0: read to the end, which it is
    WriteWholeFile(dir.File("empty.wav"), wav);
    struct TCase {
        std::string In, Out, Says;
    };
    const TCase cases[] = {
        {"cut.wav", "a.flac", "the file ends inside its audio: 1.00 s of the 2.00 s its header announces read"},
        {"cut.wav", "b.mp3", "the file ends inside its audio: 1.00 s of the 2.00 s"},
        {"cut.mp3", "c.wav", "the file ends inside its audio, or is damaged: 0.9"},
        {"empty.wav", "d.ogg", "Cannot read \"" + dir.File("empty.wav") + "\": it holds no audio."},
    };
    for (const TCase& c : cases) {
        const TResult r = Cli("convert " + ShellQuote(dir.File(c.In)) + " " + ShellQuote(dir.File(c.Out)), dir);
        EXPECT_EQ(r.Status, 1) << c.In;
        EXPECT_NE(r.Err.find(c.Says), std::string::npos) << c.In << " said: " << r.Err;
        EXPECT_FALSE(std::filesystem::exists(dir.File(c.Out))) << c.Out;
    }
}

// Every command that writes files takes its folder as --folder or --out-dir.
TEST(Cli, FolderAndOutDirAreOneOption)
{
    TTempDir dir;
    WriteWholeFile(dir.File("in.wav"), PcmWavImage(Sine16(4410, 2, 44100, 440, 8000), 2, 44100));
    TResult r =
        Cli("convert " + ShellQuote(dir.File("in.wav")) + " --to flac --folder " + ShellQuote(dir.File("out")), dir);
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(std::filesystem::exists(dir.File("out/in.flac")));
    r = Cli("split " + ShellQuote(dir.File("in.wav")) + " --level 100 --album A --set Silence/MinLength=0 --config " +
                ShellQuote(dir.File("k.ini")) + " --out-dir " + ShellQuote(dir.File("split")),
            dir);
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(std::filesystem::exists(dir.File("split/A"))) << r.Err;
}

TEST(Cli, ConvertsPcmToAdpcmAndBack)
{
    TTempDir dir;
    const auto samples = Sine16(3 * 44100, 2, 44100, 440, 12000);
    WriteWholeFile(dir.File("in.wav"), PcmWavImage(samples, 2, 44100));

    const TResult toAdpcm = Cli("convert --json " + ShellQuote(dir.File("in.wav")) + " " +
                                    ShellQuote(dir.File("ima.wav")) + " --wav-type dvi-adpcm --block-size 1024",
                                dir);
    ASSERT_EQ(toAdpcm.Status, 0) << toAdpcm.Err;
    EXPECT_NE(toAdpcm.Out.find("\"event\":\"done\""), std::string::npos) << toAdpcm.Out;
    EXPECT_TRUE(toAdpcm.Err.empty()) << toAdpcm.Err; // no progress drawn off a terminal

    const TResult back =
        Cli("convert " + ShellQuote(dir.File("ima.wav")) + " " + ShellQuote(dir.File("back.wav")), dir);
    ASSERT_EQ(back.Status, 0) << back.Err;
    EXPECT_NE(back.Out.find("back.wav: "), std::string::npos) << back.Out;

    const auto decoded = ReadWholeFile(dir.File("back.wav"));
    ASSERT_GT(decoded.size(), 44u);
    auto got = AsSamples16(std::vector<std::uint8_t>(decoded.begin() + 44, decoded.end()));
    // The last ADPCM block is padded with silence; the audio before it is kept.
    ASSERT_GE(got.size(), samples.size());
    got.resize(samples.size());
    EXPECT_GT(Snr(samples, got), 30.0);

    const TResult copy =
        Cli("convert --quiet " + ShellQuote(dir.File("in.wav")) + " " + ShellQuote(dir.File("copy.wav")), dir);
    ASSERT_EQ(copy.Status, 0) << copy.Err;
    EXPECT_TRUE(copy.Out.empty());
    EXPECT_EQ(ReadWholeFile(dir.File("copy.wav")), ReadWholeFile(dir.File("in.wav")));
}

// A file of the user's under the output name is replaced only with
// --overwrite, by the single conversion and the batch alike.
TEST(Cli, ConvertReplacesAnExistingOutputOnlyWithOverwrite)
{
    TTempDir dir;
    const auto image = PcmWavImage(Sine16(8000, 2, 22050, 440, 9000), 2, 22050);
    WriteWholeFile(dir.File("in.wav"), image);
    std::filesystem::create_directory(dir.File("out"));
    const std::vector<std::uint8_t> mine{'m', 'i', 'n', 'e'};
    struct TCase {
        std::string Arguments, Output;
    };
    const TCase cases[] = {
        {ShellQuote(dir.File("in.wav")) + " " + ShellQuote(dir.File("out/in.wav")), dir.File("out/in.wav")},
        {ShellQuote(dir.File("in.wav")) + " --to wav --out-dir " + ShellQuote(dir.File("out")), dir.File("out/in.wav")},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Arguments);
        WriteWholeFile(c.Output, mine);
        const TResult refused = Cli("convert " + c.Arguments, dir);
        EXPECT_EQ(refused.Status, 1);
        EXPECT_NE(refused.Err.find("exists already"), std::string::npos) << refused.Err;
        EXPECT_EQ(ReadWholeFile(c.Output), mine);
        const TResult replaced = Cli("convert --overwrite " + c.Arguments, dir);
        EXPECT_EQ(replaced.Status, 0) << replaced.Err;
        EXPECT_EQ(ReadWholeFile(c.Output), image);
        EXPECT_EQ(
            std::distance(std::filesystem::directory_iterator(dir.File("out")), std::filesystem::directory_iterator()),
            1);
    }
    const TResult single =
        Cli("convert " + ShellQuote(dir.File("in.wav")) + " " + ShellQuote(dir.File("out/in.wav")), dir);
    EXPECT_NE(single.Err.find("--overwrite replaces it"), std::string::npos) << single.Err;
}

// kill -9 half-way through a conversion: nothing under the output name, only
// a temporary that says what it is, and the next conversion in that folder
// clears it.
TEST(Cli, AKilledConversionLeavesOnlyATemporaryTheNextRunClears)
{
    TTempDir dir;
    WriteWholeFile(dir.File("long.wav"), PcmWavImage(Noise16(44100 * 240, 2, 9), 2, 44100));
    std::filesystem::create_directory(dir.File("out"));
    const auto folder = [&] {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.File("out")))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::string input = dir.File("long.wav");
    const std::string output = dir.File("out/long.flac");
    const pid_t child = StartQuietly({KESTRUNE_CLI, "convert", input, output});
    ASSERT_GE(child, 0);
    // Killed once it has written a good part of the result.
    const bool writing = WaitUntil(
        [&] {
            for (const auto& e : std::filesystem::directory_iterator(dir.File("out"))) {
                std::error_code error;
                if (kestrune::TPartFile::IsPartName(e.path().filename().string()) && e.file_size(error) > 4'000'000)
                    return true;
            }
            return false;
        },
        std::chrono::seconds(60));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(writing) << "the conversion never wrote its temporary";
    ASSERT_TRUE(WIFSIGNALED(status)) << "the conversion ended before it was killed";
    const std::vector<std::string> left = folder();
    ASSERT_EQ(left.size(), 1U);
    EXPECT_TRUE(kestrune::TPartFile::IsPartName(left.front())) << left.front();
    EXPECT_EQ(left.front().rfind(".long.flac.", 0), 0U) << left.front();

    // The next run in that folder, of another file, clears it.
    WriteWholeFile(dir.File("short.wav"), PcmWavImage(Sine16(4410, 2, 44100, 440, 9000), 2, 44100));
    const TResult next =
        Cli("convert --quiet " + ShellQuote(dir.File("short.wav")) + " " + ShellQuote(dir.File("out/short.flac")), dir);
    ASSERT_EQ(next.Status, 0) << next.Err;
    EXPECT_EQ(folder(), std::vector<std::string>{"short.flac"});
}

// Many files at once: folders and files mixed, the encoder flags for every
// file, each failure named with its reason while the others finish.
TEST(Cli, BatchConvertsFilesAndFoldersAndNamesEachFailure)
{
    TTempDir dir;
    std::filesystem::create_directory(dir.File("in"));
    const auto a = PcmWavImage(Sine16(44100, 2, 44100, 440, 9000), 2, 44100);
    const auto b = PcmWavImage(Sine16(20000, 1, 22050, 300, 7000), 1, 22050);
    WriteWholeFile(dir.File("in/a.wav"), a);
    WriteWholeFile(dir.File("in/b.wav"), b);
    WriteWholeFile(dir.File("in/bad.flac"), {'n', 'o', 'p', 'e'});
    WriteWholeFile(dir.File("c.wav"), a);
    const std::string out = dir.File("out/new"); // made when missing

    const TResult r = Cli("convert --json " + ShellQuote(dir.File("in")) + " " + ShellQuote(dir.File("c.wav")) +
                              " --to flac --out-dir " + ShellQuote(out) + " --jobs 2",
                          dir);
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("kestrune-cli: " + dir.File("in/bad.flac") + ": Cannot read"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("1 of 4 files failed"), std::string::npos) << r.Err;
    int done = 0;
    std::istringstream lines(r.Out);
    for (std::string line; std::getline(lines, line);) {
        const auto event = nlohmann::json::parse(line, nullptr, false);
        ASSERT_FALSE(event.is_discarded()) << line;
        if (event["event"] == "done") {
            ++done;
            EXPECT_EQ(std::filesystem::path(event["output"].get<std::string>()).parent_path(), out) << line;
        }
    }
    EXPECT_EQ(done, 3);
    std::vector<std::string> made;
    for (const auto& e : std::filesystem::directory_iterator(out))
        made.push_back(e.path().filename().string());
    std::sort(made.begin(), made.end());
    EXPECT_EQ(made, (std::vector<std::string>{"a.flac", "b.flac", "c.flac"}));
    for (const auto& [name, image] : {std::pair{"a", a}, std::pair{"b", b}, std::pair{"c", a}}) {
        const std::string back = dir.File(std::string(name) + ".back.wav");
        ASSERT_EQ(Cli("convert --quiet " + ShellQuote(out + "/" + name + ".flac") + " " + ShellQuote(back), dir).Status,
                  0);
        EXPECT_EQ(ReadWholeFile(back), image) << name;
    }

    // Every file gets the encoder flags; all done is status 0.
    const TResult adpcm = Cli("convert " + ShellQuote(dir.File("in/a.wav")) + " " + ShellQuote(dir.File("in/b.wav")) +
                                  " --to wav --wav-type dvi-adpcm --out-dir " + ShellQuote(dir.File("ima")),
                              dir);
    EXPECT_EQ(adpcm.Status, 0) << adpcm.Err;
    EXPECT_NE(adpcm.Out.find("2 files converted"), std::string::npos) << adpcm.Out;
    for (const char* name : {"ima/a.wav", "ima/b.wav"}) {
        const auto bytes = ReadWholeFile(dir.File(name));
        ASSERT_GT(bytes.size(), 22u) << name;
        EXPECT_EQ(bytes[20] | bytes[21] << 8, 0x11) << name; // WAVE_FORMAT_IMA_ADPCM
    }
}

// On a terminal the batch is one line redrawn in place, whatever the number
// of files; only the results take lines of their own.
TEST(Cli, BatchDrawsOneProgressLineOnATerminal)
{
    KESTRUNE_REQUIRE_TOOL("script");
    TTempDir dir;
    for (const char* name : {"a", "b", "c"})
        WriteWholeFile(dir.File(std::string(name) + ".wav"), PcmWavImage(Noise16(3 * 44100, 2, 9), 2, 44100));
    const std::string command = std::string(KESTRUNE_CLI) + " convert " + ShellQuote(dir.File("a.wav")) + " " +
                                ShellQuote(dir.File("b.wav")) + " " + ShellQuote(dir.File("c.wav")) +
                                " --to flac --jobs 2 --out-dir " + ShellQuote(dir.File("out"));
    std::string screen;
    ASSERT_EQ(RunCommand("script -qec " + ShellQuote(command) + " /dev/null", &screen), 0);
    EXPECT_NE(screen.find("\rConverting, 0 of 3 files done: "), std::string::npos) << screen;
    // Three results and the summary; the progress never starts a line.
    EXPECT_EQ(std::count(screen.begin(), screen.end(), '\n'), 4) << screen;
    EXPECT_NE(screen.find("3 files converted"), std::string::npos) << screen;
}

// A damaged source is a failed job, never a shorter file reported as done:
// a FLAC file cut short, and one whose audio does not match its MD5.
TEST(Cli, DamagedFlacSourceFailsWithTheReason)
{
    TTempDir dir;
    WriteWholeFile(dir.File("in.wav"), PcmWavImage(Sine16(3 * 44100, 2, 44100, 440, 9000), 2, 44100));
    const TResult made =
        Cli("convert --quiet " + ShellQuote(dir.File("in.wav")) + " " + ShellQuote(dir.File("good.flac")), dir);
    ASSERT_EQ(made.Status, 0) << made.Err;
    const auto good = ReadWholeFile(dir.File("good.flac"));
    // "fLaC", then STREAMINFO (type 0, 34 bytes) whose last 16 bytes are the MD5.
    ASSERT_GT(good.size(), 42u);
    ASSERT_EQ(good[4] & 0x7F, 0);
    const size_t md5 = 8 + 18;
    ASSERT_TRUE(std::any_of(good.begin() + md5, good.begin() + md5 + 16, [](std::uint8_t b) { return b != 0; }))
        << "the writer left the MD5 empty";

    auto cut = good;
    cut.resize(good.size() * 6 / 10);
    auto wrongSum = good;
    wrongSum[md5] ^= 0xFF;
    const std::pair<std::string, std::vector<std::uint8_t>> cases[] = {{"cut", cut}, {"md5", wrongSum}};
    for (const auto& [name, bytes] : cases) {
        WriteWholeFile(dir.File(name + ".flac"), bytes);
        const std::string out = dir.File(name + ".wav");
        const TResult r = Cli("convert --json " + ShellQuote(dir.File(name + ".flac")) + " " + ShellQuote(out), dir);
        EXPECT_EQ(r.Status, 1) << name << " said: " << r.Err;
        EXPECT_NE(r.Err.find("kestrune-cli: "), std::string::npos) << name;
        EXPECT_GT(r.Err.size(), std::string("kestrune-cli: \n").size()) << name;
        EXPECT_NE(r.Out.find("\"event\":\"error\""), std::string::npos) << name << ": " << r.Out;
        EXPECT_EQ(r.Out.find("\"event\":\"done\""), std::string::npos) << name << ": " << r.Out;
        EXPECT_FALSE(std::filesystem::exists(out)) << name;
    }
}

// Every line --json prints is one JSON object a parser takes, whatever the
// text holds: quotes, control characters, bytes that are not UTF-8 (a file
// name from an old disk).
TEST(CliOutput, JsonLinesParseWhateverTheTextHolds)
{
    using kestrune::cli::TCliOutput;
    const std::string texts[] = {"plain",       "quote \" and \\ back", "line\nbreak\ttab\x01",
                                 "caf\xc3\xa9", "latin1 caf\xe9",       "cut \xe2\x82"};
    for (const std::string& text : texts) {
        std::ostringstream out, err;
        TCliOutput o(out, err, true, false, false);
        o.Result("ignored", "done",
                 {{"file", TCliOutput::JsonString(text)},
                  {"bytes", TCliOutput::JsonNumber(-5)},
                  {"virtual", "true"},
                  {"volume", "null"},
                  {"formats", "[\"a\",1]"}});
        o.Error(text);
        std::istringstream lines(out.str());
        std::string line;
        int count = 0;
        while (std::getline(lines, line)) {
            ++count;
            const auto parsed = nlohmann::json::parse(line, nullptr, false);
            ASSERT_FALSE(parsed.is_discarded()) << line;
            EXPECT_TRUE(line.rfind("{\"event\":", 0) == 0) << line; // the event comes first
            if (parsed["event"] == "done") {
                EXPECT_EQ(parsed["bytes"], -5);
                EXPECT_EQ(parsed["virtual"], true);
                EXPECT_TRUE(parsed["volume"].is_null());
                EXPECT_EQ(parsed["formats"], nlohmann::json::parse("[\"a\",1]"));
            }
            // Valid UTF-8 comes back as it went in.
            if (text != "latin1 caf\xe9" && text != "cut \xe2\x82") {
                EXPECT_EQ(parsed["event"] == "done" ? parsed["file"] : parsed["message"], text) << line;
            }
        }
        EXPECT_EQ(count, 2) << out.str();
    }
    // A field that is not JSON text is a mistake of the caller, not a broken line.
    std::ostringstream out, err;
    TCliOutput o(out, err, true, false, false);
    EXPECT_THROW(o.JsonOnly("track", {{"title", "unquoted"}}), std::invalid_argument);
    EXPECT_TRUE(out.str().empty());
}
