#pragma once

#include "common/IDispatcher.h"
#include "common/TJob.h"
#include "common/TLifetime.h"
#include "devices/TAudioIn.h"
#include "pipeline/TAudioProcessor.h"
#include "pipeline/TNULLOut.h"

#include <cstdint>
#include <mutex>
#include <string>

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
// A job (jkNoiseCapture): Start raises Started, every second Progress (the
// fraction of the time and the countdown, "N seconds remaining"), and the end
// Finished: joSucceeded at "Test finished", joFailed with the reason when the
// device fails or there is none, joCancelled on Abort. A capture that does not
// succeed leaves Level8 and Level16 as they were before it.
//
// Two ways to drive it. Timed (a sound card): Start, then Tick once a second
// from the window's timer, as the window did. Paced by audio (a virtual file
// device delivering as fast as it can, AudioIn1().SetRealTime(false)): Start
// alone; the handler counts the audio and posts one Tick per second of it,
// and the phases end after exactly 10 and 11 seconds of frames.
//
// Threads: every public call and every event on the window thread; the data
// handler runs on the null output's worker and writes Options.Level8/Level16
// directly (they are atomics); its ticks and failures reach the window thread
// through Dispatcher.
class TNoiseLevelCapture {
public:
    // Measures Options' chosen capture device (Options.ChosenDriver()).
    TNoiseLevelCapture(TOptions& Options, IDispatcher& Dispatcher);
    ~TNoiseLevelCapture();
    TNoiseLevelCapture(const TNoiseLevelCapture&) = delete;
    TNoiseLevelCapture& operator=(const TNoiseLevelCapture&) = delete;

    TJobEvents& Events() { return FEvents; }

    // Sets up the device's mixer, shows the countdown from 20 and runs the
    // first phase. Without a chosen device it refuses with the warning
    // "No input driver available!" and changes nothing.
    void Start();
    // One second has passed (the window's timer, or a second of audio).
    void Tick();
    // Ends the capture early (the window goes); the levels from before come back.
    void Abort();
    // True from Start until its Finished.
    bool Running() const { return FRunning; }
    int SecondsLeft() const { return FSecondsLeft; }

    TAudioIn& AudioIn1() { return FAudioIn1; }

private:
    void Fail(const std::string& Message);
    void Finish(TJobOutcome Outcome, const std::string& Reason);
    // Stops the running phase; a failure the worker met on the way is taken
    // up here rather than left to a posted message that would come too late.
    void StopPhase();
    void RunPhase();
    void NoteFailure(const std::string& Message);
    void OnGetData(void* Data, int& N);
    bool PacedByAudio() const { return !FAudioIn1.RealTime(); }

    TOptions& Options;
    IDispatcher& Dispatcher;
    TJobEvents FEvents{TJobKind::jkNoiseCapture};
    int Saved8 = 0;
    int Saved16 = 0;
    TAudioIn FAudioIn1;
    TAudioProcessor FAudioProcessor1;
    TNULLOut FNULLOut1;
    int FSecondsLeft = 20;
    bool FRunning = false;
    // The first failure the worker met in this capture; empty while none.
    std::mutex FailureLock;
    std::string WorkerFailure;
    // Worker only: bytes of audio since the last posted tick, and bytes per second.
    std::int64_t AudioBytes = 0;
    std::int64_t BytesPerSecond = 0;
    // Posted work finds the capture through this and does nothing once it is gone.
    TLifetime Life;
};

} // namespace kestrune
