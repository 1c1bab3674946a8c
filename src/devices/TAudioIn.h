#pragma once

#include "devices/ICaptureSource.h"
#include "pipeline/TACSInput.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace kestrune {

// Captures from a sound device: the start of the recorder's chain and of the
// noise-level capture.
//
// The device is Device when set (a name such as "alsa:default",
// "pulse:ksink.monitor", "virtual:demo", "virtual:/music/set.wav"),
// otherwise entry BaseChannel of TDeviceCatalog::CaptureDevices() when that
// entry is a real device. A virtual device is used only when it is named: with
// no Device and a virtual entry BaseChannel, OpenInput refuses with
// "No input driver available!" rather than record the stand-in unasked.
//
// How a recorder uses it: set Device (or BaseChannel), the three format
// properties and RecTime, put it at the start of the chain and Run the
// output. A run ends when RecTime is used up, when the owner stops the
// output, or when the device's audio ends: a virtual device at the end of
// its file makes ReadBlock return 0, so the output finishes normally
// (OnDone), and EndOfCapture() then tells the recorder not to start the
// next track. A device that fails or stops delivering for Timeout
// milliseconds makes ReadBlock raise, which ends the run through
// OnThreadException with the device's name in the message.
//
// ReadBlock hands out at most 4096 bytes (the size of one device buffer),
// whatever is asked. Size is -1 after creation and (InBitsPerSample / 8) x
// RecTime x InChannels x InSampleRate bytes once opened (negative when
// RecTime is negative: no limit).
//
// Threads: the setters and OpenInput on the owner's thread while idle;
// ReadBlock and CloseInput on the pulling output's worker.
class TAudioIn : public TACSInput {
public:
    static constexpr int BufferSize = 4096; // bytes, one device buffer
    // What the recorder, the noise capture and start-up say when no capture
    // device is chosen.
    static constexpr const char* NoDriverText = "No input driver available!";

    TAudioIn();
    ~TAudioIn() override;

    int BaseChannel() const { return FBaseChannel; }
    // Raises "Component is buisy" while open and "Channel N is not available"
    // for a value not below the number of capture devices.
    void SetBaseChannel(int Value);
    const std::string& Device() const { return FDevice; }
    void SetDevice(const std::string& Value);
    void SetInBitsPerSample(int Value) { FBits = Value; }
    void SetInChannels(int Value) { FChannels = Value; }
    void SetInSampleRate(int Value) { FRate = Value; }
    int RecTime() const { return FRecTime; }
    void SetRecTime(int Seconds) { FRecTime = Seconds; }
    // Virtual devices only: deliver in real time (default) or as fast as read.
    bool RealTime() const { return FRealTime; }
    void SetRealTime(bool Value) { FRealTime = Value; }
    // Milliseconds a device may stay silent before the run fails.
    void SetTimeout(int Milliseconds) { FTimeout = Milliseconds; }
    // True once ReadBlock returned 0 because the device's audio ended.
    bool EndOfCapture() const { return FEnded.load(); }

    int InBitsPerSample() override { return FBits; }
    int InChannels() override { return FChannels; }
    int InSampleRate() override { return FRate; }
    int TotalTime() override { return FRecTime; }
    int ReadBlock(void* Buffer, int Size) override;
    void OpenInput() override;
    void CloseInput() override;

    // The device name the next OpenInput will use; empty when there is none
    // it may use by itself.
    std::string DeviceName() const;

private:
    void CloseDevice();

    int FBaseChannel = 0;
    std::string FDevice;
    int FBits = 8;
    int FChannels = 1;
    int FRate = 8000;
    int FRecTime = 600;
    bool FRealTime = true;
    int FTimeout = 3000;
    std::int64_t RecBytes = 0;
    std::atomic<bool> FEnded{false};
    int DeviceOpenCount = 0;
    std::unique_ptr<ICaptureSource> Source; // of SourceDevice; outlives Stream
    std::string SourceDevice;
    std::unique_ptr<ICaptureStream> Stream;
    std::array<std::uint8_t, BufferSize> Own{};
};

} // namespace kestrune
