#pragma once

#include "cli/TCliOutput.h"
#include "common/IDispatcher.h"
#include "common/TJob.h"

#include <atomic>
#include <functional>
#include <string>

namespace kestrune::cli {

// What every command that runs a job does with the job's end: the progress
// line is closed and the outcome kept for the command's result. Commands
// add their own progress and message lines on top.
class TCliJobListener : public TJobListenerBase {
public:
    explicit TCliJobListener(TCliOutput& O) : Out(O) {}

    void JobFinished(TJobKind Kind, TJobOutcome O, const std::string& R) override;

    // Serves the window thread until the job has ended; an interruption runs
    // Stop once.
    void Wait(IDispatcher& Dispatcher, const std::atomic<bool>& Interrupted, const std::function<void()>& Stop);
    // The same until Done.
    static void Serve(IDispatcher& Dispatcher, const std::atomic<bool>& Interrupted,
                      const std::function<bool()>& Done, const std::function<void()>& Stop);

    bool Ended = false;
    TJobOutcome Outcome = TJobOutcome::joFailed;
    std::string Reason;

protected:
    TCliOutput& Out;
};

} // namespace kestrune::cli
