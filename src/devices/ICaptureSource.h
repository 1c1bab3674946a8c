#pragma once

#include "devices/ICaptureStream.h"
#include "pipeline/TAudioFormat.h"

#include <memory>

namespace kestrune {

// A capture device as one user holds it from one capture to the next. A
// sound card plays on by itself, so its source only remembers the name; the
// stand-in card keeps its place in its audio here, so a recorder that closes
// and opens the device between tracks goes on where it stopped, and two
// users of the same file each have their own place.
//
// Threads: one thread at a time.
class ICaptureSource {
public:
    virtual ~ICaptureSource() = default;
    // Opens the device in Format. RealTime paces a virtual device like a
    // card (real devices always run in real time); TimeoutMs bounds every
    // wait for a device that stops delivering. The source outlives the
    // stream. Raises EACSException naming the device when it cannot be opened.
    virtual std::unique_ptr<ICaptureStream> Open(const TAudioFormat& Format, bool RealTime, int TimeoutMs) = 0;
};

} // namespace kestrune
