#include "settings/TNoiseLevelCapture.h"

#include "settings/TOptions.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>

namespace kestrune {

namespace {

constexpr int CaptureRate = 22050;
constexpr int CaptureChannels = 2;
constexpr int FirstPhaseSeconds = 10;  // 8-bit
constexpr int SecondPhaseSeconds = 11; // 16-bit
constexpr auto IdleWait = std::chrono::seconds(10);

std::string TimeText(int Seconds)
{
    return std::to_string(Seconds) + " seconds remaining";
}

} // namespace

TNoiseLevelCapture::TNoiseLevelCapture(TOptions& O, INoiseCaptureView& V, IDispatcher& D)
    : Options(O), View(V), Dispatcher(D), Saved8(O.Level8.load()), Saved16(O.Level16.load())
{
    // The device the user chose for recording is the one whose noise counts,
    // not always the first one.
    if (const std::string driver = Options.ChosenDriver(); !driver.empty())
        FAudioIn1.SetDevice(driver);
    FAudioIn1.SetRecTime(FirstPhaseSeconds + SecondPhaseSeconds - 1);
    FAudioIn1.SetInBitsPerSample(8);
    FAudioIn1.SetInChannels(CaptureChannels);
    FAudioIn1.SetInSampleRate(CaptureRate);
    Options.Level8 = 0;

    FAudioProcessor1.SetInput(&FAudioIn1);
    FAudioProcessor1.OnGetData = [this](TComponent*, void* Data, int& N) { OnGetData(Data, N); };
    FNULLOut1.SetInput(&FAudioProcessor1);

    FNULLOut1.OnDone = [this](TComponent*) {
        // A device whose audio ran out before the time was up measured too
        // little to set levels from: the capture fails and nothing is kept.
        if (!FAudioIn1.EndOfCapture())
            return;
        Dispatcher.Post(Life.Token(), [this] {
            if (!FRunning)
                return;
            Fail("the device's audio ended before the measurement was complete");
        });
    };
    FNULLOut1.OnThreadException = [this](TComponent*, const std::exception& E) {
        const std::string message = E.what();
        Dispatcher.Post(Life.Token(), [this, message] {
            if (!FRunning)
                return;
            Fail(message);
        });
    };
}

TNoiseLevelCapture::~TNoiseLevelCapture()
{
    Life.End();
    FNULLOut1.Stop();
    FNULLOut1.WaitForIdle(IdleWait);
}

void TNoiseLevelCapture::Start()
{
    if (FRunning)
        return;
    FSecondsLeft = FirstPhaseSeconds + SecondPhaseSeconds - 1;
    View.SetTimeText(TimeText(FSecondsLeft));
    if (PacedByAudio())
        FAudioIn1.SetRecTime(FirstPhaseSeconds);
    AudioBytes = 0;
    BytesPerSecond = static_cast<std::int64_t>(CaptureRate) * CaptureChannels * (FAudioIn1.InBitsPerSample() / 8);
    FRunning = true;
    try {
        FNULLOut1.Run();
    } catch (const std::exception& e) {
        Fail(e.what());
    }
}

void TNoiseLevelCapture::Tick()
{
    if (!FRunning)
        return;
    if (FSecondsLeft < 1) {
        Finish();
        return;
    }
    --FSecondsLeft;
    View.SetTimeText(TimeText(FSecondsLeft));
    if (FSecondsLeft != SecondPhaseSeconds - 1)
        return;

    // Ten seconds of 8-bit capture are done: the same again at 16 bits.
    FNULLOut1.Stop();
    FNULLOut1.WaitForIdle(IdleWait);
    if (!FRunning)
        return; // the device failed meanwhile
    // Level8 already holds the largest distance from the mid value 128 on
    // either side, the recorder's own measure: nothing to subtract.
    FAudioIn1.SetInBitsPerSample(16);
    if (PacedByAudio())
        FAudioIn1.SetRecTime(SecondPhaseSeconds);
    Options.Level16 = 0;
    AudioBytes = 0;
    BytesPerSecond = static_cast<std::int64_t>(CaptureRate) * CaptureChannels * 2;
    try {
        FNULLOut1.Run();
    } catch (const std::exception& e) {
        Fail(e.what());
    }
}

void TNoiseLevelCapture::Abort()
{
    FRunning = false;
    FNULLOut1.Stop();
    FNULLOut1.WaitForIdle(IdleWait);
}

void TNoiseLevelCapture::Fail(const std::string& Message)
{
    FRunning = false;
    Options.Level8 = Saved8;
    Options.Level16 = Saved16;
    View.CaptureFailed(Message);
}

void TNoiseLevelCapture::Finish()
{
    FNULLOut1.Stop();
    FNULLOut1.WaitForIdle(IdleWait);
    FRunning = false;
    View.TestFinished();
}

void TNoiseLevelCapture::OnGetData(void* Data, int& N)
{
    N = FAudioIn1.ReadBlock(Data, N);
    if (N <= 0)
        return;
    const auto* bytes = static_cast<const std::uint8_t*>(Data);
    if (FAudioIn1.InBitsPerSample() == 8) {
        int loudest = 0;
        for (int i = 0; i < N; ++i)
            loudest = std::max(loudest, std::abs(static_cast<int>(bytes[i]) - 128));
        if (loudest > Options.Level8.load())
            Options.Level8 = loudest;
    } else {
        int loudest = 0;
        for (int i = 0; i + 1 < N; i += 2)
            loudest = std::max(loudest, std::abs(static_cast<int>(static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8)))));
        if (loudest > Options.Level16.load())
            Options.Level16 = loudest;
    }
    if (!PacedByAudio() || BytesPerSecond <= 0)
        return;
    // One tick for every second of audio, so the phases are measured in
    // frames however fast the device delivers.
    AudioBytes += N;
    while (AudioBytes >= BytesPerSecond) {
        AudioBytes -= BytesPerSecond;
        Dispatcher.Post(Life.Token(), [this] {
            Tick();
        });
    }
}

} // namespace kestrune
