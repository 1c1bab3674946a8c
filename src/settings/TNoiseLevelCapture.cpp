#include "settings/TNoiseLevelCapture.h"

#include "settings/TOptions.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kestrune {

namespace {

constexpr int CaptureRate = 22050;
constexpr int CaptureChannels = 2;
constexpr int FirstPhaseSeconds = 10;  // 8-bit
constexpr int SecondPhaseSeconds = 11; // 16-bit
constexpr int CountdownSeconds = FirstPhaseSeconds + SecondPhaseSeconds - 1;
constexpr auto IdleWait = std::chrono::seconds(10);

std::string TimeText(int Seconds)
{
    return std::to_string(Seconds) + " seconds remaining";
}

} // namespace

std::string TNoiseLevelCapture::DecibelText(double Fraction)
{
    if (!(Fraction > 0))
        return "silence";
    char text[32];
    std::snprintf(text, sizeof text, "%.0f dBFS", 20 * std::log10(std::min(Fraction, 1.0)));
    // Rounding a level just under full scale must not read "-0".
    return std::string(text) == "-0 dBFS" ? "0 dBFS" : text;
}

std::string TNoiseLevelCapture::TooLoudText(int Level8, int Level16, int Earlier8, int Earlier16)
{
    const auto levels = [](int L8, int L16) {
        return "8-bit: " + std::to_string(L8) + ", 16-bit: " + std::to_string(L16);
    };
    const double loudest = std::max(Level8 / 128.0, Level16 / 32768.0);
    return "The noise level measured (" + levels(Level8, Level16) + ", " + DecibelText(loudest) +
           ") is louder than silence can be: music or another sound was playing during the test.\r\n"
           "Use these levels anyway? No keeps the levels from before (" +
           levels(Earlier8, Earlier16) + ").";
}

bool TNoiseLevelCapture::Conclude(IDialogs& Dialogs)
{
    bool keep = true;
    if (LouderThanSilence(Options.Level8.load(), Options.Level16.load())) {
        keep = Dialogs.Show(TDialogKind::dkWarning,
                            TooLoudText(Options.Level8.load(), Options.Level16.load(), Saved8, Saved16),
                            TDialogButtons::dbYesNo) == TDialogResult::drYes;
        if (!keep) {
            Options.Level8 = Saved8;
            Options.Level16 = Saved16;
        }
    }
    Dialogs.Information("Test finished");
    return keep;
}

TNoiseLevelCapture::TNoiseLevelCapture(TOptions& O, IDispatcher& D) : Options(O), Dispatcher(D)
{
    FAudioIn1.SetInBitsPerSample(8);
    FAudioIn1.SetInChannels(CaptureChannels);
    FAudioIn1.SetInSampleRate(CaptureRate);

    FAudioProcessor1.SetInput(&FAudioIn1);
    FAudioProcessor1.OnGetData = [this](TComponent*, void* Data, int& N) { OnGetData(Data, N); };
    FNULLOut1.SetInput(&FAudioProcessor1);

    FNULLOut1.OnDone = [this](TComponent*) {
        // A device whose audio ran out before the time was up measured too
        // little to set levels from.
        if (FAudioIn1.EndOfCapture())
            NoteFailure("the device's audio ended before the measurement was complete");
    };
    FNULLOut1.OnThreadException = [this](TComponent*, const std::exception& E) { NoteFailure(E.what()); };
}

TNoiseLevelCapture::~TNoiseLevelCapture()
{
    Life.End();
    FNULLOut1.Stop();
    FNULLOut1.WaitForIdle(IdleWait);
}

void TNoiseLevelCapture::NoteFailure(const std::string& Message)
{
    {
        std::lock_guard lock(FailureLock);
        if (!WorkerFailure.empty())
            return;
        WorkerFailure = Message;
    }
    Dispatcher.Post(Life.Token(), [this, Message] {
        if (FRunning)
            Fail(Message);
    });
}

void TNoiseLevelCapture::Start()
{
    if (FRunning)
        return;
    const std::string device = Options.ChosenDriver();
    if (device.empty()) {
        FEvents.Message(TJobMessageKind::jmWarning, TAudioIn::NoDriverText);
        FEvents.Finished(TJobOutcome::joFailed, TAudioIn::NoDriverText);
        return;
    }
    FAudioIn1.SetDevice(device);
    Options.SetUpMixer(device);
    {
        std::lock_guard lock(FailureLock);
        WorkerFailure.clear();
    }
    FInputLevel = 0.0;
    Saved8 = Options.Level8.load();
    Saved16 = Options.Level16.load();
    Options.Level8 = 0;
    FAudioIn1.SetInBitsPerSample(8);
    FAudioIn1.SetRecTime(PacedByAudio() ? FirstPhaseSeconds : CountdownSeconds);
    LevelCheck.Reset(8, CaptureChannels, CaptureRate);
    FSecondsLeft = CountdownSeconds;
    FRunning = true;
    FEvents.Started("Please Wait...");
    FEvents.Progress(0.0, TimeText(FSecondsLeft));
    RunPhase();
}

void TNoiseLevelCapture::RunPhase()
{
    AudioBytes = 0;
    BytesPerSecond = static_cast<std::int64_t>(CaptureRate) * CaptureChannels * (FAudioIn1.InBitsPerSample() / 8);
    try {
        FNULLOut1.Run();
    } catch (const std::exception& e) {
        Fail(e.what());
    }
}

void TNoiseLevelCapture::StopPhase()
{
    FNULLOut1.Stop();
    FNULLOut1.WaitForIdle(IdleWait);
}

void TNoiseLevelCapture::Tick()
{
    if (!FRunning)
        return;
    if (FSecondsLeft < 1) {
        StopPhase();
        Finish(TJobOutcome::joSucceeded, "");
        return;
    }
    --FSecondsLeft;
    FEvents.Progress(static_cast<double>(CountdownSeconds - FSecondsLeft) / CountdownSeconds, TimeText(FSecondsLeft));
    if (FSecondsLeft != SecondPhaseSeconds - 1)
        return;

    // Ten seconds of 8-bit capture are done: the same again at 16 bits,
    // unless the device failed on the way (its message may still be queued).
    StopPhase();
    std::string failure;
    {
        std::lock_guard lock(FailureLock);
        failure = WorkerFailure;
    }
    if (!failure.empty()) {
        Fail(failure);
        return;
    }
    // Level8 already holds the largest distance from the mid value 128 on
    // either side, the recorder's own measure: nothing to subtract.
    FAudioIn1.SetInBitsPerSample(16);
    if (PacedByAudio())
        FAudioIn1.SetRecTime(SecondPhaseSeconds);
    Options.Level16 = 0;
    RunPhase();
}

void TNoiseLevelCapture::Abort()
{
    if (!FRunning)
        return;
    StopPhase();
    Finish(TJobOutcome::joCancelled, "");
}

void TNoiseLevelCapture::Fail(const std::string& Message)
{
    StopPhase();
    Finish(TJobOutcome::joFailed, Message);
}

void TNoiseLevelCapture::Finish(TJobOutcome Outcome, const std::string& Reason)
{
    FRunning = false;
    if (Outcome != TJobOutcome::joSucceeded) {
        Options.Level8 = Saved8;
        Options.Level16 = Saved16;
    }
    FEvents.Finished(Outcome, Reason);
}

void TNoiseLevelCapture::OnGetData(void* Data, int& N)
{
    N = FAudioIn1.ReadBlock(Data, N);
    if (N <= 0)
        return;
    const auto* bytes = static_cast<const std::uint8_t*>(Data);
    if (FAudioIn1.InBitsPerSample() == 8) {
        if (const TInputLevelWarning warning = LevelCheck.Feed(Data, N); warning != TInputLevelWarning::ilNone)
            Dispatcher.Post(Life.Token(), [this, warning] {
                if (FRunning)
                    FEvents.Message(TJobMessageKind::jmWarning, TInputLevelCheck::Text(warning, true));
            });
        int loudest = 0;
        for (int i = 0; i < N; ++i)
            loudest = std::max(loudest, std::abs(static_cast<int>(bytes[i]) - 128));
        if (loudest > Options.Level8.load())
            Options.Level8 = loudest;
        FInputLevel = loudest / 128.0;
    } else {
        int loudest = 0;
        for (int i = 0; i + 1 < N; i += 2)
            loudest = std::max(loudest,
                               std::abs(static_cast<int>(static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8)))));
        if (loudest > Options.Level16.load())
            Options.Level16 = loudest;
        FInputLevel = loudest / 32768.0;
    }
    if (!PacedByAudio() || BytesPerSecond <= 0)
        return;
    // One tick for every second of audio, so the phases are measured in
    // frames however fast the device delivers.
    AudioBytes += N;
    while (AudioBytes >= BytesPerSecond) {
        AudioBytes -= BytesPerSecond;
        Dispatcher.Post(Life.Token(), [this] { Tick(); });
    }
}

} // namespace kestrune
