// Our fingerprints against fpcalc, the lookup service's own tool, on the same
// audio: the service can only match what its tool would have sent.
#include "recognition/TChromaprintLibrary.h"
#include "recognition/TFingerprintGenerator.h"
#include "recognition/TestMusic.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace kestrune;
using namespace kestrune::test;

namespace {

std::string FpcalcFingerprint(const std::string& File)
{
    // fpcalc says "Error decoding audio frame (End of file)" and exits with 3
    // on a file shorter than the length it was asked for; its fingerprint is
    // still printed and whole.
    std::string out;
    RunCommand("fpcalc -length 120 " + ShellQuote(File) + " 2>/dev/null", &out);
    const auto at = out.find("FINGERPRINT=");
    if (at == std::string::npos)
        return "";
    return out.substr(at + 12, out.find('\n', at) - at - 12);
}

} // namespace

TEST(FingerprintPeer, SameAsFpcalc)
{
    KESTRUNE_REQUIRE_TOOL("fpcalc");
    KESTRUNE_REQUIRE_TOOL("sox");
    struct TCase {
        const char* Name;
        int Seconds, Rate, Channels, Bits;
    };
    // Longer than the 120 s both stop at, short and whole, and 8-bit capture.
    const TCase cases[] = {
        {"long stereo", 150, 22050, 2, 16}, {"short mono", 25, 44100, 1, 16}, {"8-bit", 30, 11025, 2, 8}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        const auto music = Music(c.Seconds, c.Rate, c.Channels, c.Bits == 8 ? 256 : 1);
        const std::string wide = dir.File("wide.wav");
        WriteWholeFile(wide, PcmWavImage(music, c.Channels, c.Rate));
        std::string file = wide;
        std::vector<std::uint8_t> pcm = AsBytes(music);
        if (c.Bits == 8) {
            file = dir.File("narrow.wav");
            ASSERT_EQ(RunCommand("sox -D " + ShellQuote(wide) + " -b 8 " + ShellQuote(file)), 0);
            pcm.clear();
            for (std::int16_t s : music)
                pcm.push_back(static_cast<std::uint8_t>(s / 256 + 128));
        }

        TFingerprintGenerator generator(TChromaprintLibrary::Load(), c.Rate, c.Channels, c.Bits);
        for (size_t at = 0; at < pcm.size(); at += 8192)
            generator.Feed(pcm.data() + at, static_cast<int>(std::min<size_t>(8192, pcm.size() - at)));
        const TFingerprint ours = generator.Finish();
        ASSERT_FALSE(ours.Compressed.empty());
        EXPECT_EQ(ours.Compressed, FpcalcFingerprint(file));
    }
}
