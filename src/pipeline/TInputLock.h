#pragma once

#include <atomic>

namespace kestrune {

// Guards the swap of a running chain's input: a step holds it around each
// ReadBlock, the Input setter around the swap. A waiter sleeps on the flag
// (a futex underneath) instead of spinning.
class TInputLock {
public:
    void Acquire()
    {
        while (Flag.exchange(true, std::memory_order_acquire))
            Flag.wait(true, std::memory_order_relaxed);
    }
    void Release()
    {
        Flag.store(false, std::memory_order_release);
        Flag.notify_one();
    }
    bool Held() const { return Flag.load(std::memory_order_relaxed); }

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
    std::atomic<bool> Flag{false};
};

} // namespace kestrune
