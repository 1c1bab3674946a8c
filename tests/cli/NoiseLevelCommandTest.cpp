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
                         ShellQuote("virtual:" + dir.File("short.wav")) + " --config " + ShellQuote(ini2) +
                         " 2>/dev/null"),
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

// The sound libraries are loaded only when a job uses them. On a machine
// without libasound (hidden here in a private mount namespace, which needs
// root) the ALSA devices are simply not listed, and a named one says which
// library is missing.
TEST(NoiseLevelCommand, WithoutTheSoundLibraryItsDevicesAreAbsentAndANamedOneSaysSo)
{
    const char* library = "/usr/lib/x86_64-linux-gnu/libasound.so.2";
    if (!HaveTool("unshare") || !std::filesystem::exists(library))
        GTEST_SKIP() << "needs unshare and " << library;
    TTempDir dir;
    const std::string conf = "pcm.!default {\n  type null\n  hint { show on description \"Test null\" }\n}\n";
    WriteWholeFile(dir.File("alsa.conf"), std::vector<std::uint8_t>(conf.begin(), conf.end()));
    const std::string env = "ALSA_CONFIG_PATH=" + ShellQuote(dir.File("alsa.conf")) +
                            " PULSE_SERVER=unix:" + ShellQuote(dir.File("no-server")) + " ";
    const std::string cli = std::string(KESTRUNE_CLI);
    std::string out;
    ASSERT_EQ(RunCommand(env + cli + " devices 2>&1", &out), 0) << out;
    ASSERT_NE(out.find("  alsa:default  Test null"), std::string::npos) << out;

    const std::string hidden = std::filesystem::canonical(library).string();
    const std::string script = "mount --bind /dev/null " + ShellQuote(hidden) + " || exit 77; " + env + cli +
                               " devices; " + env + cli + " noise-level --device alsa:default --config " +
                               ShellQuote(dir.File("k.ini"));
    out.clear();
    const int status = RunCommand("unshare -m --propagation private sh -c " + ShellQuote(script) + " 2>&1", &out);
    if (status == 77 || out.find("unshare:") != std::string::npos)
        GTEST_SKIP() << "no private mount namespace here: " << out;
    EXPECT_EQ(status, 1) << out;
    EXPECT_EQ(out.find("  alsa:default"), std::string::npos) << "not listed: " << out;
    EXPECT_NE(out.find("virtual:demo"), std::string::npos) << out;
    EXPECT_NE(out.find("libasound.so.2 library could not be loaded."), std::string::npos) << out;
    EXPECT_FALSE(std::filesystem::exists(dir.File("k.ini")));
}

// A line that stays near silence is measured as any other, and the note on
// stderr says what a muted or turned-down line would mean.
TEST(NoiseLevelCommand, SilentLineIsNotedOnStderr)
{
    TTempDir dir;
    WriteWholeFile(dir.File("zero.wav"), PcmWavImage(std::vector<std::int16_t>(25 * 22050 * 2, 0), 2, 22050));
    std::string err;
    const int status = RunCommand(std::string(KESTRUNE_CLI) + " noise-level --device " +
                                      ShellQuote("virtual:" + dir.File("zero.wav")) + " --config " +
                                      ShellQuote(dir.File("k.ini")) + " 2>&1 >/dev/null",
                                  &err);
    ASSERT_EQ(status, 0) << err;
    const size_t note = err.find("The input stayed near silence");
    ASSERT_NE(note, std::string::npos) << err;
    EXPECT_EQ(err.find("The input", note + 1), std::string::npos) << err;
    EXPECT_LT(note, err.find("Test finished")) << err;
}
