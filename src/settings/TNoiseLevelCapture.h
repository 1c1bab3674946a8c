#pragma once

#include "common/IDispatcher.h"
#include "devices/TAudioIn.h"
#include "pipeline/TAudioProcessor.h"
#include "pipeline/TNULLOut.h"
#include "settings/INoiseCaptureView.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace kestrune {

class TOptions;

// The noise-level capture of the settings window: twenty seconds of what the
// chosen capture device delivers while nothing plays, which set the levels
// under which the recorder takes a sample for quiet. The first ten seconds
// measure 8-bit capture (Level8, the largest |v - 128|), the next eleven
// 16-bit capture (Level16, the largest |s|), both stereo at 22050 Hz.
//
// Chain: AudioIn1 -> AudioProcessor1 (the data handler measures) -> NULLOut1.
//
// Two ways to drive it. Timed (a sound card): Start, then Tick once a second
// from the window's timer, as the window did. Paced by audio (a virtual file
// device delivering as fast as it can, AudioIn1().SetRealTime(false)): Start
// alone; the handler counts the audio and posts one Tick per second of it,
// and the phases end after exactly 10 and 11 seconds of frames.
//
// Threads: every public call on the window thread; the data handler runs on
// the null output's worker and writes Options.Level8/Level16 directly (they
// are atomics); its ticks reach the window thread through Dispatcher.
class TNoiseLevelCapture {
public:
    // Capture device: Options.DriverNames[Options.DriverIndex] when there is
    // one, else the catalogue's first device. Sets Level8 to 0.
    TNoiseLevelCapture(TOptions& Options, INoiseCaptureView& View, IDispatcher& Dispatcher);
    ~TNoiseLevelCapture();
    TNoiseLevelCapture(const TNoiseLevelCapture&) = delete;
    TNoiseLevelCapture& operator=(const TNoiseLevelCapture&) = delete;

    // Shows the countdown from 20 and runs the first phase.
    void Start();
    // One second has passed (the window's timer, or a second of audio).
    void Tick();
    // Ends the capture early (the window goes); the levels stay as measured.
    void Abort();
    // True from Start until "Test finished", a failure or Abort.
    bool Running() const { return FRunning; }
    int SecondsLeft() const { return FSecondsLeft; }

    TAudioIn& AudioIn1() { return FAudioIn1; }

private:
    // Ends a capture that cannot give levels: the levels from before it come back.
    void Fail(const std::string& Message);
    void OnGetData(void* Data, int& N);
    void Finish();
    bool PacedByAudio() const { return !FAudioIn1.RealTime(); }

    TOptions& Options;
    INoiseCaptureView& View;
    IDispatcher& Dispatcher;
    int Saved8 = 0;
    int Saved16 = 0;
    TAudioIn FAudioIn1;
    TAudioProcessor FAudioProcessor1;
    TNULLOut FNULLOut1;
    int FSecondsLeft = 20;
    bool FRunning = false;
    // Worker only: bytes of audio since the last posted tick, and bytes per second.
    std::int64_t AudioBytes = 0;
    std::int64_t BytesPerSecond = 0;
    // Posted work finds the capture through this and does nothing once it is gone.
    TLifetime Life;
};

} // namespace kestrune
