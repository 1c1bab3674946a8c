#pragma once

#include "devices/ICaptureSource.h"
#include "devices/IMixer.h"
#include "devices/IPlaybackStream.h"
#include "devices/TDeviceInfo.h"
#include "pipeline/TAudioFormat.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrune {

// One family of sound devices (ALSA, a PulseAudio server, the stand-in
// card), registered with TDeviceCatalog under the prefix of its device
// names. The catalogue hands every call the name without the prefix
// ("hw:0,0" for "alsa:hw:0,0"); the lists give full names.
//
// A back-end whose library is missing lists no devices and raises, naming the
// library, when one of its devices is opened anyway.
//
// Threads: any; implementations guard their own state.
class IDeviceBackend {
public:
    virtual ~IDeviceBackend() = default;

    // "alsa:", "pulse:", "virtual:": the start of its device names.
    virtual std::string Prefix() const = 0;
    // True for stand-ins, which are used only when named.
    virtual bool Virtual() const = 0;

    virtual std::vector<TDeviceInfo> CaptureDevices() = 0;
    virtual std::vector<TDeviceInfo> PlaybackDevices() = 0;
    // A device it can open though it does not list it (a configured
    // "virtual:PATH.wav"), described for the lists; nothing otherwise.
    virtual std::optional<TDeviceInfo> Unlisted(const std::string& Name) = 0;

    // Those of Candidates that device Name can capture, in the order given;
    // empty for a device that cannot be opened.
    virtual std::vector<TAudioFormat> CaptureFormats(const std::string& Name,
                                                     const std::vector<TAudioFormat>& Candidates) = 0;
    // A capture source for Name; opening it raises EACSException naming the
    // device when it cannot be opened.
    virtual std::unique_ptr<ICaptureSource> CaptureSource(const std::string& Name) = 0;
    // Opens a playback device; raises EACSException naming the device when it
    // cannot be opened.
    virtual std::unique_ptr<IPlaybackStream> OpenPlayback(const std::string& Name, const TAudioFormat& Format,
                                                          bool RealTime, int TimeoutMs) = 0;

    // The mixer of device Name, or nullptr when it has none or it cannot be opened.
    virtual std::unique_ptr<IMixer> OpenMixer(const std::string& Name) = 0;
    // Devices whose mixer is one and the same give the same key.
    virtual std::string MixerKey(const std::string& Name) = 0;
};

} // namespace kestrune
