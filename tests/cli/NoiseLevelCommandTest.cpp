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
