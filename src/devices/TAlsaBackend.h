#pragma once

#include "devices/IDeviceBackend.h"

#include <memory>
#include <string>
#include <vector>

namespace kestrune {

// Sound devices through libasound, under the prefix "alsa:". Names are
// ALSA's ("default", "hw:0,0", "plughw:1", "pulse", ...). The mixer of a
// device is the simple mixer of its card.
//
// Streams are opened with a period of 4096 bytes and a buffer of several
// periods, which gives the latency of four queued 4096-byte capture buffers
// and of nine 8192-byte playback buffers.
class TAlsaBackend final : public IDeviceBackend {
public:
    std::string Prefix() const override { return "alsa:"; }
    bool Virtual() const override { return false; }
    std::vector<TDeviceInfo> CaptureDevices() override;
    std::vector<TDeviceInfo> PlaybackDevices() override;
    std::optional<TDeviceInfo> Unlisted(const std::string&) override { return std::nullopt; }
    // Those of Candidates that the device accepts exactly (no conversion
    // beyond what the device's own plugins do), in the order given.
    std::vector<TAudioFormat> CaptureFormats(const std::string& PcmName,
                                             const std::vector<TAudioFormat>& Candidates) override;
    std::unique_ptr<ICaptureSource> CaptureSource(const std::string& PcmName) override;
    std::unique_ptr<IPlaybackStream> OpenPlayback(const std::string& PcmName, const TAudioFormat& Format, bool RealTime,
                                                  int TimeoutMs) override;
    std::unique_ptr<IMixer> OpenMixer(const std::string& PcmName) override;
    std::string MixerKey(const std::string& PcmName) override;
};

} // namespace kestrune
