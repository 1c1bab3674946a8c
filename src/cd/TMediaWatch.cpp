#include "cd/TMediaWatch.h"

#include <optional>
#include <utility>

namespace kestrune {

namespace {

// A probe that fails counts as "cannot tell": it must never end the watch's
// thread or report a change that did not happen.
std::optional<std::string> Probe(ICdDriveProvider& Provider, const std::string& Name)
{
    try {
        return Provider.MediaStamp(Name);
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace

TMediaWatch::TMediaWatch(IDispatcher& Dispatcher, std::shared_ptr<ICdDriveProvider> Provider,
                         std::function<void()> OnChange)
    : FDispatcher(Dispatcher), FProvider(std::move(Provider)), FOnChange(std::move(OnChange))
{
}

TMediaWatch::~TMediaWatch()
{
    Life.End();
    Stop();
}

void TMediaWatch::Watch(const std::string& Name)
{
    // The baseline is taken here, on the caller's thread, so that a change
    // right after the owner read the disc is not mistaken for the baseline.
    const std::optional<std::string> stamp = Name.empty() ? std::nullopt : Probe(*FProvider, Name);
    bool start = false;
    {
        const std::lock_guard<std::mutex> lock(FMutex);
        ++FGeneration;
        FName = stamp ? Name : std::string();
        FKnown = stamp.value_or(std::string());
        start = stamp.has_value() && !FThread.joinable();
        if (start)
            FStop = false;
    }
    if (start)
        FThread = std::thread([this] { Run(); });
}

void TMediaWatch::SetBusy(bool Busy)
{
    const std::lock_guard<std::mutex> lock(FMutex);
    FBusy = Busy;
}

void TMediaWatch::Stop()
{
    {
        const std::lock_guard<std::mutex> lock(FMutex);
        FStop = true;
        ++FGeneration;
        FName.clear();
    }
    FWake.notify_all();
    if (FThread.joinable())
        FThread.join();
}

void TMediaWatch::SetInterval(std::chrono::milliseconds Interval)
{
    const std::lock_guard<std::mutex> lock(FMutex);
    FInterval = Interval;
}

void TMediaWatch::Run()
{
    std::unique_lock<std::mutex> lock(FMutex);
    for (;;) {
        FWake.wait_for(lock, FInterval, [this] { return FStop; });
        if (FStop)
            return;
        if (FBusy || FName.empty())
            continue;
        const std::string name = FName;
        const std::uint64_t generation = FGeneration;
        // The probe may take a moment on a real drive; the window thread
        // must not wait for it.
        lock.unlock();
        const std::optional<std::string> stamp = Probe(*FProvider, name);
        lock.lock();
        if (!stamp || generation != FGeneration || FBusy || *stamp == FKnown)
            continue;
        std::string before = std::exchange(FKnown, *stamp);
        lock.unlock();
        FDispatcher.Post(Life.Token(),
                         [this, generation, before = std::move(before)] { Deliver(generation, before); });
        lock.lock();
    }
}

void TMediaWatch::Deliver(std::uint64_t Generation, const std::string& Before)
{
    {
        const std::lock_guard<std::mutex> lock(FMutex);
        // The owner has read the drive since (or watches another one): what
        // was found is already known to it.
        if (Generation != FGeneration)
            return;
        // Busy since the finding: forget it, so that the first probe after
        // the grab or query finds the change again and reports it then.
        if (FBusy) {
            FKnown = Before;
            return;
        }
    }
    if (FOnChange)
        FOnChange();
}

} // namespace kestrune
