#pragma once

#include "common/IDispatcher.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace kestrune {

// A window thread without windows: a queue of work and a loop that carries it
// out. The thread that creates the dispatcher is its window thread.
class TPlainDispatcher final : public IDispatcher {
public:
    TPlainDispatcher();

    void Post(const TLifetimeToken& Owner, TWork Work) override;
    void Send(const TLifetimeToken& Owner, TWork Work) override;
    bool WaitServing(const std::function<bool()>& Done, std::chrono::milliseconds Timeout) override;
    bool IsWindowThread() const override;

    // Carry out what is queued now; returns how many items ran.
    int ProcessPending();

    // Serve the queue until Quit is called (from any thread, or from work).
    void Exec();
    void Quit();

private:
    bool RunOne(std::unique_lock<std::mutex>& Lock);

    const std::thread::id WindowThread;
    std::mutex Mutex;
    std::condition_variable Changed;
    struct TItem {
        TLifetimeToken Owner;
        TWork Work;
    };
    std::deque<TItem> Queue;
    bool QuitRequested = false;
};

} // namespace kestrune
