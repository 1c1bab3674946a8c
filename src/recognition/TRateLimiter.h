#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace kestrune {

// Keeps requests to a service at or under Count per Period, however many
// threads ask at once: each caller gets the next free start time and waits
// for it. Any thread.
class TRateLimiter {
public:
    using TClock = std::chrono::steady_clock;

    TRateLimiter(int Count, std::chrono::milliseconds Period);

    // Waits for the caller's turn. False when Cancel became true first (the
    // turn is then given up); wake such waiters with Interrupt. Slot, when
    // given, receives the start time the caller was given.
    bool Acquire(const std::atomic<bool>& Cancel, TClock::time_point* Slot = nullptr);
    // Wakes every waiter so that it can look at its cancel flag again.
    void Interrupt();

private:
    const std::size_t Count;
    const std::chrono::milliseconds Period;
    std::mutex Mutex;
    std::condition_variable Wake;
    std::deque<TClock::time_point> Starts; // the last Count start times handed out
};

} // namespace kestrune
