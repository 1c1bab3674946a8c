#pragma once

#include "common/IDialogs.h"
#include "common/IDispatcher.h"
#include "common/TJob.h"
#include "common/TLifetime.h"
#include "devices/TAudioIn.h"
#include "devices/TInputLevelCheck.h"
#include "pipeline/TAudioProcessor.h"
#include "pipeline/TNULLOut.h"

#include <atomic>
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
// A measurement must be of silence: a level above what a quiet input can
// give means music or some other sound played during the test, and levels
// taken from it would make the recorder hear silence in the middle of songs.
// Conclude asks the user before keeping such levels. The first seconds are
// also watched as a recording's are (TInputLevelCheck): an input that stays
// near silence or clips gets one warning Message while the capture runs,
// with what to do, since Kestrune sets no volume itself.
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

    // The loudest levels silence can leave: -30 dBFS of full scale, that is
    // 32768 x 10^(-30/20) = 1036 at 16 bits and 128 x 10^(-30/20) = 4 at 8
    // bits. A sound card's own noise lies far below (-50 dBFS and lower is
    // usual; 8-bit capture of it reads 0 or 1), while music, even a quiet
    // passage, peaks above it within a few seconds.
    static constexpr int QuietLimit8 = 4;
    static constexpr int QuietLimit16 = 1036;
    static bool LouderThanSilence(int Level8, int Level16) { return Level8 > QuietLimit8 || Level16 > QuietLimit16; }
    // "-42 dBFS" for a level (a fraction of full scale), "silence" for none.
    static std::string DecibelText(double Fraction);

    TJobEvents& Events() { return FEvents; }

    // Sets up the device's mixer (the line to record from; no volume), shows the countdown from 20 and runs the
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

    // The loudest sample of the latest block, as a fraction of full scale
    // (0 to 1): the level of the input right now, for a meter. Any thread.
    double InputLevel() const { return FInputLevel.load(); }
    // The phase running: 8 or 16 bits.
    int PhaseBits() { return FAudioIn1.InBitsPerSample(); }
    // The levels from before the latest Start.
    int EarlierLevel8() const { return Saved8; }
    int EarlierLevel16() const { return Saved16; }

    // After a capture that succeeded: when the levels measured are louder
    // than silence can be, warns with both sets of levels and asks whether to
    // use the new ones anyway (Yes / No); No puts the earlier ones back.
    // Then "Test finished". True when the new levels stay, which ends
    // first-run mode; a measurement the user turned down does not.
    bool Conclude(IDialogs& Dialogs);
    static std::string TooLoudText(int Level8, int Level16, int Earlier8, int Earlier16);

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
    std::atomic<double> FInputLevel{0.0};
    // The first seconds of the first phase (worker, once it runs).
    TInputLevelCheck LevelCheck;
    // Posted work finds the capture through this and does nothing once it is gone.
    TLifetime Life;
};

} // namespace kestrune
