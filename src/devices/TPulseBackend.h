#pragma once

#include "devices/ICaptureStream.h"
#include "devices/IPlaybackStream.h"
#include "devices/TDeviceInfo.h"
#include "pipeline/TAudioFormat.h"

#include <memory>
#include <string>
#include <vector>

namespace kestrune {

// Sound devices through a PulseAudio server (PipeWire's pulse server answers
// too). Source and sink names are given without the "pulse:" prefix;
// "default" is the server's default source or sink. Monitors of sinks are
// sources like any other: recording one records what the card plays.
//
// The server is found as every client finds it (PULSE_SERVER,
// PULSE_RUNTIME_PATH, XDG_RUNTIME_DIR); none is started. Every exchange with
// the server has a deadline, so a server that stops answering ends the call
// with an error.
class TPulseBackend {
public:
    // Empty when no server answers.
    static std::vector<TDeviceInfo> CaptureDevices();
    static std::vector<TDeviceInfo> PlaybackDevices();
    // The server converts, so every candidate is accepted when the source
    // exists; empty when it does not or no server answers.
    static std::vector<TAudioFormat> CaptureFormats(const std::string& Source,
                                                    const std::vector<TAudioFormat>& Candidates);
    static std::unique_ptr<ICaptureStream> OpenCapture(const std::string& Source,
                                                       const TAudioFormat& Format, int TimeoutMs);
    static std::unique_ptr<IPlaybackStream> OpenPlayback(const std::string& Sink,
                                                         const TAudioFormat& Format, int TimeoutMs);
};

} // namespace kestrune
