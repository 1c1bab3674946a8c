#include "devices/TInputLevelCheck.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

namespace kestrune {
namespace {

constexpr int Rate = 1000; // small blocks; the check counts seconds in frames
constexpr int Frames = 4 * Rate;

// Sample value of channel C in frame F (signed, full scale of the depth).
using TSignal = std::function<int(int F, int C)>;

std::vector<std::uint8_t> Pcm(int Bits, int Channels, const TSignal& Signal)
{
    std::vector<std::uint8_t> out;
    for (int f = 0; f < Frames; ++f)
        for (int c = 0; c < Channels; ++c) {
            const int v = Signal(f, c);
            if (Bits == 8) {
                out.push_back(static_cast<std::uint8_t>(v + 128));
                continue;
            }
            for (int b = 0; b < Bits / 8; ++b)
                out.push_back(static_cast<std::uint8_t>((v >> (8 * b)) & 0xFF));
        }
    return out;
}

struct TResult {
    TInputLevelWarning Warning = TInputLevelWarning::ilNone;
    int AtFrame = -1; // the frame the block that warned ended in
    int Warnings = 0;
    std::int64_t Clips = 0;
};

TResult Check(int Bits, int Channels, const TSignal& Signal, int Block)
{
    const std::vector<std::uint8_t> pcm = Pcm(Bits, Channels, Signal);
    const int frameBytes = Channels * Bits / 8;
    TInputLevelCheck check;
    check.Reset(Bits, Channels, Rate);
    TResult result;
    for (std::size_t at = 0; at < pcm.size(); at += static_cast<std::size_t>(Block)) {
        const int n = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(Block), pcm.size() - at));
        const TInputLevelWarning w = check.Feed(pcm.data() + at, n);
        if (w == TInputLevelWarning::ilNone)
            continue;
        ++result.Warnings;
        result.Warning = w;
        result.AtFrame = static_cast<int>((at + static_cast<std::size_t>(n)) / static_cast<std::size_t>(frameBytes));
    }
    result.Clips = check.Clips();
    return result;
}

int Sine(int F, double Dbfs, int Full)
{
    return static_cast<int>(std::lround(Full * std::pow(10.0, Dbfs / 20) * std::sin(F * 0.3)));
}

TEST(InputLevelCheck, WarnsOnceAboutSilenceOrClippingInTheFirstSeconds)
{
    using W = TInputLevelWarning;
    struct TCase {
        const char* Name;
        int Bits;
        int Channels;
        TSignal Signal;
        W Warning;
        std::int64_t Clips;
    };
    const TCase cases[] = {
        {"digital silence", 16, 2, [](int, int) { return 0; }, W::ilNearSilence, 0},
        {"steady 32: -60.2 dBFS", 16, 2, [](int, int) { return -32; }, W::ilNearSilence, 0},
        {"steady 33: -59.9 dBFS", 16, 2, [](int, int) { return 33; }, W::ilNone, 0},
        {"quiet, then loud after the first seconds", 16, 2,
         [](int F, int) { return F < 3 * Rate ? 5 : Sine(F, -10, 32768); }, W::ilNearSilence, 0},
        {"music at -20 dBFS", 16, 2, [](int F, int) { return Sine(F, -20, 32768); }, W::ilNone, 0},
        {"a loud master: single full-scale peaks", 16, 2,
         [](int F, int) { return F % 50 == 0 ? 32767 : (F % 50 == 1 ? -32768 : Sine(F, -6, 32768)); }, W::ilNone, 0},
        {"two samples at full scale are not yet a clip", 16, 2, [](int F, int) { return F % 100 < 2 ? 32767 : 1000; },
         W::ilNone, 0},
        {"full scale of opposite signs is no run", 16, 1, [](int F, int) { return F % 2 ? 32767 : -32768; }, W::ilNone,
         0},
        {"three at the top in one channel, the other quiet", 16, 2,
         [](int F, int C) { return C == 0 && F >= 1500 && F < 1503 ? 32767 : 100 * C; }, W::ilClipping, 1},
        {"the bottom clips too", 16, 2, [](int F, int) { return F >= 10 && F < 20 ? -32768 : 2000; }, W::ilClipping, 2},
        {"clipping after the first seconds: counted, not warned", 16, 2,
         [](int F, int) { return F >= 3500 && F < 3510 ? 32767 : 2000; }, W::ilNone, 2},
        {"8-bit silence", 8, 2, [](int, int) { return 0; }, W::ilNearSilence, 0},
        {"8-bit, one step above silence", 8, 2, [](int F, int) { return F % 7 == 0 ? 1 : 0; }, W::ilNone, 0},
        {"8-bit clipping", 8, 2, [](int F, int) { return F >= 100 && F < 104 ? 127 : 10; }, W::ilClipping, 2},
        {"24-bit clipping", 24, 2, [](int F, int) { return F >= 100 && F < 104 ? -8388608 : 10; }, W::ilClipping, 2},
        {"24-bit near silence", 24, 1, [](int, int) { return 8388; }, W::ilNearSilence, 0},
    };
    for (const TCase& c : cases) {
        // Whole frames, and blocks cut inside samples and frames, give the same.
        for (const int block : {c.Channels * c.Bits / 8 * 100, 7, 1}) {
            const TResult r = Check(c.Bits, c.Channels, c.Signal, block);
            EXPECT_EQ(r.Warning, c.Warning) << c.Name << ", blocks of " << block;
            EXPECT_EQ(r.Warnings, c.Warning == W::ilNone ? 0 : 1) << c.Name << ", blocks of " << block;
            EXPECT_EQ(r.Clips, c.Clips) << c.Name << ", blocks of " << block;
            // Silence is only known once the first seconds are over.
            if (c.Warning == W::ilNearSilence) {
                EXPECT_GE(r.AtFrame, 3 * Rate) << c.Name;
            }
        }
    }
}

TEST(InputLevelCheck, ClippingIsToldAtOnceAndSilenceAfterwardsIsNot)
{
    const TResult r = Check(
        16, 2, [](int F, int) { return F < 5 ? 32767 : 0; }, 400);
    EXPECT_EQ(r.Warning, TInputLevelWarning::ilClipping);
    EXPECT_EQ(r.Warnings, 1);
    EXPECT_LE(r.AtFrame, 100);
}

TEST(InputLevelCheck, UnreadableFormatSaysNothing)
{
    TInputLevelCheck check;
    check.Reset(12, 2, 44100);
    const std::vector<std::uint8_t> silence(44100 * 4 * 4, 0);
    EXPECT_EQ(check.Feed(silence.data(), static_cast<int>(silence.size())), TInputLevelWarning::ilNone);
    EXPECT_TRUE(check.Finished());
    EXPECT_FALSE(TInputLevelCheck::Text(TInputLevelWarning::ilNearSilence, false).empty());
    EXPECT_NE(TInputLevelCheck::Text(TInputLevelWarning::ilClipping, true),
              TInputLevelCheck::Text(TInputLevelWarning::ilClipping, false));
}

} // namespace
} // namespace kestrune
