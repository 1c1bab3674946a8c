#pragma once

#include "common/IDispatcher.h"

#include <QObject>

#include <functional>
#include <string>
#include <thread>

namespace kestrune {

// The window thread of the desktop program: work is queued on the GUI thread's
// event loop, and a sender waits for its work there. The thread that creates
// the dispatcher (the GUI thread) is its window thread; the dispatcher lives
// as long as the application's windows.
class TQtDispatcher final : public QObject, public IDispatcher {
    Q_OBJECT
public:
    explicit TQtDispatcher(QObject* Parent = nullptr);

    void Post(const TLifetimeToken& Owner, TWork Work) override;
    void Send(const TLifetimeToken& Owner, TWork Work) override;
    // Serves posted and sent work and timers, but no user input: a window that
    // waits for its workers must not start a second command meanwhile.
    bool WaitServing(const std::function<bool()>& Done, std::chrono::milliseconds Timeout) override;
    bool IsWindowThread() const override;

    // Posted work that throws cannot hand its exception to anyone: it is
    // reported here (the program shows it as an error box). Without a handler
    // it is written to the Qt log.
    std::function<void(const std::string& Message)> OnUnhandled;

private:
    void RunGuarded(const TWork& Work);
    const std::thread::id WindowThread;
};

} // namespace kestrune
