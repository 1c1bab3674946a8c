#pragma once

#include "devices/ICaptureStream.h"
#include "devices/IPlaybackStream.h"
#include "devices/TDeviceInfo.h"
#include "pipeline/TAudioFormat.h"

#include <memory>
#include <string>
#include <vector>

namespace kestrune {

// Sound devices through libasound. PcmName is the ALSA name without the
// "alsa:" prefix ("default", "hw:0,0", "plughw:1", "pulse", ...).
//
// Streams are opened with a period of 4096 bytes and a buffer of several
// periods, which gives the latency of four queued 4096-byte capture buffers
// and of nine 8192-byte playback buffers.
class TAlsaBackend {
public:
    static std::vector<TDeviceInfo> CaptureDevices();
    static std::vector<TDeviceInfo> PlaybackDevices();
    // Those of Candidates that the device accepts exactly (no conversion
    // beyond what the device's own plugins do), in the order given.
    static std::vector<TAudioFormat> CaptureFormats(const std::string& PcmName,
                                                    const std::vector<TAudioFormat>& Candidates);
    // Raise EACSException naming the device when it cannot be opened in Format.
    static std::unique_ptr<ICaptureStream> OpenCapture(const std::string& PcmName,
                                                       const TAudioFormat& Format, int TimeoutMs);
    static std::unique_ptr<IPlaybackStream> OpenPlayback(const std::string& PcmName,
                                                         const TAudioFormat& Format, int TimeoutMs);
};

} // namespace kestrune
