// The noise-level capture as a job, on virtual file devices.
#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "mocks/TNoDevices.h"
#include "settings/TNoiseLevelCapture.h"
#include "settings/TOptions.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>

using namespace kestrune;
using namespace kestrune::test;
using namespace std::chrono_literals;

namespace {

constexpr int Rate = 22050;

struct TListener final : IJobListener {
    void JobStarted(TJobKind Kind, const std::string&) override
    {
        EXPECT_EQ(Kind, TJobKind::jkNoiseCapture);
        ++Started;
    }
    void JobProgress(TJobKind, double Fraction, const std::string& Text) override
    {
        Fractions.push_back(Fraction);
        Texts.push_back(Text);
    }
    void JobMessage(TJobKind, TJobMessageKind Kind, const std::string& Text) override
    {
        if (Kind == TJobMessageKind::jmWarning)
            Warnings.push_back(Text);
    }
    void JobFinished(TJobKind, TJobOutcome O, const std::string& R) override
    {
        ++Finished;
        Outcome = O;
        Reason = R;
    }
    int Started = 0;
    int Finished = 0;
    TJobOutcome Outcome = TJobOutcome::joCancelled;
    std::string Reason;
    std::vector<double> Fractions;
    std::vector<std::string> Texts;
    std::vector<std::string> Warnings;
};

// The window thread's queue, counting what the capture's worker posts to it.
class TCountingDispatcher final : public IDispatcher {
public:
    void Post(const TLifetimeToken& Owner, TWork Work) override
    {
        ++Posted;
        Plain.Post(Owner, std::move(Work));
    }
    void Send(const TLifetimeToken& Owner, TWork Work) override { Plain.Send(Owner, std::move(Work)); }
    bool WaitServing(const std::function<bool()>& Done, std::chrono::milliseconds Timeout) override
    {
        return Plain.WaitServing(Done, Timeout);
    }
    bool IsWindowThread() const override { return Plain.IsWindowThread(); }

    TPlainDispatcher Plain;
    std::atomic<int> Posted{0};
};

// A machine whose only capture device is the stand-in card.
class TOnlyVirtual final : public IOptionsPlatform {
public:
    std::vector<TDeviceInfo> CaptureDevices() override { return {{"virtual:demo", "Demo", true}}; }
    std::vector<TAudioFormat> CaptureFormats(const std::string&) override { return {}; }
    std::unique_ptr<IMixer> OpenMixer(const std::string&) override { return nullptr; }
};

struct TRig {
    TTempDir Dir;
    TNoDevices Platform;
    TCountingDispatcher Dispatcher;
    TListener Listener;
    std::unique_ptr<TOptions> Options;

    explicit TRig(IOptionsPlatform* Machine = nullptr)
    {
        Options = std::make_unique<TOptions>(Dir.File("k.ini"), Machine ? *Machine : Platform,
                                             TOptions::TDefaults{Dir.Path().string() + "/"});
    }
    // Quiet stereo 16-bit audio of Seconds with single samples set: {second, value}.
    // A sample past the end of a short file is not in it.
    std::string Device(double Seconds, const std::vector<std::pair<double, int>>& Peaks, const std::string& Name)
    {
        std::vector<std::int16_t> samples(static_cast<size_t>(Seconds * Rate) * 2, 0);
        for (const auto& [at, value] : Peaks)
            if (const auto index = static_cast<size_t>(at * Rate) * 2; index < samples.size())
                samples[index] = static_cast<std::int16_t>(value);
        WriteWholeFile(Dir.File(Name), PcmWavImage(samples, 2, Rate));
        return "virtual:" + Dir.File(Name);
    }
    void Choose(const std::vector<std::string>& Names, int Index)
    {
        Options->DriverNames = Names;
        Options->DriverIndex = Index;
    }
    void Capture(const std::function<void(TNoiseLevelCapture&)>& After = {})
    {
        TNoiseLevelCapture capture(*Options, Dispatcher);
        capture.Events().Subscribe(&Listener);
        capture.AudioIn1().SetRealTime(false);
        capture.Start();
        ASSERT_TRUE(Dispatcher.WaitServing([&] { return !capture.Running(); }, 30s));
        if (After)
            After(capture);
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
                                         {{5, -5000},   // 8-bit phase: 128 - 20 on the negative side
                                          {10.5, 9000}, // 16-bit phase
                                          {15, -3000},
                                          {21.5, 30000}}, // after the capture
                                         "noise.wav");
    rig.Choose({rig.Device(30, {{1, 32000}, {12, 32000}}, "loud.wav"), noise}, 1);
    rig.Capture();
    EXPECT_EQ(rig.Listener.Started, 1);
    ASSERT_EQ(rig.Listener.Finished, 1);
    EXPECT_EQ(rig.Listener.Outcome, TJobOutcome::joSucceeded) << rig.Listener.Reason;
    EXPECT_NEAR(rig.Options->Level8.load(), 5000.0 / 256, 1);
    EXPECT_EQ(rig.Options->Level16.load(), 9000);
    ASSERT_EQ(rig.Listener.Texts.size(), 21u);
    EXPECT_EQ(rig.Listener.Texts.front(), "20 seconds remaining");
    EXPECT_EQ(rig.Listener.Texts[10], "10 seconds remaining");
    EXPECT_EQ(rig.Listener.Texts.back(), "0 seconds remaining");
    EXPECT_DOUBLE_EQ(rig.Listener.Fractions.front(), 0.0);
    EXPECT_DOUBLE_EQ(rig.Listener.Fractions[10], 0.5);
    EXPECT_DOUBLE_EQ(rig.Listener.Fractions.back(), 1.0);
}

TEST(NoiseLevel, SilentDeviceGivesZeroAndFailuresKeepTheEarlierLevels)
{
    TRig rig;
    rig.Choose({rig.Device(22, {}, "silent.wav")}, 0);
    rig.Capture();
    EXPECT_EQ(rig.Listener.Outcome, TJobOutcome::joSucceeded);
    EXPECT_EQ(rig.Options->Level8.load(), 0);
    EXPECT_EQ(rig.Options->Level16.load(), 0);

    struct TCase {
        const char* What;
        double Seconds; // of the device's audio; 0 for no file at all
        const char* Reason;
    };
    for (const TCase& c : {TCase{"ends in the 16-bit phase", 12, "ended before"},
                           TCase{"ends in the 8-bit phase", 4, "ended before"}, TCase{"missing", 0, ""}}) {
        TRig failing;
        failing.Options->Level8 = 21;
        failing.Options->Level16 = 1234;
        failing.Choose({c.Seconds > 0 ? failing.Device(c.Seconds, {{1, 20000}, {11, 20000}}, "short.wav")
                                      : "virtual:" + failing.Dir.File("none.wav")},
                       0);
        failing.Capture();
        ASSERT_EQ(failing.Listener.Finished, 1) << c.What;
        EXPECT_EQ(failing.Listener.Outcome, TJobOutcome::joFailed) << c.What;
        EXPECT_NE(failing.Listener.Reason.find(c.Reason), std::string::npos)
            << c.What << ": " << failing.Listener.Reason;
        EXPECT_FALSE(failing.Listener.Reason.empty()) << c.What;
        EXPECT_EQ(failing.Options->Level8.load(), 21) << c.What;
        EXPECT_EQ(failing.Options->Level16.load(), 1234) << c.What;
    }
}

// With no real capture device and none named, nothing is measured: not the
// stand-in card's demo music either.
TEST(NoiseLevel, WithoutAChosenDeviceRefusesAndChangesNothing)
{
    TOnlyVirtual onlyVirtual;
    for (IOptionsPlatform* machine :
         {static_cast<IOptionsPlatform*>(nullptr), static_cast<IOptionsPlatform*>(&onlyVirtual)}) {
        TRig rig(machine);
        ASSERT_EQ(rig.Options->ChosenDriver(), "");
        rig.Options->Level8 = 17;
        rig.Options->Level16 = 4321;
        TNoiseLevelCapture capture(*rig.Options, rig.Dispatcher);
        capture.Events().Subscribe(&rig.Listener);
        capture.Start();
        EXPECT_FALSE(capture.Running());
        EXPECT_EQ(rig.Listener.Warnings, std::vector<std::string>{"No input driver available!"});
        EXPECT_EQ(rig.Listener.Finished, 1);
        EXPECT_EQ(rig.Listener.Outcome, TJobOutcome::joFailed);
        EXPECT_EQ(rig.Listener.Reason, "No input driver available!");
        EXPECT_EQ(rig.Options->Level8.load(), 17);
        EXPECT_EQ(rig.Options->Level16.load(), 4321);
    }
}

// The device fails while the window's timer still counts the 8-bit phase;
// its message is still queued when that phase is wound down. The capture
// ends there instead of starting the 16-bit phase.
TEST(NoiseLevel, FailureMetWhileThePhaseWindsDownEndsTheCapture)
{
    TRig rig;
    rig.Options->Level16 = 1111;
    rig.Choose({rig.Device(0.3, {}, "brief.wav")}, 0);
    TNoiseLevelCapture capture(*rig.Options, rig.Dispatcher);
    capture.Events().Subscribe(&rig.Listener);
    capture.Start(); // timed by the clock: the test is the window's timer
    ASSERT_TRUE(capture.Running());
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (rig.Dispatcher.Posted.load() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(rig.Dispatcher.Posted.load(), 1); // the failure, not yet served
    for (int second = 0; second < 10; ++second)
        capture.Tick();
    EXPECT_FALSE(capture.Running());
    EXPECT_EQ(capture.AudioIn1().InBitsPerSample(), 8); // no 16-bit phase began
    ASSERT_EQ(rig.Listener.Finished, 1);
    EXPECT_EQ(rig.Listener.Outcome, TJobOutcome::joFailed);
    EXPECT_NE(rig.Listener.Reason.find("ended before"), std::string::npos) << rig.Listener.Reason;
    EXPECT_EQ(rig.Options->Level16.load(), 1111);
    rig.Dispatcher.Plain.ProcessPending();
    EXPECT_EQ(rig.Listener.Finished, 1); // the queued message finds the capture over
}

// A measurement louder than silence can be (-30 dBFS) is music, not noise:
// the user is warned with both sets of levels and keeps the earlier ones
// unless he takes the new ones; a quiet measurement asks nothing. "Test
// finished" ends every one.
TEST(NoiseLevel, LevelsLouderThanSilenceAreKeptOnlyWhenTheUserAccepts)
{
    EXPECT_FALSE(TNoiseLevelCapture::LouderThanSilence(4, 1036));
    EXPECT_TRUE(TNoiseLevelCapture::LouderThanSilence(5, 0));
    EXPECT_TRUE(TNoiseLevelCapture::LouderThanSilence(0, 1037));

    struct TCase {
        const char* What;
        std::vector<std::pair<double, int>> Peaks;
        TDialogResult Answer;
        bool Asked;
        bool Kept;
    };
    const std::vector<TCase> cases{
        {"card noise", {{3, 300}, {15, -900}}, TDialogResult::drYes, false, true},
        {"music in the 16-bit phase, declined", {{3, 300}, {15, 12000}}, TDialogResult::drNo, true, false},
        {"music in the 8-bit phase, declined", {{3, 4000}, {15, 300}}, TDialogResult::drNo, true, false},
        {"music, accepted", {{3, 300}, {15, 12000}}, TDialogResult::drYes, true, true},
    };
    for (const TCase& c : cases) {
        TRig rig;
        rig.Options->Level8 = 3;
        rig.Options->Level16 = 700;
        rig.Choose({rig.Device(22, c.Peaks, "set.wav")}, 0);
        TPlainDialogs dialogs;
        dialogs.Script(c.Answer);
        bool kept = false;
        int measured16 = 0;
        rig.Capture([&](TNoiseLevelCapture& Capture) {
            measured16 = rig.Options->Level16.load();
            kept = Capture.Conclude(dialogs);
        });
        ASSERT_EQ(rig.Listener.Outcome, TJobOutcome::joSucceeded) << c.What;
        EXPECT_EQ(kept, c.Kept) << c.What;
        ASSERT_EQ(dialogs.Shown().size(), c.Asked ? 2u : 1u) << c.What;
        EXPECT_EQ(dialogs.Shown().back().Text, "Test finished") << c.What;
        EXPECT_EQ(dialogs.Shown().back().Kind, TDialogKind::dkInformation) << c.What;
        if (c.Asked) {
            const TPlainDialogs::TShown& question = dialogs.Shown().front();
            EXPECT_EQ(question.Kind, TDialogKind::dkWarning) << c.What;
            EXPECT_EQ(question.Buttons, TDialogButtons::dbYesNo) << c.What;
            EXPECT_NE(question.Text.find("16-bit: " + std::to_string(measured16)), std::string::npos) << question.Text;
            EXPECT_NE(question.Text.find("(8-bit: 3, 16-bit: 700)"), std::string::npos) << question.Text;
        }
        if (c.Kept) {
            EXPECT_EQ(rig.Options->Level16.load(), measured16) << c.What;
            EXPECT_NE(rig.Options->Level16.load(), 700) << c.What;
        } else {
            EXPECT_EQ(rig.Options->Level8.load(), 3) << c.What;
            EXPECT_EQ(rig.Options->Level16.load(), 700) << c.What;
        }
    }
}

TEST(NoiseLevel, DecibelTextsOfLevels)
{
    EXPECT_EQ(TNoiseLevelCapture::DecibelText(0), "silence");
    EXPECT_EQ(TNoiseLevelCapture::DecibelText(1.0), "0 dBFS");
    EXPECT_EQ(TNoiseLevelCapture::DecibelText(0.9999), "0 dBFS");
    EXPECT_EQ(TNoiseLevelCapture::DecibelText(1036 / 32768.0), "-30 dBFS");
    EXPECT_EQ(TNoiseLevelCapture::DecibelText(4 / 128.0), "-30 dBFS");
}
