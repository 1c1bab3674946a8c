#include "recognition/TRecognitionWorker.h"

#include <cmath>

namespace kestrune {

TRecognitionWorker::TRecognitionWorker(std::shared_ptr<TRecognitionClient> C, std::unique_ptr<TFingerprintGenerator> T,
                                       int D, IDispatcher& Disp, TLifetimeToken O, TSteps S)
    : Client(std::move(C)), Trm(std::move(T)), Duration(D), Dispatcher(Disp), Owner(std::move(O)), Steps(std::move(S)),
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
                Dispatcher.Send(Owner, [this] { Steps.ShowUnknown(NoFingerprintId); });
            } else {
                const int duration = Duration > 0 ? Duration : static_cast<int>(std::lround(fedSeconds));
                const TLookupResult result = Client->Lookup(fingerprint.Compressed, duration, TerminateRequested);
                if (!Terminated()) {
                    if (result.Ok)
                        Dispatcher.Send(Owner, [this, &result] { Steps.ShowResult(result); });
                    else if (Steps.QueryFailed)
                        Dispatcher.Send(Owner, [this, &result] { Steps.QueryFailed(result.Error); });
                }
            }
        }
    } catch (...) {
        // Nothing escapes the thread; the row stays as it was.
    }
    Dispatcher.Post(Owner, Steps.Ended);
}

} // namespace kestrune
