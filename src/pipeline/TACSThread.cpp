#include "pipeline/TACSThread.h"

#include "pipeline/EACSException.h"

#include <chrono>

namespace kestrune {

TACSThread::TACSThread(TStep StepCallback, TDone DoneCallback, TFailure FailureCallback)
    : Step(std::move(StepCallback)), Done(std::move(DoneCallback)), Failure(std::move(FailureCallback))
{
    Thread = std::thread([this] { Execute(); });
}

TACSThread::~TACSThread()
{
    Terminate(true);
}

void TACSThread::Wake()
{
    {
        std::lock_guard lock(ParkMutex);
        WakePending = true;
    }
    ParkSignal.notify_all();
}

void TACSThread::Terminate(bool FinalStep)
{
    if (!Thread.joinable())
        return;
    {
        std::lock_guard lock(ParkMutex);
        Terminating = true;
        MakeFinalStep = FinalStep;
    }
    ParkSignal.notify_all();
    Thread.join();
}

// Waits for a wake or for termination. Returns false when the thread must end.
bool TACSThread::Park()
{
    std::unique_lock lock(ParkMutex);
    FParked = true;
    ParkSignal.wait(lock, [this] { return WakePending || Terminating; });
    if (Terminating)
        return false;
    WakePending = false;
    FParked = false;
    return true;
}

void TACSThread::Execute()
{
    bool parked = true; // created parked
    for (;;) {
        if (parked) {
            if (!Park())
                return; // a parked worker makes no further step
            parked = false;
        }
        {
            std::lock_guard lock(ParkMutex);
            if (Terminating)
                break;
        }

        const int delay = FStepDelay.load();
        if (delay > 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        bool ended = false;
        try {
            if (!Step(StopRequested.load())) {
                StopRequested = false;
                ended = true;
                Done();
            }
        } catch (const std::exception& e) {
            StopRequested = false;
            ended = true;
            Failure(e);
        } catch (...) {
            StopRequested = false;
            ended = true;
            Failure(EACSException("Unknown error while processing audio"));
        }
        if (ended && SuspendWhenIdle.load())
            parked = true;
    }

    bool finalStep = false;
    {
        std::lock_guard lock(ParkMutex);
        finalStep = MakeFinalStep;
    }
    if (finalStep) {
        try {
            Step(true);
        } catch (...) {
            // The output is going away; there is nobody left to tell.
        }
    }
}

} // namespace kestrune
