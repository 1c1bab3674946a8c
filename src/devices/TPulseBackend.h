#pragma once

#include "devices/IDeviceBackend.h"

#include <memory>
#include <string>
#include <vector>

namespace kestrune {

// Sound devices through a PulseAudio server (PipeWire's pulse server answers
// too), under the prefix "pulse:". Source and sink names are given without the "pulse:" prefix;
// "default" is the server's default source or sink. Monitors of sinks are
// sources like any other: recording one records what the card plays.
//
// The server is found as every client finds it (PULSE_SERVER,
// PULSE_RUNTIME_PATH, XDG_RUNTIME_DIR); none is started. Every exchange with
// the server has a deadline, so a server that stops answering ends the call
// with an error.
class TPulseBackend final : public IDeviceBackend {
public:
    std::string Prefix() const override { return "pulse:"; }
    bool Virtual() const override { return false; }
    // Empty when no server answers or libpulse is missing.
    std::vector<TDeviceInfo> CaptureDevices() override;
    std::vector<TDeviceInfo> PlaybackDevices() override;
    std::optional<TDeviceInfo> Unlisted(const std::string&) override { return std::nullopt; }
    // The server converts, so every candidate is accepted when the source
    // exists; empty when it does not or no server answers.
    std::vector<TAudioFormat> CaptureFormats(const std::string& Source,
                                             const std::vector<TAudioFormat>& Candidates) override;
    std::unique_ptr<ICaptureSource> CaptureSource(const std::string& Source) override;
    std::unique_ptr<IPlaybackStream> OpenPlayback(const std::string& Sink, const TAudioFormat& Format, bool RealTime,
                                                  int TimeoutMs) override;
    // Every source and sink of the server is on its one mixer.
    std::unique_ptr<IMixer> OpenMixer(const std::string& Source) override;
    std::string MixerKey(const std::string&) override { return "pulse:"; }
};

} // namespace kestrune
