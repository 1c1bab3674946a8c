#pragma once

#include "devices/IDeviceBackend.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrune {

// The stand-in sound card, under the prefix "virtual:". Names are "demo",
// "null" or the path of a WAV file.
//
// Capture: "demo" is a built-in signal (44100 Hz, stereo, 16-bit) of three
// songs separated by a few seconds of quiet; "PATH.wav" plays a WAV file.
// The audio is delivered in the format asked for (converted by
// TSampleConverter), either in real time (a Read waits until its audio is
// due, as on a card) or as fast as it is read.
//
// Like a card that keeps playing, a capture source keeps its place between
// two opens: closing and opening it again goes on where the last reader
// stopped (what was converted but not read is lost, a few milliseconds at
// most). The place is the source's own; a new source starts at the
// beginning. At the end of the audio Read returns 0, and so does every later
// open of that source.
//
// Playback: "null" consumes (in real time or at once), "PATH.wav" writes a
// 16-byte-format PCM WAV file, created anew at each open.
//
// It has no mixer.
class TVirtualBackend final : public IDeviceBackend {
public:
    std::string Prefix() const override { return "virtual:"; }
    bool Virtual() const override { return true; }
    std::vector<TDeviceInfo> CaptureDevices() override;
    std::vector<TDeviceInfo> PlaybackDevices() override;
    // A WAV file path, listed for both directions.
    std::optional<TDeviceInfo> Unlisted(const std::string& Spec) override;
    std::vector<TAudioFormat> CaptureFormats(const std::string& Spec,
                                             const std::vector<TAudioFormat>& Candidates) override;
    std::unique_ptr<ICaptureSource> CaptureSource(const std::string& Spec) override;
    std::unique_ptr<IPlaybackStream> OpenPlayback(const std::string& Spec, const TAudioFormat& Format, bool RealTime,
                                                  int TimeoutMs) override;
    std::unique_ptr<IMixer> OpenMixer(const std::string&) override { return nullptr; }
    std::string MixerKey(const std::string& Spec) override { return "virtual:" + Spec; }

    // The demo signal's format and length in frames; exposed for tests.
    static TAudioFormat DemoFormat();
    static std::int64_t DemoFrames();
};

} // namespace kestrune
