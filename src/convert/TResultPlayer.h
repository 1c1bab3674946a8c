#pragma once

#include "common/IDialogs.h"
#include "common/IDispatcher.h"
#include "common/TLifetime.h"
#include "devices/TAudioOut.h"
#include "pipeline/TACSFileIn.h"

#include <string>

namespace kestrune {

// Plays a finished conversion on the sound device the user chose for
// listening, so the result is heard where it was made. A device that cannot
// be opened, or fails while playing, is a warning with its reason.
//
// Threads: every call on the window thread (the dispatcher's); a failure on
// the playback worker is posted there.
class TResultPlayer {
public:
    TResultPlayer(IDialogs& Dialogs, IDispatcher& Dispatcher);
    ~TResultPlayer();
    TResultPlayer(const TResultPlayer&) = delete;
    TResultPlayer& operator=(const TResultPlayer&) = delete;

    // Empty: the first playback device.
    void SetDevice(const std::string& Device);
    const std::string& Device() const { return AudioOut1.Device(); }

    // Starts playing Result, a reader whose file name is set; it must stay
    // alive until the playback has ended or Stop returned.
    void Play(TACSFileIn& Result);
    bool Playing() const { return AudioOut1.Busy(); }
    // Stops the playback; returns once the device is idle.
    void Stop();

    TAudioOut& Output() { return AudioOut1; }

private:
    IDialogs& Dialogs;
    IDispatcher& Dispatcher;
    TAudioOut AudioOut1;
    TLifetime Life;
};

} // namespace kestrune
