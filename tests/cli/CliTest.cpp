#include "cli/TCliOutput.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

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
