#pragma once

#include "devices/ICaptureSource.h"
#include "devices/IDeviceBackend.h"
#include "devices/IMixer.h"
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
// owner picks an entry only after checking that it is real (Virtual clear).
//
// The devices come from back-ends registered by the prefix of their names
// ("alsa:", "pulse:", "virtual:"); every call that takes a device name goes to
// the back-end of its prefix.
//
// Threads: any. Every list asks the back-ends afresh, except the counts and
// the names behind an index, which come from one list taken once per process
// (the device counts kept for the whole run), so they always agree.
class TDeviceCatalog {
public:
    // Adds a back-end after those there are; ALSA, PulseAudio and the
    // virtual card are registered from the start. Raises
    // std::invalid_argument when its prefix is taken.
    static void Register(std::shared_ptr<IDeviceBackend> Backend);

    // Capture devices: ALSA devices that capture, PulseAudio sources
    // (pulse:default first, monitors included), then virtual:demo.
    static std::vector<TDeviceInfo> CaptureDevices();
    // The same, with a configured device added at the end when its back-end
    // can open it though it does not list it (so a configured
    // virtual:PATH.wav is honoured and shown).
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
    // name behind an index of the same lists.
    static int CaptureDeviceCount();
    static int PlaybackDeviceCount();
    static std::string CaptureDeviceName(int Index);
    static std::string PlaybackDeviceName(int Index);

    // True for a device of a stand-in back-end.
    static bool IsVirtualName(const std::string& Device);

    // A capture source for Device, from which captures are opened (see
    // ICaptureSource). Raises EACSException for a name no back-end knows.
    static std::unique_ptr<ICaptureSource> CaptureSource(const std::string& Device);
    // Opens a playback device by its name in Format. RealTime paces the
    // virtual devices like a card (real devices always run in real time);
    // TimeoutMs bounds every wait for a device that stops taking audio.
    // Raises EACSException naming the device when it cannot be opened.
    static std::unique_ptr<IPlaybackStream> OpenPlayback(const std::string& Device, const TAudioFormat& Format,
                                                         bool RealTime, int TimeoutMs);

    // The mixer of a device, or nullptr when it has none or it cannot be opened.
    static std::unique_ptr<IMixer> OpenMixer(const std::string& Device);
    // Devices that share one mixer give the same key.
    static std::string MixerKey(const std::string& Device);
};

} // namespace kestrune
