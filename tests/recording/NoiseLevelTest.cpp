#include "common/TPlainDispatcher.h"
#include "settings/TNoiseLevelCapture.h"
#include "settings/TOptions.h"
#include "mocks/TNoDevices.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace kestrune;
using namespace kestrune::test;
using namespace std::chrono_literals;

namespace {

constexpr int Rate = 22050;

struct TView final : INoiseCaptureView {
    void SetTimeText(const std::string& Text) override { Texts.push_back(Text); }
    void TestFinished() override { ++Finished; }
    void CaptureFailed(const std::string& Message) override { Failure = Message; }
    std::vector<std::string> Texts;
    int Finished = 0;
    std::string Failure;
};

struct TRig {
    TTempDir Dir;
    TNoDevices Platform;
    TPlainDispatcher Dispatcher;
    TView View;
    std::unique_ptr<TOptions> Options;

    TRig()
    {
        Options = std::make_unique<TOptions>(Dir.File("k.ini"), Platform, TOptions::TDefaults{Dir.Path().string() + "/"});
    }
    // Quiet stereo 16-bit audio of Seconds with single samples set: {second, value}.
    std::string Device(double Seconds, const std::vector<std::pair<double, int>>& Peaks, const std::string& Name)
    {
        std::vector<std::int16_t> samples(static_cast<size_t>(Seconds * Rate) * 2, 0);
        for (const auto& [at, value] : Peaks)
            samples[static_cast<size_t>(at * Rate) * 2] = static_cast<std::int16_t>(value);
        WriteWholeFile(Dir.File(Name), PcmWavImage(samples, 2, Rate));
        return "virtual:" + Dir.File(Name);
    }
    void Capture()
    {
        TNoiseLevelCapture capture(*Options, View, Dispatcher);
        capture.AudioIn1().SetRealTime(false);
        capture.Start();
        ASSERT_TRUE(Dispatcher.WaitServing([&] { return !capture.Running(); }, 30s));
    }
};

} // namespace

// The first ten seconds of audio are measured at 8 bits, the next eleven at
// 16 bits, counted in frames; 8-bit noise counts on both sides of 128; the
// device is the one chosen, not the first.
TEST(NoiseLevel, PhasesAreTenAndElevenSecondsOfAudioOnTheChosenDevice)
{
    TRig rig;
    const std::string noise = rig.Device(30,
                                         {{5, -5000},     // 8-bit phase: 128 - 20 on the negative side
                                          {10.5, 9000},   // 16-bit phase
                                          {15, -3000},
                                          {21.5, 30000}}, // after the capture
                                         "noise.wav");
    rig.Options->DriverNames = {rig.Device(30, {{1, 32000}, {12, 32000}}, "loud.wav"), noise};
    rig.Options->DriverIndex = 1;
    rig.Capture();
    EXPECT_EQ(rig.View.Finished, 1);
    EXPECT_TRUE(rig.View.Failure.empty()) << rig.View.Failure;
    EXPECT_NEAR(rig.Options->Level8.load(), 5000 / 256, 1);
    EXPECT_EQ(rig.Options->Level16.load(), 9000);
    ASSERT_EQ(rig.View.Texts.size(), 21u);
    EXPECT_EQ(rig.View.Texts.front(), "20 seconds remaining");
    EXPECT_EQ(rig.View.Texts[10], "10 seconds remaining");
    EXPECT_EQ(rig.View.Texts.back(), "0 seconds remaining");
}

TEST(NoiseLevel, SilentDeviceGivesZeroAndMissingDeviceFails)
{
    TRig rig;
    rig.Options->DriverNames = {rig.Device(22, {}, "silent.wav")};
    rig.Options->DriverIndex = 0;
    rig.Capture();
    EXPECT_EQ(rig.View.Finished, 1);
    EXPECT_EQ(rig.Options->Level8.load(), 0);
    EXPECT_EQ(rig.Options->Level16.load(), 0);

    // Audio that ends before the 21 seconds sets no levels.
    TRig shortDevice;
    shortDevice.Options->Level16 = 1234;
    shortDevice.Options->DriverNames = {shortDevice.Device(12, {{11, 20000}}, "short.wav")};
    shortDevice.Options->DriverIndex = 0;
    shortDevice.Capture();
    EXPECT_EQ(shortDevice.View.Finished, 0);
    EXPECT_NE(shortDevice.View.Failure.find("ended before"), std::string::npos) << shortDevice.View.Failure;
    EXPECT_EQ(shortDevice.Options->Level16.load(), 1234); // the levels from before stay

    TRig missing;
    missing.Options->DriverNames = {"virtual:" + missing.Dir.File("none.wav")};
    missing.Options->DriverIndex = 0;
    missing.Capture();
    EXPECT_EQ(missing.View.Finished, 0);
    EXPECT_FALSE(missing.View.Failure.empty());
}
