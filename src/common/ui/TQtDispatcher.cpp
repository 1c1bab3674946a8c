#include "common/ui/TQtDispatcher.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QtGlobal>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <stdexcept>

namespace kestrune {

TQtDispatcher::TQtDispatcher(QObject* Parent) : QObject(Parent), WindowThread(std::this_thread::get_id()) {}

bool TQtDispatcher::IsWindowThread() const
{
    return std::this_thread::get_id() == WindowThread;
}

void TQtDispatcher::RunGuarded(const TWork& Work)
{
    // An exception must not unwind through Qt's event loop, which is not
    // built for it.
    std::string message;
    try {
        Work();
        return;
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
        message = "Unknown error";
    }
    if (OnUnhandled)
        OnUnhandled(message);
    else
        qWarning("Unhandled error: %s", message.c_str());
}

void TQtDispatcher::Post(const TLifetimeToken& Owner, TWork Work)
{
    // The dispatcher lives on the GUI thread, so a queued call on it runs
    // there whichever thread posts.
    QMetaObject::invokeMethod(
        this,
        [this, Owner, Work = std::move(Work)] {
            // Owners die on this thread: the answer holds until the work ends.
            if (Owner.Alive())
                RunGuarded(Work);
        },
        Qt::QueuedConnection);
}

void TQtDispatcher::Send(const TLifetimeToken& Owner, TWork Work)
{
    if (IsWindowThread()) {
        if (Owner.Alive())
            Work();
        return;
    }
    struct THandOver {
        std::mutex Mutex;
        std::condition_variable Signal;
        bool Done = false;
        std::exception_ptr Failure;
    };
    // Shared, so that a hand-over still queued when the application quits
    // never touches a sender's stack.
    auto handOver = std::make_shared<THandOver>();
    QMetaObject::invokeMethod(
        this,
        [handOver, Owner, Work = std::move(Work)] {
            try {
                if (Owner.Alive())
                    Work();
            } catch (...) {
                handOver->Failure = std::current_exception();
            }
            std::lock_guard lock(handOver->Mutex);
            handOver->Done = true;
            handOver->Signal.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(handOver->Mutex);
    handOver->Signal.wait(lock, [&] { return handOver->Done; });
    if (handOver->Failure)
        std::rethrow_exception(handOver->Failure);
}

bool TQtDispatcher::WaitServing(const std::function<bool()>& Done, std::chrono::milliseconds Timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    // Done may turn true without any event (a worker clearing a flag), so a
    // timer wakes the loop now and then to ask again.
    QTimer wake;
    wake.setInterval(20);
    wake.start();
    for (;;) {
        if (Done())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    }
}

} // namespace kestrune
