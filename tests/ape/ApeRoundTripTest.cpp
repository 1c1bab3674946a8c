// Round trips through the buffer-fed compressor and the decompressor over
// the edge cases of the format: lengths around frame boundaries, the signals
// that trigger special codes or overflow paths, every depth, channel count
// and level.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "ApeTestCodec.h"
#include "ApeTestSignals.h"
#include "ape/ApeSdk.h"

namespace kestrune::ape::test {
namespace {

constexpr std::array<TSignal, 8> kSignals = {TSignal::sgSilence,      TSignal::sgPseudoStereo, TSignal::sgFirstSilent,
                                             TSignal::sgSecondSilent, TSignal::sgNoise,        TSignal::sgSquare,
                                             TSignal::sgNegativeDc,   TSignal::sgMusic};

struct TShape {
    int32_t Level;
    int Channels;
    int Bits;
};

class ApeShortRoundTrip : public ::testing::TestWithParam<TShape> {};

TEST_P(ApeShortRoundTrip, EverySignalAtShortLengths)
{
    const TShape shape = GetParam();
    const TPcmFormat format{shape.Channels, shape.Bits, 44100};
    for (TSignal signal : kSignals) {
        for (uint32_t blocks : {0u, 1u, 5u, 3001u}) {
            SCOPED_TRACE(std::string(SignalName(signal)) + " blocks " + std::to_string(blocks));
            ExpectRoundTrip(format, MakeSignal(signal, format, blocks), shape.Level);
        }
    }
}

std::vector<TShape> AllShapes()
{
    std::vector<TShape> shapes;
    for (int32_t level : {1000, 2000, 3000, 4000, 5000})
        for (int channels : {1, 2})
            for (int bits : {8, 16, 24})
                shapes.push_back({level, channels, bits});
    return shapes;
}

INSTANTIATE_TEST_SUITE_P(Shapes, ApeShortRoundTrip, ::testing::ValuesIn(AllShapes()),
                         [](const ::testing::TestParamInfo<TShape>& param) {
                             return "L" + std::to_string(param.param.Level) + "_" +
                                    std::to_string(param.param.Channels) + "ch_" + std::to_string(param.param.Bits) +
                                    "bit";
                         });

TEST(ApeFrameBoundaries, MixedFramesWithShortLastFrame)
{
    for (int bits : {8, 16, 24}) {
        for (int channels : {1, 2}) {
            const TPcmFormat format{channels, bits, 44100};
            SCOPED_TRACE(std::to_string(channels) + "ch " + std::to_string(bits) + "bit");
            ExpectRoundTrip(format, MixedFrames(format, 73728, 1234), 1000);
        }
    }
    const TPcmFormat stereo16{2, 16, 44100};
    ExpectRoundTrip(stereo16, MixedFrames(stereo16, 73728, 5), 2000);
    ExpectRoundTrip(stereo16, MixedFrames(stereo16, 73728, 1), 3000);
}

TEST(ApeFrameBoundaries, ExactlyOneFrameAndOneMore)
{
    const TPcmFormat format{2, 16, 44100};
    for (uint32_t blocks : {73728u, 73729u})
        ExpectRoundTrip(format, MakeSignal(TSignal::sgMusic, format, blocks), 2000);
    ExpectRoundTrip(format, MakeSignal(TSignal::sgMusic, format, 294913), 4000);
}

// The 24-bit stereo noise at the high levels drives the stage-2 sums past 32
// bits; they must wrap the same way in both directions.
TEST(ApeFrameBoundaries, FullScale24BitNoiseWrapsConsistently)
{
    const TPcmFormat format{2, 24, 96000};
    for (int32_t level : {4000, 5000})
        ExpectRoundTrip(format, MakeSignal(TSignal::sgNoise, format, 20000), level);
}

} // namespace
} // namespace kestrune::ape::test
