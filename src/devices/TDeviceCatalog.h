#pragma once

#include "devices/ICaptureStream.h"
#include "devices/IPlaybackStream.h"
#include "devices/TDeviceInfo.h"
#include "pipeline/TAudioFormat.h"

#include <memory>
#include <string>
#include <vector>

namespace kestrune {

// What sound devices the machine has, in the order every list shows them:
// real devices first (ALSA, then the PulseAudio server's sources or sinks),
// virtual ones after them. A virtual device is never chosen by itself: the
// owner picks index 0 only after checking that it is real (Virtual clear).
//
// Threads: any; every call asks the platform afresh except the counts, which
// are read once per process (the device counts kept for the whole run).
class TDeviceCatalog {
public:
    // Capture devices: ALSA devices that capture, PulseAudio sources
    // (pulse:default first, monitors included), then virtual:demo.
    static std::vector<TDeviceInfo> CaptureDevices();
    // The same, with a configured device added at the end when it is a
    // virtual:PATH.wav not listed yet (so a configured file is honoured and
    // shown).
    static std::vector<TDeviceInfo> CaptureDevices(const std::string& Configured);
    // Playback devices: ALSA devices that play, PulseAudio sinks
    // (pulse:default first), then virtual:null.
    static std::vector<TDeviceInfo> PlaybackDevices();
    static std::vector<TDeviceInfo> PlaybackDevices(const std::string& Configured);

    // The formats of the quality list, in its order, that Device can capture,
    // from the device's real capabilities. Empty for a device that cannot be
    // opened. Virtual devices convert, so they accept all twelve.
    static std::vector<TAudioFormat> CaptureFormats(const std::string& Device);

    // The twelve formats of the quality list in its order: 11025, 22050 and
    // 44100 Hz; for each mono 8-bit, mono 16-bit, stereo 8-bit, stereo 16-bit.
    static const std::vector<TAudioFormat>& QualityFormats();
    // The quality list's text for a format ("22050  Hz, Stereo, 16-bit"),
    // spacing included; empty for a format outside the list.
    static std::string QualityString(const TAudioFormat& Format);

    // The device counts of the whole run (read on the first call), and the
    // name behind an index of the lists above.
    static int CaptureDeviceCount();
    static int PlaybackDeviceCount();
    static std::string CaptureDeviceName(int Index);
    static std::string PlaybackDeviceName(int Index);

    static bool IsVirtualName(const std::string& Device);

    // Opens a device by its name in Format. RealTime paces the virtual
    // devices like a card (real devices always run in real time); TimeoutMs
    // bounds every wait for a device that stops delivering or taking audio.
    // Raises EACSException naming the device when it cannot be opened.
    static std::unique_ptr<ICaptureStream> OpenCapture(const std::string& Device, const TAudioFormat& Format,
                                                       bool RealTime, int TimeoutMs);
    static std::unique_ptr<IPlaybackStream> OpenPlayback(const std::string& Device, const TAudioFormat& Format,
                                                         bool RealTime, int TimeoutMs);
};

} // namespace kestrune
