#pragma once

namespace kestrune {

// An open capture device delivering PCM in the format it was opened with.
// Destroying it stops the capture and closes the device.
//
// Threads: one thread at a time (the worker of the output pulling the chain).
class ICaptureStream {
public:
    virtual ~ICaptureStream() = default;
    // Blocks until captured audio is there and copies at most Size bytes
    // (whole frames) into Buffer. Returns the count, or 0 when the device's
    // audio has ended (a virtual device at the end of its file). A device
    // that fails or delivers nothing for the stream's timeout raises
    // EACSException: no call waits for ever.
    virtual int Read(void* Buffer, int Size) = 0;
};

} // namespace kestrune
