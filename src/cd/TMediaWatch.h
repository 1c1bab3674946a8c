#pragma once

#include "cd/ICdDrive.h"
#include "common/IDispatcher.h"
#include "common/TLifetime.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace kestrune {

// Notices a disc being put into, taken out of or swapped in one drive, the
// way a drive without change notifications is watched: a thread of its own
// asks the provider for the medium's stamp (ICdDriveProvider::MediaStamp)
// every interval and compares it with the stamp taken when the disc was
// last read. A change is reported once, on the window thread.
//
// Nothing is probed while the owner marks itself busy (a grab reads the
// drive, a query works on the disc it read); a change found then is reported
// once the owner is idle again. Drives the provider cannot watch start no
// thread at all.
class TMediaWatch {
public:
    TMediaWatch(IDispatcher& Dispatcher, std::shared_ptr<ICdDriveProvider> Provider, std::function<void()> OnChange);
    ~TMediaWatch();
    TMediaWatch(const TMediaWatch&) = delete;
    TMediaWatch& operator=(const TMediaWatch&) = delete;

    // Window thread. From now on the drive Name is watched (empty: none),
    // and the medium as it is now counts as known: the owner has just read
    // it. A change already found but not yet delivered is dropped.
    void Watch(const std::string& Name);
    // Window thread. While busy nothing is probed.
    void SetBusy(bool Busy);
    // Window thread. Ends the thread and watches nothing until the next
    // Watch.
    void Stop();

    // How often the medium is probed; a second unless a test wants it
    // faster. Takes effect at the next wait.
    void SetInterval(std::chrono::milliseconds Interval);

private:
    void Run();
    void Deliver(std::uint64_t Generation, const std::string& Before);

    IDispatcher& FDispatcher;
    std::shared_ptr<ICdDriveProvider> FProvider;
    std::function<void()> FOnChange;

    std::mutex FMutex;
    std::condition_variable FWake;
    std::thread FThread;
    bool FStop = false;
    bool FBusy = false;
    std::string FName;
    std::string FKnown;           // the stamp of the medium the owner last read
    std::uint64_t FGeneration = 0; // counts Watch calls: a late finding for an old baseline is dropped
    std::chrono::milliseconds FInterval{1000};

    TLifetime Life;
};

} // namespace kestrune
