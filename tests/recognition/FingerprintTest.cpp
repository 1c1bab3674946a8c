#include "recognition/TChromaprintLibrary.h"
#include "recognition/TFingerprintGenerator.h"
#include "recognition/TestMusic.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace kestrune;
using namespace kestrune::test;

namespace {

TFingerprint FingerprintOf(const std::vector<std::uint8_t>& Bytes, int Rate, int Channels, int Bits, int Block = 4093)
{
    TFingerprintGenerator generator(TChromaprintLibrary::Load(), Rate, Channels, Bits);
    for (size_t at = 0; at < Bytes.size(); at += static_cast<size_t>(Block))
        generator.Feed(Bytes.data() + at,
                       static_cast<int>(std::min<size_t>(static_cast<size_t>(Block), Bytes.size() - at)));
    return generator.Finish();
}

} // namespace

TEST(Fingerprint, DeterministicWholeFramesWhateverTheBlockSizes)
{
    const auto bytes = AsBytes(Music(20, 22050, 2));
    const TFingerprint a = FingerprintOf(bytes, 22050, 2, 16, 4096);
    const TFingerprint b = FingerprintOf(bytes, 22050, 2, 16, 4093); // blocks end inside frames
    EXPECT_FALSE(a.Silent);
    EXPECT_GT(a.Items, 100);
    EXPECT_FALSE(a.Compressed.empty());
    EXPECT_EQ(a.Compressed, b.Compressed);
    const TFingerprint other = FingerprintOf(AsBytes(Music(20, 22050, 1)), 22050, 1, 16);
    EXPECT_EQ(a.Compressed, other.Compressed) << "the same music in mono";
}

TEST(Fingerprint, EightBitCaptureIsWidened)
{
    // Samples that 8 bits carry exactly: the widened 8-bit audio is the same
    // audio, so the fingerprint must be the same.
    const auto wide = Music(15, 11025, 1, 256);
    std::vector<std::uint8_t> narrow;
    for (std::int16_t s : wide)
        narrow.push_back(static_cast<std::uint8_t>(s / 256 + 128));
    const TFingerprint a = FingerprintOf(AsBytes(wide), 11025, 1, 16);
    const TFingerprint b = FingerprintOf(narrow, 11025, 1, 8);
    EXPECT_FALSE(b.Compressed.empty());
    EXPECT_EQ(a.Compressed, b.Compressed);
}

TEST(Fingerprint, EnoughAfterOneHundredTwentySecondsSilenceAndShortAudio)
{
    const int rate = 11025;
    const auto bytes = AsBytes(Music(125, rate, 1));
    TFingerprintGenerator generator(TChromaprintLibrary::Load(), rate, 1, 16);
    size_t enoughAt = 0;
    for (size_t at = 0; at < bytes.size(); at += 4096) {
        const bool enough =
            generator.Feed(bytes.data() + at, static_cast<int>(std::min<size_t>(4096, bytes.size() - at)));
        if (enough && enoughAt == 0)
            enoughAt = at + 4096;
    }
    EXPECT_GE(enoughAt, 120u * rate * 2);
    EXPECT_LT(enoughAt, 120u * rate * 2 + 4096);
    EXPECT_DOUBLE_EQ(generator.SecondsFed(), 120.0);
    // The first 120 s decide: more audio after them changes nothing.
    const TFingerprint whole = generator.Finish();
    const TFingerprint capped = FingerprintOf(AsBytes(Music(120, rate, 1)), rate, 1, 16);
    EXPECT_EQ(whole.Compressed, capped.Compressed);

    const TFingerprint silence = FingerprintOf(std::vector<std::uint8_t>(10 * rate * 2, 0), rate, 1, 16);
    EXPECT_TRUE(silence.Silent);
    const TFingerprint brief = FingerprintOf(AsBytes(Music(1, rate, 1)), rate, 1, 16);
    EXPECT_FALSE(brief.Silent);
    EXPECT_TRUE(brief.Compressed.empty());
    TFingerprintGenerator unused(TChromaprintLibrary::Load(), rate, 2, 8);
    EXPECT_TRUE(unused.Finish().Silent);
}
