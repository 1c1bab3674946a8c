#pragma once

#include <cstdint>

namespace kestrune {

// An open playback device taking PCM in the format it was opened with.
// Destroying it drops what is still queued and closes the device.
//
// Threads: one thread at a time (the playing output's worker).
class IPlaybackStream {
public:
    virtual ~IPlaybackStream() = default;
    // Queues Size bytes (whole frames). Blocks while the device's queue is
    // full; a device that takes nothing for the stream's timeout raises
    // EACSException.
    virtual void Write(const void* Data, int Size) = 0;
    // Bytes queued and not yet played.
    virtual std::int64_t QueuedBytes() = 0;
    // Waits until everything queued has been played, at most for the time
    // the queue needs plus the timeout; raises EACSException past that.
    virtual void Drain() = 0;
};

} // namespace kestrune
