#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

using namespace kestrune::test;

namespace {

struct TProbe {
    int Rate = 0;
    int Channels = 0;
    double Seconds = 0;
};

TProbe FfProbe(const std::string& File)
{
    std::string out;
    RunCommand("ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate,channels:format=duration "
               "-of default=noprint_wrappers=1 " +
                   ShellQuote(File),
               &out);
    TProbe p;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "sample_rate")
            p.Rate = std::atoi(value.c_str());
        else if (key == "channels")
            p.Channels = std::atoi(value.c_str());
        else if (key == "duration")
            p.Seconds = std::atof(value.c_str());
    }
    return p;
}

} // namespace

// Every pair of WAV, MP3, Ogg Vorbis, FLAC and Monkey's Audio converts through kestrune-cli
// and keeps the rate, the channels and the length, as ffprobe sees them.
TEST(ConvertPairs, EveryPairKeepsRateChannelsAndLength)
{
    KESTRUNE_REQUIRE_TOOL("ffprobe");
    TTempDir dir;
    const std::string cli = KESTRUNE_CLI;
    const char* formats[] = {"wav", "mp3", "ogg", "flac", "ape"};
    WriteWholeFile(dir.File("src.wav"), PcmWavImage(Sine16(2 * 32000, 2, 32000, 523, 10000), 2, 32000));
    for (const char* f : {"mp3", "ogg", "flac", "ape"})
        ASSERT_EQ(RunCommand(cli + " convert --quiet " + ShellQuote(dir.File("src.wav")) + " " +
                             ShellQuote(dir.File(std::string("src.") + f))),
                  0)
            << f;
    for (const char* from : formats) {
        for (const char* to : formats) {
            const std::string out = dir.File(std::string(from) + "-to." + to);
            ASSERT_EQ(RunCommand(cli + " convert --quiet " + ShellQuote(dir.File(std::string("src.") + from)) + " " +
                                 ShellQuote(out)),
                      0)
                << from << " -> " << to;
            const TProbe p = FfProbe(out);
            EXPECT_EQ(p.Rate, 32000) << from << " -> " << to;
            EXPECT_EQ(p.Channels, 2) << from << " -> " << to;
            EXPECT_NEAR(p.Seconds, 2.0, 0.06) << from << " -> " << to;
        }
    }
}
