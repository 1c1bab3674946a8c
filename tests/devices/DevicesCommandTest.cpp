// kestrune-cli devices: the lists as the command prints them.
#include "cli/TDevicesCommand.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kestrune::cli {
namespace {

std::string ListDevices(const std::vector<std::string>& Words, bool Json)
{
    std::set<std::string> Flags = TDevicesCommand::Flags();
    Flags.insert({"--json", "--quiet", "--help"});
    const TCliArgs Args(Words, Flags, TDevicesCommand::Options());
    std::ostringstream Out;
    std::ostringstream Err;
    TCliOutput Output(Out, Err, Json, false, false);
    const std::atomic<bool> Interrupted{false};
    EXPECT_EQ(TDevicesCommand::Execute(Args, Output, Interrupted), 0);
    return Out.str();
}

TEST(DevicesCommand, ShowsTheVirtualDevicesWithTheirFormats)
{
    const std::string Text = ListDevices({"--device", "virtual:/music/set.wav"}, false);
    EXPECT_NE(Text.find("Capture devices:"), std::string::npos);
    EXPECT_NE(Text.find("  virtual:demo (virtual)"), std::string::npos);
    EXPECT_NE(Text.find("  virtual:/music/set.wav (virtual)"), std::string::npos);
    EXPECT_NE(Text.find("      22050  Hz, Stereo, 16-bit\n"), std::string::npos);
    EXPECT_LT(Text.find("Capture devices:"), Text.find("Playback devices:"));
    EXPECT_GT(Text.find("virtual:null"), Text.find("Playback devices:"));

    const std::string Json = ListDevices({"--json"}, true);
    EXPECT_NE(Json.find(R"({"event":"capture_device","name":"virtual:demo",)"), std::string::npos) << Json;
    EXPECT_NE(Json.find(R"("formats":["11025 Hz, Mono,   8-bit",)"), std::string::npos);
    EXPECT_EQ(Json.find("Capture devices:"), std::string::npos);
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
