// Agreement with the Xiph command-line tools: oggdec plays what TVorbisOut
// writes, and TVorbisIn decodes what oggenc writes to exactly oggdec's
// samples.

#include "formats/TVorbisIn.h"
#include "formats/TVorbisOut.h"
#include "formats/VorbisTestHelpers.h"
#include "formats/WavTestHelpers.h"

#include <gtest/gtest.h>

namespace kestrune::test {
namespace {

// The format and the 16-bit samples of a canonical WAV file that oggdec wrote.
struct TWav {
    int Channels = 0;
    std::uint32_t Rate = 0;
    int Bits = 0;
    std::vector<std::int16_t> Samples;
};

TWav ReadOggdecWav(const std::string& File)
{
    const auto b = ReadWholeFile(File);
    TWav w;
    // oggdec writes RIFF, "fmt " of 16 bytes, then "data".
    if (b.size() < 44 || std::string(b.begin(), b.begin() + 4) != "RIFF" ||
        std::string(b.begin() + 36, b.begin() + 40) != "data") {
        ADD_FAILURE() << "unexpected WAV layout from oggdec in " << File;
        return w;
    }
    w.Channels = Le16At(b, 22);
    w.Rate = Le32At(b, 24);
    w.Bits = Le16At(b, 34);
    const std::uint32_t size = std::min<std::uint32_t>(Le32At(b, 40), static_cast<std::uint32_t>(b.size() - 44));
    w.Samples = AsSamples16(std::vector<std::uint8_t>(b.begin() + 44, b.begin() + 44 + size));
    return w;
}

struct TCase {
    int Rate;
    int Channels;
    int Frames;
};

class VorbisPeer : public testing::TestWithParam<TCase> {};

TEST_P(VorbisPeer, OggdecDecodesWhatWeWriteWithTheRightFormatAndLength)
{
    KESTRUNE_REQUIRE_TOOL("oggdec");
    const auto c = GetParam();
    TTempDir dir;
    const auto pcm = AsBytes(Noise16(c.Frames, c.Channels, 11, 9000));
    std::string failure;
    ASSERT_TRUE(EncodeOgg(dir.File("ours.ogg"), {c.Rate, 16, c.Channels}, pcm, {}, &failure)) << failure;
    ASSERT_EQ(RunCommand("oggdec -Q -o " + ShellQuote(dir.File("d.wav")) + " " + ShellQuote(dir.File("ours.ogg"))), 0);
    const TWav w = ReadOggdecWav(dir.File("d.wav"));
    EXPECT_EQ(w.Rate, static_cast<std::uint32_t>(c.Rate));
    EXPECT_EQ(w.Channels, c.Channels);
    EXPECT_EQ(w.Samples.size(), static_cast<size_t>(c.Frames) * c.Channels);
    // And our reader agrees with oggdec on our own file, sample for sample.
    TVorbisIn in;
    in.SetFileName(dir.File("ours.ogg"));
    EXPECT_EQ(AsSamples16(ReadAll(in)), w.Samples);
}

TEST_P(VorbisPeer, WeDecodeWhatOggencWritesExactlyAsOggdecDoes)
{
    KESTRUNE_REQUIRE_TOOL("oggenc");
    KESTRUNE_REQUIRE_TOOL("oggdec");
    const auto c = GetParam();
    TTempDir dir;
    const auto samples = Sine16(c.Frames, c.Channels, c.Rate, 440, 20000);
    WriteWholeFile(dir.File("in.wav"), PcmWavImage(samples, c.Channels, c.Rate));
    ASSERT_EQ(
        RunCommand("oggenc -Q -q 2 -o " + ShellQuote(dir.File("theirs.ogg")) + " " + ShellQuote(dir.File("in.wav"))),
        0);
    ASSERT_EQ(RunCommand("oggdec -Q -o " + ShellQuote(dir.File("ref.wav")) + " " + ShellQuote(dir.File("theirs.ogg"))),
              0);
    const TWav ref = ReadOggdecWav(dir.File("ref.wav"));
    ASSERT_EQ(ref.Bits, 16);
    TVorbisIn in;
    in.SetFileName(dir.File("theirs.ogg"));
    EXPECT_EQ(in.InSampleRate(), static_cast<int>(ref.Rate));
    EXPECT_EQ(in.InChannels(), ref.Channels);
    const auto ours = AsSamples16(ReadAll(in));
    EXPECT_EQ(ours.size(), static_cast<size_t>(c.Frames) * c.Channels);
    EXPECT_TRUE(ours == ref.Samples) << "ours " << ours.size() << " samples, oggdec " << ref.Samples.size();
}

INSTANTIATE_TEST_SUITE_P(Formats, VorbisPeer,
                         testing::Values(TCase{44100, 2, 44100 * 2 + 17}, TCase{48000, 1, 30011},
                                         TCase{22050, 2, 22050 + 5}));

TEST(VorbisPeer, ChainedFilesOggencWritesDecodeLikeOggdec)
{
    KESTRUNE_REQUIRE_TOOL("oggenc");
    KESTRUNE_REQUIRE_TOOL("oggdec");
    TTempDir dir;
    // Two oggenc files end to end make a chained file with two serials.
    // (With a first link of only a few pages, libvorbisfile, and so oggdec,
    // start at the second link; our reader does not, so the links here are
    // long enough for oggdec to be the reference.)
    WriteWholeFile(dir.File("a.wav"), PcmWavImage(Sine16(88200, 2, 44100, 440, 15000), 2, 44100));
    WriteWholeFile(dir.File("b.wav"), PcmWavImage(Sine16(66151, 2, 44100, 660, 15000), 2, 44100));
    ASSERT_EQ(
        RunCommand("oggenc -Q -q 2 -s 1 -o " + ShellQuote(dir.File("a.ogg")) + " " + ShellQuote(dir.File("a.wav"))), 0);
    ASSERT_EQ(
        RunCommand("oggenc -Q -q 2 -s 2 -o " + ShellQuote(dir.File("b.ogg")) + " " + ShellQuote(dir.File("b.wav"))), 0);
    auto chained = ReadWholeFile(dir.File("a.ogg"));
    const auto b = ReadWholeFile(dir.File("b.ogg"));
    chained.insert(chained.end(), b.begin(), b.end());
    WriteWholeFile(dir.File("ab.ogg"), chained);
    ASSERT_EQ(RunCommand("oggdec -Q -o " + ShellQuote(dir.File("ref.wav")) + " " + ShellQuote(dir.File("ab.ogg"))), 0);
    const TWav ref = ReadOggdecWav(dir.File("ref.wav"));
    TVorbisIn in;
    in.SetFileName(dir.File("ab.ogg"));
    const auto ours = AsSamples16(ReadAll(in));
    EXPECT_EQ(ours.size(), 154351u * 2);
    EXPECT_TRUE(ours == ref.Samples) << "ours " << ours.size() << " samples, oggdec " << ref.Samples.size();
}

} // namespace
} // namespace kestrune::test
