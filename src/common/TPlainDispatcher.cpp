#include "common/TPlainDispatcher.h"

#include <exception>

namespace kestrune {

TPlainDispatcher::TPlainDispatcher() : WindowThread(std::this_thread::get_id()) {}

bool TPlainDispatcher::IsWindowThread() const
{
    return std::this_thread::get_id() == WindowThread;
}

void TPlainDispatcher::Post(const TLifetimeToken& Owner, TWork Work)
{
    {
        std::lock_guard lock(Mutex);
        Queue.push_back({Owner, std::move(Work)});
    }
    Changed.notify_all();
}

void TPlainDispatcher::Send(const TLifetimeToken& Owner, TWork Work)
{
    if (IsWindowThread()) {
        if (Owner.Alive())
            Work();
        return;
    }
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool done = false;
    std::exception_ptr failure;
    // The hand-over itself always runs, so the sender is released even when
    // the owner is gone by then; only the owner's work is skipped.
    Post(TLifetimeToken::Unowned(), [&] {
        try {
            if (Owner.Alive())
                Work();
        } catch (...) {
            failure = std::current_exception();
        }
        // Notified under the lock: once the sender sees done it returns and
        // its condition variable is gone, so nothing may touch it after.
        std::lock_guard lock(doneMutex);
        done = true;
        doneSignal.notify_all();
    });
    std::unique_lock lock(doneMutex);
    doneSignal.wait(lock, [&] { return done; });
    if (failure)
        std::rethrow_exception(failure);
}

bool TPlainDispatcher::RunOne(std::unique_lock<std::mutex>& Lock)
{
    if (Queue.empty())
        return false;
    TItem item = std::move(Queue.front());
    Queue.pop_front();
    Lock.unlock();
    // Owners die on this thread, so the answer cannot change before the work runs.
    if (item.Owner.Alive())
        item.Work();
    Lock.lock();
    return true;
}

int TPlainDispatcher::ProcessPending()
{
    std::unique_lock lock(Mutex);
    int count = 0;
    for (auto n = Queue.size(); n > 0 && RunOne(lock); --n)
        ++count;
    return count;
}

bool TPlainDispatcher::WaitServing(const std::function<bool()>& Done, std::chrono::milliseconds Timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    std::unique_lock lock(Mutex);
    for (;;) {
        while (RunOne(lock)) {
        }
        lock.unlock();
        const bool finished = Done();
        lock.lock();
        if (finished)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        // Done may turn true without anything being queued (a worker clearing a
        // flag), so wake now and then to ask again; not so often that an idle
        // wait through a long recording costs the machine anything.
        Changed.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(100)));
    }
}

void TPlainDispatcher::Exec()
{
    std::unique_lock lock(Mutex);
    QuitRequested = false;
    while (!QuitRequested) {
        if (!RunOne(lock))
            Changed.wait(lock, [&] { return QuitRequested || !Queue.empty(); });
    }
}

void TPlainDispatcher::Quit()
{
    {
        std::lock_guard lock(Mutex);
        QuitRequested = true;
    }
    Changed.notify_all();
}

} // namespace kestrune
