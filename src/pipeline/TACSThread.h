#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace kestrune {

// The worker of one output. It is created parked; Wake starts it stepping.
// Each step runs after the step delay; a step that returns
// false ends the run (done callback), one that raises ends it through the
// failure callback; either way the worker parks again when SuspendWhenIdle is
// set. No exception ever leaves the thread.
class TACSThread {
public:
    using TStep = std::function<bool(bool Abort)>;
    using TDone = std::function<void()>;
    using TFailure = std::function<void(const std::exception& E)>;

    TACSThread(TStep Step, TDone Done, TFailure Failure);
    // Ends the thread as Terminate(true) does.
    ~TACSThread();
    TACSThread(const TACSThread&) = delete;
    TACSThread& operator=(const TACSThread&) = delete;

    // Window thread: let a parked worker run (a wake that arrives before the
    // worker has parked is kept, so it is never lost).
    void Wake();
    // Window thread: end the thread and wait for it. A parked worker makes no
    // further step; a running one finishes its step and, when FinalStep is
    // set, makes one more with abort set, whose result is ignored.
    void Terminate(bool FinalStep);

    bool Parked() const { return FParked.load(); }

    std::atomic<bool> SuspendWhenIdle{true};
    std::atomic<bool> StopRequested{false};

    int StepDelay() const { return FStepDelay.load(); }
    // Milliseconds to sleep before each step; above 100 is ignored.
    void SetStepDelay(int Value)
    {
        if (Value <= 100)
            FStepDelay = Value;
    }

private:
    void Execute();
    bool Park();

    TStep Step;
    TDone Done;
    TFailure Failure;

    std::atomic<int> FStepDelay{0};
    std::mutex ParkMutex;
    std::condition_variable ParkSignal;
    bool WakePending = false;
    bool Terminating = false;
    bool MakeFinalStep = true;
    std::atomic<bool> FParked{true};
    std::thread Thread;
};

} // namespace kestrune
