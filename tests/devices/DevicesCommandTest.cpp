// kestrune-cli devices: the lists as the command prints them.
#include "cli/TDevicesCommand.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kestrune::cli {
namespace {

std::string ListDevices(const std::vector<std::string>& Words, bool Json)
{
    std::set<std::string> Flags = TDevicesCommand::Flags();
    EXPECT_TRUE(Flags.count("--verbose"));
    Flags.insert({"--json", "--quiet", "--help"});
    const TCliArgs Args(Words, Flags, TDevicesCommand::Options());
    std::ostringstream Out;
    std::ostringstream Err;
    TCliOutput Output(Out, Err, Json, false, false);
    const std::atomic<bool> Interrupted{false};
    EXPECT_EQ(TDevicesCommand::Execute(Args, Output, Interrupted), 0);
    return Out.str();
}

// One line per device with its formats summed up; every format on a line
// of its own only when asked for, and always in JSON.
TEST(DevicesCommand, ShowsTheVirtualDevicesWithTheirFormats)
{
    const std::string Text = ListDevices({"--device", "virtual:/music/set.wav"}, false);
    EXPECT_NE(Text.find("Capture devices:"), std::string::npos);
    EXPECT_NE(Text.find("  virtual:demo (virtual)  Demo signal: several songs separated by quiet  [all 12 formats]\n"),
              std::string::npos)
        << Text;
    EXPECT_NE(Text.find("  virtual:/music/set.wav (virtual)  WAV file /music/set.wav  [all 12 formats]\n"),
              std::string::npos);
    EXPECT_EQ(Text.find("Hz, Stereo"), std::string::npos) << "no format table without --verbose";
    EXPECT_LT(Text.find("Capture devices:"), Text.find("Playback devices:"));
    EXPECT_GT(Text.find("virtual:null"), Text.find("Playback devices:"));

    const std::string Verbose = ListDevices({"--verbose"}, false);
    EXPECT_NE(Verbose.find("[all 12 formats]\n      11025 Hz, Mono,   8-bit\n"), std::string::npos) << Verbose;
    EXPECT_NE(Verbose.find("      44100   Hz, Stereo, 16-bit\n"), std::string::npos);

    const std::string Json = ListDevices({"--json"}, true);
    EXPECT_NE(Json.find(R"({"event":"capture_device","name":"virtual:demo",)"), std::string::npos) << Json;
    EXPECT_NE(Json.find(R"("summary":"all 12 formats","formats":["11025 Hz, Mono,   8-bit",)"), std::string::npos);
    EXPECT_EQ(Json.find("Capture devices:"), std::string::npos);
}

TEST(DevicesCommand, FormatSummary)
{
    const auto F = [](int Rate, int Channels, int Bits) { return TAudioFormat{Rate, Bits, Channels}; };
    struct TCase {
        std::vector<TAudioFormat> Formats;
        const char* Expected;
    };
    const TCase cases[] = {
        {{}, "cannot be opened"},
        {{F(44100, 2, 16)}, "44100 Hz, stereo, 16-bit"},
        {{F(11025, 1, 16), F(11025, 2, 16), F(22050, 1, 16), F(22050, 2, 16), F(44100, 1, 16), F(44100, 2, 16)},
         "11025-44100 Hz, mono/stereo, 16-bit"},
        {{F(11025, 2, 8), F(11025, 2, 16), F(44100, 2, 8), F(44100, 2, 16)}, "11025/44100 Hz, stereo, 8/16-bit"},
        {{F(22050, 1, 8), F(22050, 2, 8), F(22050, 2, 16), F(44100, 2, 16)},
         "22050 Hz mono 8-bit, 22050 Hz stereo 8-bit, 22050 Hz stereo 16-bit; 44100 Hz stereo 16-bit"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(TDevicesCommand::FormatSummary(c.Formats), c.Expected);
}

TEST(DevicesCommand, RefusesFileNames)
{
    const TCliArgs Args({"x.wav"}, {}, TDevicesCommand::Options());
    std::ostringstream Out;
    TCliOutput Output(Out, Out, false, false, false);
    const std::atomic<bool> Interrupted{false};
    EXPECT_THROW(TDevicesCommand::Execute(Args, Output, Interrupted), EUsage);
}

} // namespace
} // namespace kestrune::cli
