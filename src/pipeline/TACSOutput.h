#pragma once

#include "common/TComponent.h"
#include "pipeline/TACSInput.h"
#include "pipeline/TACSThread.h"
#include "pipeline/TInputLock.h"
#include "pipeline/TInputSlot.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

namespace kestrune {

enum class TACSOutputStatus { tosBusy = 0, tosPaused = 1, tosIdle = 2 };

using TOutputDoneEvent = std::function<void(TComponent* Sender)>;
using TOutputProgressEvent = std::function<void(TComponent* Sender)>;
using TThreadExceptionEvent = std::function<void(TComponent* Sender, const std::exception& E)>;

// The end of a chain: pulls its Input block by block on a worker thread of
// its own.
//
// Threads: the owner (window thread) calls Run, Stop, Status, Progress, the
// Input setter and destroys the output. OpenOutput runs inside Run on the
// owner's thread; WriteStep and CloseOutput run on the worker. OnProgress,
// OnDone and OnThreadException are raised on the worker, except a failure of
// OpenOutput, which is reported on the thread that called Run. OnDone fires
// only after a normal end, OnThreadException only after a failure.
//
// A concrete output's destructor must call DestroyWorker() first, while the
// object is still whole: a run still going is then ended and its destination
// completed, so nothing already recorded is lost.
class TACSOutput : public TComponent, public IInputUser {
public:
    TACSOutput();
    ~TACSOutput() override;

    void Run();
    void Stop();
    TACSOutputStatus Status() const;
    // Percent of the input read (halves to even); -1 for an input without a
    // fixed length; 0 without input or for an empty one.
    int Progress() const;
    void SetStepDelay(int Milliseconds) { Worker->SetStepDelay(Milliseconds); }
    int StepDelay() const { return Worker->StepDelay(); }
    bool SuspendWhenIdle() const { return Worker->SuspendWhenIdle.load(); }
    void SetSuspendWhenIdle(bool Value) { Worker->SuspendWhenIdle = Value; }

    TACSInput* Input() const { return Slot.Get(); }
    virtual void SetInput(TACSInput* Value);

    bool Busy() const { return FBusy.load(); }
    // Blocks until the output is idle and the events of the run that ended
    // have been raised, or the timeout passes; true when idle. Not to be
    // called from the output's own event handlers.
    bool WaitForIdle(std::chrono::milliseconds Timeout) const;

    TOutputDoneEvent OnDone;
    TOutputProgressEvent OnProgress;
    TThreadExceptionEvent OnThreadException;

protected:
    // One bounded block of work; false when the run is over.
    virtual bool WriteStep(bool Abort) = 0;
    // Completes and releases the destination, closes the input.
    virtual void CloseOutput() = 0;
    // Opens the input and prepares the destination. On failure it leaves
    // nothing open behind it.
    virtual void OpenOutput() = 0;

    void DestroyWorker();

    // How the run that is being closed ended, for CloseOutput: stopped by
    // the owner (Stop, or the output's destruction) rather than at the end
    // of its input, or failed. Both clear when the next run starts.
    bool RunStopped() const { return FRunStopped.load(); }
    bool RunFailed() const { return FRunFailed.load(); }

    // Step helpers shared by the concrete outputs.
    // Fires OnProgress when the percentage changed since the last report.
    void UpdateProgress();
    // Input.ReadBlock under InputLock; raises when no input is assigned.
    int ReadFromInput(void* Buffer, int Size);

    // What ReadFrames gathered: Count whole frames at the start of the
    // buffer; Ended once the input has no more.
    struct TFrames {
        int Count = 0;
        bool Ended = false;
    };
    // The writers' one pull: reads the input under InputLock into Buffer
    // (Capacity bytes) behind what the last call held back, and hands over
    // whole frames of FrameBytes bytes. An input may end a block inside a
    // frame; the rest of that frame is held for the next call (and moved to
    // the start of Buffer then). With Fill, frames are handed over only as
    // a full Buffer or at the end of the input, and what was gathered waits
    // when the input has nothing this time; without it, whatever whole
    // frames one read brought. A part frame at the very end of the input is
    // dropped. Buffer must be the same for every call of a run.
    TFrames ReadFrames(std::uint8_t* Buffer, int Capacity, int FrameBytes, bool Fill);
    // Whole frames gathered but not handed over (a stopped run takes them;
    // they are then at the start of Buffer). Forgets them.
    int TakeHeldFrames();
    // The assigned input; raises "Input is not assigned." without one.
    TACSInput& RequireInput() const;

    void InputRemoved(TACSInput* Gone) override;

    std::atomic<bool> CanOutput{false};
    int LastProgress = 0;
    TInputLock InputLock;

private:
    void FinishRun();
    void HandleStepFailure(const std::exception& E);
    void SetIdle();
    void EventsDelivered();
    class TDeliveryGuard;

    // ReadFrames' bytes held back: HeldBytes from Buffer + HeldAt.
    int HeldAt = 0;
    int HeldBytes = 0;
    int HeldFrameBytes = 1;

    TInputSlot Slot{*this, InputLock};
    std::atomic<bool> FBusy{false};
    std::atomic<bool> FRunStopped{false};
    std::atomic<bool> FRunFailed{false};
    std::atomic<bool> Delivering{false};
    mutable std::mutex IdleMutex;
    mutable std::condition_variable IdleSignal;
    std::unique_ptr<TACSThread> Worker;
};

} // namespace kestrune
