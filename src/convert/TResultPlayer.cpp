#include "convert/TResultPlayer.h"

#include <chrono>

namespace kestrune {

namespace {
// A device that stops taking audio ends its wait after its own timeout; this
// only bounds how long the window waits on top of it.
constexpr std::chrono::seconds StopWait{10};
} // namespace

TResultPlayer::TResultPlayer(IDialogs& D, IDispatcher& Disp) : Dialogs(D), Dispatcher(Disp)
{
    AudioOut1.SetVolume(255);
    // Raised on the worker, or on this thread when the device cannot be opened.
    AudioOut1.OnThreadException = [this](TComponent*, const std::exception& E) {
        const std::string message = E.what();
        Dispatcher.Post(Life.Token(), [this, message] { Dialogs.Warning(message); });
    };
}

TResultPlayer::~TResultPlayer()
{
    Life.End();
    if (AudioOut1.Busy()) {
        AudioOut1.Stop();
        AudioOut1.WaitForIdle(StopWait);
    }
}

void TResultPlayer::SetDevice(const std::string& Device)
{
    if (!AudioOut1.Busy())
        AudioOut1.SetDevice(Device);
}

void TResultPlayer::Play(TACSFileIn& Result)
{
    if (AudioOut1.Busy())
        Stop();
    AudioOut1.SetInput(&Result);
    AudioOut1.Run();
}

void TResultPlayer::Stop()
{
    if (!AudioOut1.Busy())
        return;
    AudioOut1.Stop();
    AudioOut1.WaitForIdle(StopWait);
}

} // namespace kestrune
