#pragma once

#include <atomic>
#include <memory>

namespace kestrune {

// What work handed to the window thread carries about its owner: whether the
// owner is still alive when the work comes to run. Copies are cheap and may be
// kept by any thread; only the window thread asks Alive (where owners die).
class TLifetimeToken {
public:
    TLifetimeToken() = default;
    bool Alive() const { return Flag && Flag->load(std::memory_order_acquire); }

    // For work that belongs to no object (a dispatcher's own hand-over): alive
    // for as long as the process runs.
    static TLifetimeToken Unowned()
    {
        static const auto always = std::make_shared<const std::atomic<bool>>(true);
        return TLifetimeToken(always);
    }

private:
    friend class TLifetime;
    explicit TLifetimeToken(std::shared_ptr<const std::atomic<bool>> F) : Flag(std::move(F)) {}
    std::shared_ptr<const std::atomic<bool>> Flag;
};

// Held by every object that posts work for itself to the window thread. The
// owner ends it first thing in its destructor (on the window thread), so that
// work posted for it and not yet run is dropped instead of reaching a dead
// object. Not copyable: one owner, one life.
class TLifetime {
public:
    TLifetime() = default;
    ~TLifetime() { End(); }
    TLifetime(const TLifetime&) = delete;
    TLifetime& operator=(const TLifetime&) = delete;

    TLifetimeToken Token() const { return TLifetimeToken(Flag); }
    void End() { Flag->store(false, std::memory_order_release); }

private:
    std::shared_ptr<std::atomic<bool>> Flag = std::make_shared<std::atomic<bool>>(true);
};

} // namespace kestrune
