#pragma once

#include "common/TLifetime.h"

#include <chrono>
#include <functional>

namespace kestrune {

// The window thread as seen by controllers and workers. Everything that
// changes a list, a label or a control runs on that thread; workers reach it
// only through this interface. The desktop program implements it with queued
// invocations on the GUI thread; TPlainDispatcher serves the command line and
// the tests.
class IDispatcher {
public:
    using TWork = std::function<void()>;

    virtual ~IDispatcher() = default;

    // Queue work for the window thread and return at once. The work runs
    // only if Owner is still alive when its turn comes; work for an owner
    // that is gone is dropped. Any thread.
    virtual void Post(const TLifetimeToken& Owner, TWork Work) = 0;

    // Hand work to the window thread and wait until it has run there (or was
    // dropped because Owner is gone). From the window thread itself the work
    // runs at once. An exception of the work is raised again in the sender.
    // Any thread; the window thread must keep serving for a sender to return.
    virtual void Send(const TLifetimeToken& Owner, TWork Work) = 0;

    // On the window thread: keep carrying out posted and sent work until Done
    // returns true or the timeout passes. Returns Done's last answer.
    virtual bool WaitServing(const std::function<bool()>& Done, std::chrono::milliseconds Timeout) = 0;

    // True when called on the window thread.
    virtual bool IsWindowThread() const = 0;
};

} // namespace kestrune
