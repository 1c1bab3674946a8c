#include "recognition/TRateLimiter.h"

#include <algorithm>

namespace kestrune {

TRateLimiter::TRateLimiter(int C, std::chrono::milliseconds P)
    : Count(static_cast<std::size_t>(std::max(1, C))), Period(P)
{
}

bool TRateLimiter::Acquire(const std::atomic<bool>& Cancel, TClock::time_point* Slot)
{
    std::unique_lock lock(Mutex);
    TClock::time_point start = TClock::now();
    if (Starts.size() >= Count)
        start = std::max(start, Starts[Starts.size() - Count] + Period);
    Starts.push_back(start);
    if (Slot)
        *Slot = start;
    while (Starts.size() > Count)
        Starts.pop_front();
    // A cancelled caller keeps its reserved slot: giving it back could let a
    // later caller start too soon after the ones before it.
    return !Wake.wait_until(lock, start, [&] { return Cancel.load(); });
}

void TRateLimiter::Interrupt()
{
    {
        std::lock_guard lock(Mutex);
    }
    Wake.notify_all();
}

} // namespace kestrune
