#pragma once

#include "common/IDispatcher.h"
#include "recognition/TFingerprintGenerator.h"
#include "recognition/TLookupResult.h"
#include "recognition/TRecognitionClient.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace kestrune {

// The recognition worker of one track (`MBThread`): finishes the track's
// fingerprint, asks the lookup service for it and hands the answer to the
// window thread.
//
// The worker never touches the list or the track's record itself: it hands
// its steps to the window thread through the dispatcher and waits until they
// have run there, and it posts Ended as its very last act, whichever way it
// ends (result, unknown, failed query, terminated). Whoever owns the worker
// keeps serving the dispatcher until Ended has run before destroying it.
class TRecognitionWorker {
public:
    // The steps the worker hands over; all run on the window thread.
    struct TSteps {
        std::function<void(const TLookupResult& Result)> ShowResult;
        // Id: the identifier to keep for a fingerprint that is never queried.
        std::function<void(const std::string& Id)> ShowUnknown;
        std::function<void(const std::string& Error)> QueryFailed;
        std::function<void()> Ended;
    };

    // The identifier kept for audio that cannot be identified (silence, too
    // short): it is never sent to the service.
    static constexpr const char* NoFingerprintId = "00000000-0000-0000-0000-000000000000";

    // Starts at once. Duration: the track's length in whole seconds.
    TRecognitionWorker(std::shared_ptr<TRecognitionClient> Client, std::unique_ptr<TFingerprintGenerator> Trm,
                       int Duration, IDispatcher& Dispatcher, TLifetimeToken Owner, TSteps Steps);
    // Asks the worker to terminate and joins it. Only once Ended has run, or
    // from a thread that does not serve the dispatcher while the worker may
    // still hand over work.
    ~TRecognitionWorker();
    TRecognitionWorker(const TRecognitionWorker&) = delete;
    TRecognitionWorker& operator=(const TRecognitionWorker&) = delete;

    // Asks the worker to end as soon as it can; it then leaves the row as it
    // was. Any thread.
    void Terminate();
    bool Terminated() const { return TerminateRequested.load(); }

private:
    void Execute();

    std::shared_ptr<TRecognitionClient> Client;
    std::unique_ptr<TFingerprintGenerator> Trm;
    int Duration;
    IDispatcher& Dispatcher;
    TLifetimeToken Owner; // the steps' owner: once it is gone they are dropped
    TSteps Steps;
    std::atomic<bool> TerminateRequested{false};
    std::thread Thread; // last: starts once everything above is in place
};

} // namespace kestrune
