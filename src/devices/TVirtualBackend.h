#pragma once

#include "devices/ICaptureStream.h"
#include "devices/IPlaybackStream.h"
#include "pipeline/TAudioFormat.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kestrune {

// The stand-in sound card. Spec is the device name without "virtual:".
//
// Capture: "demo" is a built-in signal (44100 Hz, stereo, 16-bit) of three
// songs separated by a few seconds of quiet; "PATH.wav" plays a WAV file.
// The audio is delivered in the format asked for (converted by
// TSampleConverter), either in real time (a Read waits until its audio is
// due, as on a card) or as fast as it is read.
//
// Like a card that keeps playing, a source keeps its place between two
// opens in the same process: closing and opening the device again goes on
// where the last reader stopped (what was converted but not read is lost, a
// few milliseconds at most). At the end of the audio Read returns 0, and so
// does every later open, until Rewind.
//
// Playback: "null" consumes (in real time or at once), "PATH.wav" writes a
// 16-byte-format PCM WAV file, created anew at each open.
class TVirtualBackend {
public:
    static std::unique_ptr<ICaptureStream> OpenCapture(const std::string& Spec, const TAudioFormat& Format,
                                                       bool RealTime);
    static std::unique_ptr<IPlaybackStream> OpenPlayback(const std::string& Spec, const TAudioFormat& Format,
                                                         bool RealTime, int TimeoutMs);
    // Starts a source from its beginning at its next open.
    static void Rewind(const std::string& Spec);
    // Frames of the source's own format already taken by readers.
    static std::int64_t SourcePosition(const std::string& Spec);
    // The demo signal's format and length in frames; exposed for tests.
    static TAudioFormat DemoFormat();
    static std::int64_t DemoFrames();
};

} // namespace kestrune
