#pragma once

#include <atomic>

namespace kestrune {

// Guards the swap of a running chain's input: a step holds it around each
// ReadBlock, the Input setter around the swap. It is a ticket lock, so a
// setter waiting for the swap is served before the worker's next step (the
// worker would otherwise take it again at once, step after step), and a
// waiter sleeps on the counter (a futex underneath) instead of spinning.
class TInputLock {
public:
    void Acquire()
    {
        const unsigned ticket = Next.fetch_add(1, std::memory_order_relaxed);
        for (;;) {
            const unsigned now = Serving.load(std::memory_order_acquire);
            if (now == ticket)
                return;
            Serving.wait(now, std::memory_order_acquire);
        }
    }
    void Release()
    {
        Serving.fetch_add(1, std::memory_order_release);
        Serving.notify_all();
    }
    bool Held() const { return Next.load(std::memory_order_relaxed) != Serving.load(std::memory_order_relaxed); }

    class TGuard {
    public:
        explicit TGuard(TInputLock& L) : Lock(L) { Lock.Acquire(); }
        ~TGuard() { Lock.Release(); }
        TGuard(const TGuard&) = delete;
        TGuard& operator=(const TGuard&) = delete;

    private:
        TInputLock& Lock;
    };

private:
    std::atomic<unsigned> Next{0};
    std::atomic<unsigned> Serving{0};
};

} // namespace kestrune
