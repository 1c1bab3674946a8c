#include "cli/TCliJobListener.h"

#include <chrono>

namespace kestrune::cli {

void TCliJobListener::JobFinished(TJobKind, TJobOutcome O, const std::string& R)
{
    Out.EndProgress();
    Ended = true;
    Outcome = O;
    Reason = R;
}

void TCliJobListener::Wait(IDispatcher& Dispatcher, const std::atomic<bool>& Interrupted,
                           const std::function<void()>& Stop)
{
    Serve(Dispatcher, Interrupted, [this] { return Ended; }, Stop);
}

void TCliJobListener::Serve(IDispatcher& Dispatcher, const std::atomic<bool>& Interrupted,
                            const std::function<bool()>& Done, const std::function<void()>& Stop)
{
    bool stopped = false;
    while (!Dispatcher.WaitServing(Done, std::chrono::milliseconds(100))) {
        if (Interrupted.load() && !stopped) {
            stopped = true;
            Stop();
        }
    }
}

} // namespace kestrune::cli
