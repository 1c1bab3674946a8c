// Round trips at the largest frames (level 5000); minutes in a debug build.
#include <gtest/gtest.h>

#include "ApeTestCodec.h"
#include "ApeTestSignals.h"

namespace kestrune::ape::test {
namespace {

TEST(ApeSlowRoundTrip, Level5000FrameBoundary)
{
    const TPcmFormat format{2, 16, 44100};
    ExpectRoundTrip(format, MakeSignal(TSignal::sgMusic, format, 1179648 + 1), 5000);
    const TPcmFormat mono24{1, 24, 48000};
    ExpectRoundTrip(mono24, MakeSignal(TSignal::sgNoise, mono24, 1179648), 5000);
}

} // namespace
} // namespace kestrune::ape::test
