#include "recognition/TRecognitionWorker.h"

#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>

namespace kestrune {

TRecognitionWorker::TRecognitionWorker(std::shared_ptr<TRecognitionClient> C, std::unique_ptr<TFingerprintGenerator> T,
                                       int D, IDispatcher& Disp, TSteps S)
    : Client(std::move(C)), Trm(std::move(T)), Duration(D), Dispatcher(Disp), Steps(std::move(S)),
      Thread([this] { Execute(); })
{
}

TRecognitionWorker::~TRecognitionWorker()
{
    Terminate();
    if (Thread.joinable())
        Thread.join();
}

void TRecognitionWorker::Terminate()
{
    TerminateRequested = true;
    if (Client)
        Client->Interrupt();
}

void TRecognitionWorker::HandOver(const std::function<void()>& Step)
{
    // The synchronous hand-over, with its state shared with the posted work:
    // the window thread may still be signalling when this thread has already
    // seen the step done and gone on.
    struct TState {
        std::mutex Mutex;
        std::condition_variable Done;
        bool Finished = false;
        std::exception_ptr Failure;
    };
    auto state = std::make_shared<TState>();
    Dispatcher.Post([state, &Step] {
        try {
            Step();
        } catch (...) {
            state->Failure = std::current_exception();
        }
        std::lock_guard lock(state->Mutex);
        state->Finished = true;
        state->Done.notify_all();
    });
    std::unique_lock lock(state->Mutex);
    state->Done.wait(lock, [&] { return state->Finished; });
    if (state->Failure)
        std::rethrow_exception(state->Failure);
}

void TRecognitionWorker::Execute()
{
    try {
        TFingerprint fingerprint;
        double fedSeconds = 0;
        if (Trm) {
            fedSeconds = Trm->SecondsFed();
            fingerprint = Trm->Finish();
        }
        // The generator goes here, on the worker, whatever comes next.
        Trm.reset();
        if (!Terminated()) {
            if (fingerprint.Silent || fingerprint.Compressed.empty() || !Client) {
                // Silence, or too little audio to identify: never asked.
                HandOver([this] { Steps.ShowUnknown(NoFingerprintId); });
            } else {
                const int duration = Duration > 0 ? Duration : static_cast<int>(std::lround(fedSeconds));
                const TLookupResult result = Client->Lookup(fingerprint.Compressed, duration, TerminateRequested);
                if (!Terminated()) {
                    if (result.Ok)
                        HandOver([this, &result] { Steps.ShowResult(result); });
                    else if (Steps.QueryFailed)
                        HandOver([this, &result] { Steps.QueryFailed(result.Error); });
                }
            }
        }
    } catch (...) {
        // Nothing escapes the thread; the row stays as it was.
    }
    Dispatcher.Post(Steps.Ended);
}

} // namespace kestrune
