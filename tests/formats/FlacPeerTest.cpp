// Agreement with the flac tool: what we write, flac verifies and decodes to
// exactly our input; what flac writes, we decode exactly.

#include "formats/FlacComments.h"
#include "formats/FlacTestHelpers.h"
#include "formats/TFLACIn.h"
#include "formats/TFLACOut.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>

namespace kestrune::test {
namespace {

struct TPeerCase {
    int Bits;
    int Channels;
    int Rate;
};

std::string Name(const testing::TestParamInfo<TPeerCase>& I)
{
    return std::to_string(I.param.Bits) + "bit" + std::to_string(I.param.Channels) + "ch" +
           std::to_string(I.param.Rate);
}

// flac's options for raw PCM in the pipeline's form.
std::string RawFormat(const TPeerCase& C)
{
    return "--force-raw-format --endian=little --sign=" + std::string(C.Bits == 8 ? "unsigned" : "signed") +
           " --channels=" + std::to_string(C.Channels) + " --bps=" + std::to_string(C.Bits) +
           " --sample-rate=" + std::to_string(C.Rate);
}

const auto Cases = testing::Values(TPeerCase{8, 1, 44100}, TPeerCase{8, 2, 22050}, TPeerCase{16, 1, 48000},
                                   TPeerCase{16, 2, 44100}, TPeerCase{24, 1, 96000}, TPeerCase{24, 2, 44100});

class FlacWeWrite : public testing::TestWithParam<TPeerCase> {};

TEST_P(FlacWeWrite, FlacVerifiesItAndDecodesOurInputExactly)
{
    KESTRUNE_REQUIRE_TOOL("flac");
    const auto c = GetParam();
    TTempDir dir;
    const auto pcm = FlacPcm(30011, c.Channels, c.Bits, 21);
    // The defaults, and settings outside the streamable subset.
    for (const bool defaults : {true, false}) {
        SCOPED_TRACE(defaults ? "defaults" : "outside the subset");
        TFakeInput in({c.Rate, c.Bits, c.Channels}, pcm, static_cast<std::int64_t>(pcm.size()));
        TFLACOut out;
        out.SetFileName(dir.File("a.flac"));
        if (!defaults) {
            out.SetBlockSize(8192);
            out.SetMaxLPCOrder(16);
            out.SetMaxResidualPartitionOrder(10);
            out.SetEnableLooseMidSideStereo(true);
        }
        out.SetInput(&in);
        std::string failure;
        ASSERT_TRUE(RunToEnd(out, &failure)) << failure;

        EXPECT_EQ(RunCommand("flac -s -t " + ShellQuote(dir.File("a.flac"))), 0);
        std::remove(dir.File("a.raw").c_str());
        ASSERT_EQ(RunCommand("flac -s -d --force-raw-format --endian=little --sign=" +
                             std::string(c.Bits == 8 ? "unsigned" : "signed") + " -o " + ShellQuote(dir.File("a.raw")) +
                             " " + ShellQuote(dir.File("a.flac"))),
                  0);
        EXPECT_EQ(ReadWholeFile(dir.File("a.raw")), pcm);
        // The format as flac reads it from our STREAMINFO, in its WAV header.
        std::remove(dir.File("a.wav").c_str());
        ASSERT_EQ(RunCommand("flac -s -d -o " + ShellQuote(dir.File("a.wav")) + " " + ShellQuote(dir.File("a.flac"))),
                  0);
        const auto wav = ReadWholeFile(dir.File("a.wav"));
        ASSERT_GE(wav.size(), 44u);
        EXPECT_EQ(wav[22] | (wav[23] << 8), c.Channels);
        EXPECT_EQ(wav[24] | (wav[25] << 8) | (wav[26] << 16), c.Rate);
        EXPECT_EQ(wav[34] | (wav[35] << 8), c.Bits);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, FlacWeWrite, Cases, Name);

// Level 5 is libFLAC's preset 5, the flac tool's default: the audio takes the
// room flac -5 gives it (our file differs only in its metadata blocks), and
// less than the writer's own fixed-predictor settings.
TEST(FlacLevel, FiveMatchesTheFlacTool)
{
    KESTRUNE_REQUIRE_TOOL("flac");
    TTempDir dir;
    const TPeerCase c{16, 2, 44100};
    const auto pcm = FlacPcm(441000, c.Channels, c.Bits, 7);
    WriteWholeFile(dir.File("a.raw"), pcm);
    ASSERT_EQ(RunCommand("flac -s -5 --no-padding --no-seektable " + RawFormat(c) + " -o " +
                         ShellQuote(dir.File("tool.flac")) + " " + ShellQuote(dir.File("a.raw"))),
              0);
    std::map<int, std::size_t> sizes;
    for (const int level : {5, -1}) {
        TFakeInput in({c.Rate, c.Bits, c.Channels}, pcm, static_cast<std::int64_t>(pcm.size()));
        TFLACOut out;
        out.SetCompressionLevel(level);
        out.SetFileName(dir.File("ours.flac"));
        out.SetInput(&in);
        std::string failure;
        ASSERT_TRUE(RunToEnd(out, &failure)) << failure;
        sizes[level] = ReadWholeFile(dir.File("ours.flac")).size();
        EXPECT_EQ(RunCommand("flac -s -t " + ShellQuote(dir.File("ours.flac"))), 0);
    }
    const auto tool = static_cast<double>(ReadWholeFile(dir.File("tool.flac")).size());
    EXPECT_NEAR(static_cast<double>(sizes[5]), tool, tool * 0.005);
    EXPECT_LT(sizes[5], sizes[-1]);
}

class FlacTheyWrite : public testing::TestWithParam<TPeerCase> {};

TEST_P(FlacTheyWrite, DecodesExactlyInTFLACIn)
{
    KESTRUNE_REQUIRE_TOOL("flac");
    const auto c = GetParam();
    TTempDir dir;
    const auto pcm = FlacPcm(25000, c.Channels, c.Bits, 33);
    WriteWholeFile(dir.File("a.raw"), pcm);
    const std::string raw = ShellQuote(dir.File("a.raw"));
    // Fast and best settings, an odd block size, and a stream flac wrote to a
    // pipe, which cannot be sought back and so carries no total length.
    const std::string runs[] = {
        "flac -s -0 " + RawFormat(c) + " -o " + ShellQuote(dir.File("a.flac")) + " " + raw,
        "flac -s -8 " + RawFormat(c) + " -o " + ShellQuote(dir.File("a.flac")) + " " + raw,
        "flac -s -5 --lax -b 1000 " + RawFormat(c) + " -o " + ShellQuote(dir.File("a.flac")) + " " + raw,
        "cat " + raw + " | flac -s -5 " + RawFormat(c) + " -c - > " + ShellQuote(dir.File("a.flac")),
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run);
        std::remove(dir.File("a.flac").c_str());
        ASSERT_EQ(RunCommand(run), 0);
        TFLACIn in;
        in.SetFileName(dir.File("a.flac"));
        EXPECT_EQ(in.InBitsPerSample(), c.Bits);
        EXPECT_EQ(in.InChannels(), c.Channels);
        EXPECT_EQ(in.InSampleRate(), c.Rate);
        EXPECT_EQ(ReadAll(in, 3333), pcm);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, FlacTheyWrite, Cases, Name);

// The pipe case really is a file without a length, so the test above covers
// the reader's read-to-the-end path with a file of flac's own.
TEST(FlacTheyWrite, PipedStreamCarriesNoLengthAndIsReadWhole)
{
    KESTRUNE_REQUIRE_TOOL("flac");
    TTempDir dir;
    const auto pcm = FlacPcm(12345, 2, 16, 2);
    WriteWholeFile(dir.File("a.raw"), pcm);
    ASSERT_EQ(RunCommand("flac -s " + RawFormat({16, 2, 44100}) + " -c - < " + ShellQuote(dir.File("a.raw")) + " > " +
                         ShellQuote(dir.File("a.flac"))),
              0);
    TFLACIn in;
    in.SetFileName(dir.File("a.flac"));
    in.OpenInput();
    EXPECT_EQ(in.TotalSamples(), 0);
    EXPECT_EQ(in.Size(), -1);
    in.CloseInput();
    EXPECT_EQ(ReadAll(in), pcm);
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

// Comments written into a file of ours and into one of flac's own (with a
// seek table and padding) are what metaflac lists, the vendor string stays,
// and the audio is untouched; writing again replaces them.
TEST(FlacComments, MetaflacReadsThemAndTheAudioStays)
{
    KESTRUNE_REQUIRE_TOOL("metaflac");
    TTempDir dir;
    const auto pcm = FlacPcm(20011, 2, 16, 5);
    {
        TFakeInput in({44100, 16, 2}, pcm, static_cast<std::int64_t>(pcm.size()));
        TFLACOut out;
        out.SetFileName(dir.File("ours.flac"));
        out.SetInput(&in);
        ASSERT_TRUE(RunToEnd(out));
    }
    ASSERT_EQ(RunCommand("flac -s -d --force-raw-format --endian=little --sign=signed -o " +
                         ShellQuote(dir.File("ours.raw")) + " " + ShellQuote(dir.File("ours.flac"))),
              0);
    ASSERT_EQ(RunCommand("flac -s --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 "
                         "--sample-rate=44100 -T OLD=gone -o " +
                         ShellQuote(dir.File("theirs.flac")) + " " + ShellQuote(dir.File("ours.raw"))),
              0);
    for (const char* name : {"ours.flac", "theirs.flac"}) {
        SCOPED_TRACE(name);
        const std::string file = dir.File(name);
        const std::string vendor = dir.File("vendor.txt");
        ASSERT_EQ(RunCommand("metaflac --show-vendor-tag " + ShellQuote(file) + " > " + ShellQuote(vendor)), 0);
        const auto vendorBefore = ReadWholeFile(vendor);
        WriteFlacComments(file, {"TITLE=Intro/Outro?", "ARTIST=Zoë"});
        WriteFlacComments(file, {"TITLE=Intro/Outro?", "ARTIST=Zoë", "ALBUM=A"});
        const std::string tags = dir.File("tags.txt");
        ASSERT_EQ(RunCommand("metaflac --export-tags-to=" + ShellQuote(tags) + " " + ShellQuote(file)), 0);
        const auto listed = ReadWholeFile(tags);
        EXPECT_EQ(std::string(listed.begin(), listed.end()), "TITLE=Intro/Outro?\nARTIST=Zoë\nALBUM=A\n");
        ASSERT_EQ(RunCommand("metaflac --show-vendor-tag " + ShellQuote(file) + " > " + ShellQuote(vendor)), 0);
        EXPECT_EQ(ReadWholeFile(vendor), vendorBefore);
        EXPECT_EQ(RunCommand("flac -s -t " + ShellQuote(file)), 0);
        TFLACIn in;
        in.SetFileName(file);
        EXPECT_EQ(ReadAll(in), pcm);
    }
}

} // namespace
} // namespace kestrune::test
