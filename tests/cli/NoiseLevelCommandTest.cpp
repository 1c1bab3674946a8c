#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kestrune::test;

TEST(NoiseLevelCommand, MeasuresVirtualFileAndSavesTheLevels)
{
    TTempDir dir;
    // 25 s of faint noise with one louder peak in the 16-bit phase.
    auto noise = Noise16(25 * 22050, 2, 4, 300);
    noise[static_cast<size_t>(15 * 22050) * 2] = 2500;
    WriteWholeFile(dir.File("gap.wav"), PcmWavImage(noise, 2, 22050));
    const std::string ini = dir.File("k.ini");
    std::string out;
    const int status = RunCommand(std::string(KESTRUNE_CLI) + " noise-level --json --device " +
                                      ShellQuote("virtual:" + dir.File("gap.wav")) + " --config " + ShellQuote(ini),
                                  &out);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("\"level16\":2500"), std::string::npos) << out;
    const auto saved = ReadWholeFile(ini);
    EXPECT_NE(std::string(saved.begin(), saved.end()).find("Level16=2500"), std::string::npos);

    // Audio that ends too early saves nothing.
    WriteWholeFile(dir.File("short.wav"), PcmWavImage(Noise16(5 * 22050, 2, 4, 300), 2, 22050));
    const std::string ini2 = dir.File("k2.ini");
    EXPECT_EQ(RunCommand(std::string(KESTRUNE_CLI) + " noise-level --device " +
                         ShellQuote("virtual:" + dir.File("short.wav")) + " --config " + ShellQuote(ini2) + " 2>/dev/null"),
              1);
    EXPECT_FALSE(std::filesystem::exists(ini2));
}

// A machine without a capture device (no ALSA card, no sound server) and no
// device named: the stand-in card's demo music is not measured, and the
// settings file stays as it was.
TEST(NoiseLevelCommand, WithoutACaptureDeviceMeasuresNothing)
{
    TTempDir dir;
    const std::string ini = dir.File("k.ini");
    const std::string before = "[Silence]\nLevel8=5\nLevel16=700\n";
    WriteWholeFile(ini, std::vector<std::uint8_t>(before.begin(), before.end()));
    WriteWholeFile(dir.File("empty.conf"), {});
    std::string out;
    const int status = RunCommand("ALSA_CONFIG_PATH=" + ShellQuote(dir.File("empty.conf")) +
                                      " PULSE_SERVER=unix:" + ShellQuote(dir.File("no-server")) + " " +
                                      std::string(KESTRUNE_CLI) + " noise-level --config " + ShellQuote(ini) + " 2>&1",
                                  &out);
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find("No input driver available!"), std::string::npos) << out;
    const auto after = ReadWholeFile(ini);
    EXPECT_EQ(std::string(after.begin(), after.end()), before);
}
