#pragma once

#include <string>

namespace kestrune {

// What the noise-level capture asks of its window (or of the command line).
// Called on the window thread only.
class INoiseCaptureView {
public:
    virtual ~INoiseCaptureView() = default;

    // The countdown label, such as "20 seconds remaining".
    virtual void SetTimeText(const std::string& Text) = 0;
    // The capture reached its end ("Test finished"); the levels are in the options.
    virtual void TestFinished() = 0;
    // The device failed; the capture is over and the levels are what was measured.
    virtual void CaptureFailed(const std::string& Message) = 0;
};

} // namespace kestrune
