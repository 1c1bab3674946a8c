#pragma once

namespace kestrune {

// What the grabber reports, always on the window thread.
class ICdGrabberEvents {
public:
    virtual ~ICdGrabberEvents() = default;
    virtual void OnMediaChange() = 0;
    // 0 to 100; exactly 100 ends the grab, whether it finished, failed or
    // was cancelled (GrabError tells which).
    virtual void OnOperationProgress(double Progress) = 0;
    // A sector read failed and is being read again. A retry number equal to
    // ReadAttempts before progress 100 means the sector could not be read.
    // Sector is its place on the disc (LSN).
    virtual void OnGrabRetry(int Retry, int Sector) = 0;
    // An album query's course: 1 connecting, 2 querying, then one of 3 found,
    // -1 the server could not be asked, -2 it knows no entry for the disc.
    virtual void OnFreeDBQueryStatus(int Status) = 0;
};

} // namespace kestrune
