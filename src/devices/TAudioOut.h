#pragma once

#include "devices/IPlaybackStream.h"
#include "pipeline/TACSOutput.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace kestrune {

// Plays its Input (any input: a file reader, a converter, a capture) on a
// sound device. The device is Device when set ("alsa:default",
// "pulse:default", "virtual:null", "virtual:/tmp/out.wav"), otherwise entry
// BaseChannel of TDeviceCatalog::PlaybackDevices().
//
// Each step tops the device's queue up to nine blocks of 8192 bytes; the
// worker sleeps 6 milliseconds before each step. The run ends normally when
// the input ends; closing waits until everything queued has been played
// (bounded: a device that stops playing ends the wait after Timeout).
//
// Threads: the setters on the owner's thread while idle; OpenOutput inside
// Run; WriteStep and CloseOutput on the worker.
class TAudioOut : public TACSOutput {
public:
    static constexpr int BlockSize = 8192; // bytes per queued block

    TAudioOut();
    ~TAudioOut() override;

    int BaseChannel() const { return FBaseChannel; }
    // Raises "Component is buisy" while running; with no playback device
    // stores 0; otherwise a value not below the count raises "Channel N is
    // not available".
    void SetBaseChannel(int Value);
    const std::string& Device() const { return FDevice; }
    void SetDevice(const std::string& Value);
    // 255 passes the samples unchanged; lower values scale them by Volume/255.
    std::uint8_t Volume() const { return FVolume.load(); }
    void SetVolume(std::uint8_t Value) { FVolume = Value; }
    // Virtual devices only: play in real time (default) or at once.
    void SetRealTime(bool Value) { FRealTime = Value; }
    void SetTimeout(int Milliseconds) { FTimeout = Milliseconds; }

    std::string DeviceName() const;

protected:
    void OpenOutput() override;
    bool WriteStep(bool Abort) override;
    void CloseOutput() override;

private:
    void ApplyVolume(std::uint8_t* Data, int Size) const;

    int FBaseChannel = 0;
    std::string FDevice;
    std::atomic<std::uint8_t> FVolume{255};
    bool FRealTime = true;
    int FTimeout = 3000;
    int QueueTarget = 8;
    int Bits = 16;
    std::unique_ptr<IPlaybackStream> Stream;
    std::array<std::uint8_t, BlockSize> Block{};
};

} // namespace kestrune
