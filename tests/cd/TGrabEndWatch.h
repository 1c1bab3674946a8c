#pragma once

#include "cd/TCdGrabber.h"

namespace kestrune::test {

// Grabber events that note only the end of a grab (its 100 %); clear Ended
// before the next one.
struct TGrabEndWatch final : ICdGrabberEvents {
    bool Ended = false;
    void OnMediaChange() override {}
    void OnOperationProgress(double P) override { Ended = Ended || P == 100.0; }
    void OnGrabRetry(int, int) override {}
    void OnFreeDBQueryStatus(int) override {}
};

} // namespace kestrune::test
