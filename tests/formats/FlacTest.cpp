// The FLAC writer and reader: round trips of every depth, the properties and
// their setter rules, settings outside the streamable subset, rejected
// set-ups, files without a length, damaged input, seeking, write failures.

#include "codecs/TFLACLibrary.h"
#include "formats/FlacComments.h"
#include "formats/FlacTestHelpers.h"
#include "formats/TFLACIn.h"
#include "formats/TFLACOut.h"
#include "pipeline/EACSException.h"
#include "pipeline/TMemoryStream.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>

namespace kestrune::test {
namespace {

using TConfigure = std::function<void(TFLACOut&)>;

// Encodes Pcm from a fake input into File; ReportedSize -1 makes the input a
// capture of unknown length.
bool WriteFlac(const std::string& File, TAudioFormat F, const std::vector<std::uint8_t>& Pcm,
               const TConfigure& Configure = nullptr, std::string* Failure = nullptr, std::int64_t ReportedSize = -2)
{
    TFakeInput in(F, Pcm, ReportedSize == -2 ? static_cast<std::int64_t>(Pcm.size()) : ReportedSize);
    TFLACOut out;
    out.SetFileName(File);
    if (Configure)
        Configure(out);
    out.SetInput(&in);
    const bool ok = RunToEnd(out, Failure);
    EXPECT_EQ(in.Opens.load(), in.Closes.load());
    return ok;
}

// STREAMINFO fields of a file this writer made (it starts right after "fLaC").
struct TStreamInfo {
    unsigned MinBlock = 0, MaxBlock = 0, Rate = 0, Channels = 0, Bits = 0;
    std::uint64_t Total = 0;
};

TStreamInfo StreamInfoOf(const std::vector<std::uint8_t>& F)
{
    EXPECT_GE(F.size(), 42u);
    EXPECT_EQ(std::string(F.begin(), F.begin() + 4), "fLaC");
    TStreamInfo s;
    const std::uint8_t* b = F.data() + 8;
    s.MinBlock = (b[0] << 8) | b[1];
    s.MaxBlock = (b[2] << 8) | b[3];
    std::uint64_t v = 0;
    for (int i = 10; i < 18; ++i)
        v = (v << 8) | b[i];
    s.Rate = static_cast<unsigned>(v >> 44);
    s.Channels = static_cast<unsigned>((v >> 41) & 7) + 1;
    s.Bits = static_cast<unsigned>((v >> 36) & 31) + 1;
    s.Total = v & ((1ULL << 36) - 1);
    return s;
}

struct TDepthCase {
    int Bits;
    int Channels;
};

class FlacRoundTrip : public testing::TestWithParam<TDepthCase> {};

// 10000 frames: two full 4608-frame blocks and a short one, so the block
// stepping and the final frame are both crossed.
TEST_P(FlacRoundTrip, DecodesToExactlyWhatWasEncoded)
{
    const auto c = GetParam();
    TTempDir dir;
    const TAudioFormat f{44100, c.Bits, c.Channels};
    const auto pcm = FlacPcm(10000, c.Channels, c.Bits, 17u + static_cast<unsigned>(c.Bits));
    ASSERT_TRUE(WriteFlac(dir.File("a.flac"), f, pcm));

    const auto info = StreamInfoOf(ReadWholeFile(dir.File("a.flac")));
    EXPECT_EQ(info.MaxBlock, 4608u);
    EXPECT_EQ(info.Total, 10000u);
    EXPECT_EQ(info.Bits, static_cast<unsigned>(c.Bits));
    EXPECT_EQ(info.Channels, static_cast<unsigned>(c.Channels));

    TFLACIn in;
    in.SetFileName(dir.File("a.flac"));
    EXPECT_EQ(in.InBitsPerSample(), c.Bits);
    EXPECT_EQ(in.InChannels(), c.Channels);
    EXPECT_EQ(in.InSampleRate(), 44100);
    in.OpenInput();
    EXPECT_EQ(in.Size(), static_cast<std::int64_t>(pcm.size()));
    EXPECT_EQ(in.TotalSamples(), 10000);
    in.CloseInput();
    // Odd chunk sizes cut frames and samples apart.
    for (int chunk : {1, 4097, 1 << 20})
        EXPECT_EQ(ReadAll(in, chunk), pcm) << "chunk " << chunk;
}

INSTANTIATE_TEST_SUITE_P(Depths, FlacRoundTrip,
                         testing::Values(TDepthCase{8, 1}, TDepthCase{8, 2}, TDepthCase{16, 1}, TDepthCase{16, 2},
                                         TDepthCase{24, 1}, TDepthCase{24, 2}),
                         [](const auto& I) {
                             return std::to_string(I.param.Bits) + "bit" + std::to_string(I.param.Channels) + "ch";
                         });

TEST(FlacOut, DefaultsAndSetterRules)
{
    TFLACOut out;
    EXPECT_EQ(out.BlockSize(), 4608);
    EXPECT_TRUE(out.EnableMidSideStereo());
    EXPECT_FALSE(out.EnableLooseMidSideStereo());
    EXPECT_EQ(out.MaxLPCOrder(), 0);
    EXPECT_EQ(out.MinResidualPartitionOrder(), 0);
    EXPECT_EQ(out.MaxResidualPartitionOrder(), 0);
    EXPECT_EQ(out.QLPCoeffPrecision(), 0);
    EXPECT_FALSE(out.QLPCoeffPrecisionSearch());
    EXPECT_FALSE(out.BestModelSearch());
    EXPECT_FALSE(out.Verify());
    EXPECT_EQ(out.FileMode(), TFileOutputMode::foRewrite);

    out.SetEnableMidSideStereo(false);
    out.SetEnableLooseMidSideStereo(true);
    EXPECT_TRUE(out.EnableMidSideStereo());
    EXPECT_TRUE(out.EnableLooseMidSideStereo());

    out.SetBestModelSearch(true);
    EXPECT_TRUE(out.BestModelSearch());
    EXPECT_TRUE(out.EnableMidSideStereo());
    EXPECT_FALSE(out.EnableLooseMidSideStereo());

    // Clearing either flag changes nothing else.
    out.SetEnableMidSideStereo(false);
    out.SetBestModelSearch(false);
    out.SetEnableLooseMidSideStereo(false);
    EXPECT_FALSE(out.EnableMidSideStereo());

    out.SetFileMode(TFileOutputMode::foAppend);
    EXPECT_EQ(out.FileMode(), TFileOutputMode::foRewrite);
}

// Each step encodes one whole block: 10000 frames at 4608 take three steps
// (4608, 4608, 784) and the step after the short one ends the run. With an
// input that hands out everything asked for, that is one read per block and
// the read that finds the end.
TEST(FlacOut, StepsAreWholeBlocks)
{
    TTempDir dir;
    const auto pcm = FlacPcm(10000, 2, 16, 1);
    TFakeInput in({44100, 16, 2}, pcm, static_cast<std::int64_t>(pcm.size()));
    in.ChunkBytes = 1 << 30;
    int progress = 0;
    TFLACOut out;
    out.SetFileName(dir.File("a.flac"));
    out.SetInput(&in);
    out.OnProgress = [&](TComponent*) { ++progress; };
    ASSERT_TRUE(RunToEnd(out));
    EXPECT_EQ(in.Reads.load(), 4);
    // Progress seen at the start of the steps after each block: 46 %, 92 %, 100 %.
    EXPECT_EQ(progress, 3);
}

struct TSettingsCase {
    const char* Name;
    TAudioFormat Format;
    TConfigure Configure;
    unsigned MaxBlock; // expected in STREAMINFO
};

class FlacSettings : public testing::TestWithParam<TSettingsCase> {};

// Every setting the dialog can make is honoured, the ones outside the
// streamable subset included, and the audio survives each of them.
TEST_P(FlacSettings, AreHonouredAndLossless)
{
    const auto& c = GetParam();
    TTempDir dir;
    const auto pcm = FlacPcm(12000, c.Format.Channels, c.Format.BitsPerSample, 5);
    std::string failure;
    ASSERT_TRUE(WriteFlac(dir.File("a.flac"), c.Format, pcm, c.Configure, &failure)) << failure;
    EXPECT_EQ(StreamInfoOf(ReadWholeFile(dir.File("a.flac"))).MaxBlock, c.MaxBlock);
    TFLACIn in;
    in.SetFileName(dir.File("a.flac"));
    EXPECT_EQ(ReadAll(in), pcm);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FlacSettings,
    testing::Values(
        TSettingsCase{"BlockAboveSubset", {44100, 16, 2}, [](TFLACOut& o) { o.SetBlockSize(8192); }, 8192},
        TSettingsCase{"LargestBlock", {44100, 16, 1}, [](TFLACOut& o) { o.SetBlockSize(65535); }, 65535},
        // 0 lets libFLAC choose (1152 frames for fixed predictors).
        TSettingsCase{"BlockChosenByLibFlac", {44100, 16, 2}, [](TFLACOut& o) { o.SetBlockSize(0); }, 1152},
        TSettingsCase{"SmallBlock", {44100, 8, 2}, [](TFLACOut& o) { o.SetBlockSize(16); }, 16},
        TSettingsCase{"LpcOrderAboveSubset",
                      {44100, 16, 2},
                      [](TFLACOut& o) {
                          o.SetMaxLPCOrder(32);
                          o.SetBlockSize(1024);
                      },
                      1024},
        TSettingsCase{"PartitionOrderAboveSubset",
                      {44100, 24, 2},
                      [](TFLACOut& o) {
                          o.SetMaxLPCOrder(8);
                          o.SetMinResidualPartitionOrder(2);
                          o.SetMaxResidualPartitionOrder(12);
                      },
                      4608},
        TSettingsCase{"EverythingOn",
                      {48000, 16, 2},
                      [](TFLACOut& o) {
                          o.SetMaxLPCOrder(12);
                          o.SetQLPCoeffPrecisionSearch(true);
                          o.SetBestModelSearch(true);
                          o.SetEnableLooseMidSideStereo(true);
                          o.SetVerify(true);
                          o.SetMaxResidualPartitionOrder(6);
                      },
                      4608},
        TSettingsCase{
            "MonoWithMidSideFlags", {22050, 16, 1}, [](TFLACOut& o) { o.SetEnableLooseMidSideStereo(true); }, 4608},
        TSettingsCase{"OddRateOutsideSubset", {12345, 16, 2}, [](TFLACOut& o) { o.SetMaxLPCOrder(4); }, 4608}),
    [](const auto& I) { return std::string(I.param.Name); });

struct TPrecisionCase {
    int Bits;
    std::uint16_t Asked;
    std::uint16_t Kept;
};

class FlacPrecision : public testing::TestWithParam<TPrecisionCase> {};

TEST_P(FlacPrecision, ClampedToThirtyOneBitsAndKept)
{
    const auto c = GetParam();
    TTempDir dir;
    const auto pcm = FlacPcm(5000, 2, c.Bits, 3);
    std::uint16_t after = 0;
    std::string failure;
    TFakeInput in({44100, c.Bits, 2}, pcm, static_cast<std::int64_t>(pcm.size()));
    TFLACOut out;
    out.SetFileName(dir.File("a.flac"));
    out.SetMaxLPCOrder(8);
    out.SetQLPCoeffPrecision(c.Asked);
    out.SetInput(&in);
    ASSERT_TRUE(RunToEnd(out, &failure)) << failure;
    after = out.QLPCoeffPrecision();
    EXPECT_EQ(after, c.Kept);
    TFLACIn reader;
    reader.SetFileName(dir.File("a.flac"));
    EXPECT_EQ(ReadAll(reader), pcm);
}

INSTANTIATE_TEST_SUITE_P(Cases, FlacPrecision,
                         testing::Values(TPrecisionCase{16, 20, 15}, TPrecisionCase{16, 15, 15},
                                         TPrecisionCase{24, 20, 7}, TPrecisionCase{8, 12, 12}));

// libFLAC refuses these; the user hears why and no run is reported done.
TEST(FlacOut, RefusedSetUpIsAFailureWithLibFlacsReason)
{
    struct TCase {
        const char* Name;
        TConfigure Configure;
        const char* Reason;
    };
    const TCase cases[] = {
        {"block size 8", [](TFLACOut& o) { o.SetBlockSize(8); }, "INVALID_BLOCK_SIZE"},
        {"LPC order past the block",
         [](TFLACOut& o) {
             o.SetBlockSize(16);
             o.SetMaxLPCOrder(20);
         },
         "BLOCK_SIZE_TOO_SMALL_FOR_LPC_ORDER"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        const auto pcm = FlacPcm(3000, 2, 16, 1);
        std::string failure;
        EXPECT_FALSE(WriteFlac(dir.File("a.flac"), {44100, 16, 2}, pcm, c.Configure, &failure));
        EXPECT_EQ(failure.rfind("Failed to initialize FLAC encoder.", 0), 0u) << failure;
        EXPECT_NE(failure.find(c.Reason), std::string::npos) << failure;
    }
}

TEST(FlacOut, OpenFailuresLeaveNothingOpen)
{
    std::string failure;
    const auto pcm = FlacPcm(100, 2, 16, 1);
    EXPECT_FALSE(WriteFlac("", {44100, 16, 2}, pcm, nullptr, &failure));
    EXPECT_EQ(failure, "File name is not assigned.");
    TTempDir dir;
    EXPECT_FALSE(WriteFlac(dir.File("no/such/folder/a.flac"), {44100, 16, 2}, pcm, nullptr, &failure));
    EXPECT_FALSE(failure.empty());
    // 32-bit PCM is not a pipeline depth; the writer says so.
    EXPECT_FALSE(WriteFlac(dir.File("a.flac"), {44100, 32, 2}, pcm, nullptr, &failure));
    EXPECT_EQ(failure, "Cannot encode 32 bit sound into FLAC.");
}

// A memory stream that fails every write once Limit bytes were written, as a
// full disk does.
class TFullStream final : public TStream {
public:
    explicit TFullStream(std::int64_t Limit) : Left(Limit) {}
    std::int64_t Read(void* Buffer, std::int64_t Count) override { return Inner.Read(Buffer, Count); }
    void Write(const void* Buffer, std::int64_t Count) override
    {
        if (Count > Left)
            throw EACSException("Cannot write to file \"full\". No space left on device");
        Left -= Count;
        Inner.Write(Buffer, Count);
    }
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override { return Inner.Seek(Offset, Origin); }
    std::int64_t Size() override { return Inner.Size(); }

private:
    TMemoryStream Inner;
    std::int64_t Left;
};

TEST(FlacOut, WriteFailureEndsTheRunThroughOnThreadException)
{
    for (std::int64_t limit : {std::int64_t{20}, std::int64_t{30000}}) {
        SCOPED_TRACE(limit);
        const auto pcm = FlacPcm(40000, 2, 16, 9);
        TFakeInput in({44100, 16, 2}, pcm, static_cast<std::int64_t>(pcm.size()));
        TFullStream disk(limit);
        TFLACOut out;
        out.SetStream(&disk);
        out.SetInput(&in);
        bool done = false;
        std::string failure;
        out.OnDone = [&](TComponent*) { done = true; };
        out.OnThreadException = [&](TComponent*, const std::exception& E) { failure = E.what(); };
        out.Run();
        ASSERT_TRUE(out.WaitForIdle(std::chrono::seconds(30)));
        EXPECT_FALSE(done);
        EXPECT_NE(failure.find("No space left on device"), std::string::npos) << failure;
        EXPECT_EQ(in.Opens.load(), in.Closes.load());
        // The output can run again afterwards.
        TMemoryStream fine;
        out.SetStream(&fine);
        out.OnThreadException = nullptr;
        out.OnDone = nullptr;
        EXPECT_TRUE(RunToEnd(out));
        TFLACIn back;
        back.SetStream(&fine);
        EXPECT_EQ(ReadAll(back), pcm);
    }
}

// An input of unknown length (a capture) gets its length in STREAMINFO when
// the file is finished; "nothing this time" answers lose nothing.
TEST(FlacOut, CaptureOfUnknownLengthWithPauses)
{
    TTempDir dir;
    const auto pcm = FlacPcm(9000, 2, 16, 4);
    TFakeInput in({44100, 16, 2}, pcm, -1);
    in.ChunkBytes = 3000;
    in.Hook = [](int Call) { return Call % 3 == 1 ? -1 : INT32_MIN; };
    TFLACOut out;
    out.SetFileName(dir.File("a.flac"));
    out.SetInput(&in);
    ASSERT_TRUE(RunToEnd(out));
    EXPECT_EQ(StreamInfoOf(ReadWholeFile(dir.File("a.flac"))).Total, 9000u);
    TFLACIn back;
    back.SetFileName(dir.File("a.flac"));
    EXPECT_EQ(ReadAll(back), pcm);
}

std::vector<std::uint8_t> EncodedImage(const std::vector<std::uint8_t>& Pcm, TAudioFormat F,
                                       const TConfigure& Configure = nullptr)
{
    TFakeInput in(F, Pcm, static_cast<std::int64_t>(Pcm.size()));
    TMemoryStream file;
    TFLACOut out;
    out.SetStream(&file);
    if (Configure)
        Configure(out);
    out.SetInput(&in);
    EXPECT_TRUE(RunToEnd(out));
    return file.Bytes();
}

// A stream that was never finished says 0 frames in STREAMINFO; it is read
// to its end, with no length and no progress percentage.
TEST(FlacIn, FileWithoutTotalLengthIsReadToItsEnd)
{
    const auto pcm = FlacPcm(10001, 2, 16, 8);
    auto image = EncodedImage(pcm, {44100, 16, 2});
    image[21] &= 0xF0;
    std::fill(image.begin() + 22, image.begin() + 26, 0);
    ASSERT_EQ(StreamInfoOf(image).Total, 0u);
    TMemoryStream stream(image);
    TFLACIn in;
    in.SetStream(&stream);
    in.OpenInput();
    EXPECT_EQ(in.Size(), -1);
    in.CloseInput();
    EXPECT_EQ(in.TotalTime(), 0);
    EXPECT_EQ(ReadAll(in, 777), pcm);

    // Through an output, too: the copy is whole.
    TMemoryStream copy;
    TFLACOut out;
    out.SetStream(&copy);
    out.SetInput(&in);
    ASSERT_TRUE(RunToEnd(out));
    TFLACIn back;
    back.SetStream(&copy);
    EXPECT_EQ(ReadAll(back), pcm);

    // A start frame with no length known reads on to the end as well.
    in.SetStartSample(6000);
    const auto tail = ReadAll(in);
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), pcm.begin() + 6000 * 4, pcm.end()));
    EXPECT_EQ(tail.size(), pcm.size() - 6000 * 4);
}

struct TSeekCase {
    std::int64_t Start;
    std::int64_t End;
};

class FlacSeek : public testing::TestWithParam<TSeekCase> {};

TEST_P(FlacSeek, HandsOutExactlyTheFramesAsked)
{
    const auto c = GetParam();
    const int frames = 20000;
    const auto pcm = FlacPcm(frames, 2, 24, 6);
    TMemoryStream stream(EncodedImage(pcm, {44100, 24, 2}, [](TFLACOut& o) { o.SetBlockSize(1152); }));
    TFLACIn in;
    in.SetStream(&stream);
    in.SetStartSample(c.Start);
    in.SetEndSample(c.End);
    const std::int64_t end = c.End == -1 ? frames : c.End;
    const std::int64_t from = std::min<std::int64_t>(c.Start, frames) * 6;
    const std::int64_t to = std::max<std::int64_t>(from, std::min<std::int64_t>(end, frames) * 6);
    const auto got = ReadAll(in, 4000);
    EXPECT_EQ(got, std::vector<std::uint8_t>(pcm.begin() + from, pcm.begin() + to));
}

INSTANTIATE_TEST_SUITE_P(Cases, FlacSeek,
                         testing::Values(TSeekCase{0, 100}, TSeekCase{1152, 2304}, TSeekCase{5000, 12000},
                                         TSeekCase{1, -1}, TSeekCase{19999, -1}, TSeekCase{20000, -1},
                                         TSeekCase{25000, -1}, TSeekCase{7000, 7000}));

TEST(FlacIn, LoopStartsAgainAtStartSample)
{
    const auto pcm = FlacPcm(3000, 1, 16, 2);
    TMemoryStream stream(EncodedImage(pcm, {44100, 16, 1}));
    TFLACIn in;
    in.SetStream(&stream);
    in.SetStartSample(1000);
    in.SetEndSample(2000);
    in.SetLoop(true);
    in.OpenInput();
    std::vector<std::uint8_t> got;
    std::vector<std::uint8_t> buf(1500);
    while (got.size() < 5000) {
        const int n = in.ReadBlock(buf.data(), 1500);
        ASSERT_GT(n, 0);
        got.insert(got.end(), buf.begin(), buf.begin() + n);
    }
    in.CloseInput();
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], pcm[2000 + i % 2000]) << i;
}

TEST(FlacIn, FilesItCannotReadFailToOpenWithTheReason)
{
    TFLACIn in;
    EXPECT_EQ(OpenError(in), "The file name is not assigned");
    std::vector<std::uint8_t> buf(16);
    EXPECT_THROW(in.ReadBlock(buf.data(), 16), EACSException);

    TMemoryStream empty;
    in.SetStream(&empty);
    EXPECT_EQ(OpenError(in), "Cannot read the stream: not a FLAC file.");

    TMemoryStream wav(PcmWavImage(Sine16(2000, 2, 44100, 440, 9000), 2, 44100));
    in.SetStream(&wav);
    EXPECT_EQ(OpenError(in), "Cannot read the stream: not a FLAC file.");

    // Only the magic and part of STREAMINFO.
    auto image = EncodedImage(FlacPcm(5000, 2, 16, 1), {44100, 16, 2});
    TMemoryStream cut(std::vector<std::uint8_t>(image.begin(), image.begin() + 20));
    in.SetStream(&cut);
    EXPECT_NE(OpenError(in), "");

    TFLACIn named;
    named.SetFileName("/no/such/file.flac");
    EXPECT_NE(OpenError(named), "");
}

// Files of a shape the pipeline cannot carry, made here with libFLAC itself.
std::vector<std::uint8_t> LibFlacImage(int Channels, int Bits, int Frames, int Shift = 0)
{
    const auto lib = TFLACLibrary::Load();
    FLAC__StreamEncoder* e = lib->encoder_new();
    lib->encoder_set_channels(e, static_cast<unsigned>(Channels));
    lib->encoder_set_bits_per_sample(e, static_cast<unsigned>(Bits));
    lib->encoder_set_sample_rate(e, 44100);
    lib->encoder_set_streamable_subset(e, false);
    TMemoryStream out;
    auto write = [](const FLAC__StreamEncoder*, const FLAC__byte B[], size_t N, uint32_t, uint32_t, void* C) {
        static_cast<TMemoryStream*>(C)->Write(B, static_cast<std::int64_t>(N));
        return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
    };
    auto seek = [](const FLAC__StreamEncoder*, FLAC__uint64 O, void* C) {
        static_cast<TMemoryStream*>(C)->Seek(static_cast<std::int64_t>(O), TSeekOrigin::soBeginning);
        return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
    };
    auto tell = [](const FLAC__StreamEncoder*, FLAC__uint64* O, void* C) {
        *O = static_cast<FLAC__uint64>(static_cast<TMemoryStream*>(C)->Position());
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    };
    EXPECT_EQ(lib->encoder_init_stream(e, write, seek, tell, nullptr, &out), FLAC__STREAM_ENCODER_INIT_STATUS_OK);
    std::vector<FLAC__int32> s(static_cast<size_t>(Frames) * Channels);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<FLAC__int32>((static_cast<int>(i * 37 % 2001) - 1000) << Shift);
    EXPECT_TRUE(lib->encoder_process_interleaved(e, s.data(), static_cast<unsigned>(Frames)));
    EXPECT_TRUE(lib->encoder_finish(e));
    lib->encoder_delete(e);
    return out.Bytes();
}

TEST(FlacIn, MoreThanTwoChannelsOrTwentyFourBitsIsNotValid)
{
    struct TCase {
        int Channels, Bits;
        const char* Message;
    } cases[] = {
        {6, 16, "Cannot read the stream: FLAC with 6 channels is not supported."},
        {3, 16, "Cannot read the stream: FLAC with 3 channels is not supported."},
        {2, 32, "Cannot read the stream: 32-bit FLAC samples are not supported."},
    };
    for (const auto& c : cases) {
        TMemoryStream stream(LibFlacImage(c.Channels, c.Bits, 3000));
        TFLACIn in;
        in.SetStream(&stream);
        in.OpenFile();
        EXPECT_FALSE(in.Valid());
        in.CloseFile();
        EXPECT_EQ(OpenError(in), c.Message);
    }
}

// 12-bit and 20-bit files are carried at 16 and 24 bits, the samples scaled.
TEST(FlacIn, InBetweenDepthsAreWidened)
{
    for (const int bits : {12, 20}) {
        SCOPED_TRACE(bits);
        const int frames = 2000;
        TMemoryStream stream(LibFlacImage(2, bits, frames, bits == 20 ? 4 : 0));
        TFLACIn in;
        in.SetStream(&stream);
        const int carried = bits == 12 ? 16 : 24;
        EXPECT_EQ(in.InBitsPerSample(), carried);
        const auto got = ReadAll(in);
        ASSERT_EQ(got.size(), static_cast<size_t>(frames) * 2 * carried / 8);
        for (size_t i = 0; i < static_cast<size_t>(frames) * 2; ++i) {
            const std::int32_t want = ((static_cast<int>(i * 37 % 2001) - 1000) << (bits == 20 ? 4 : 0))
                                      << (carried - bits);
            std::int32_t v = 0;
            for (int b = carried / 8 - 1; b >= 0; --b)
                v = (v << 8) | got[i * carried / 8 + b];
            v = (v << (32 - carried)) >> (32 - carried);
            ASSERT_EQ(v, want) << i;
        }
    }
}

// Damage anywhere gives less audio or a clear error, never more audio,
// never a crash.
// Reads In through to its end or its first failure; Failure gets the text.
std::vector<std::uint8_t> ReadUntilFailure(TACSInput& In, std::string& Failure)
{
    std::vector<std::uint8_t> got;
    std::vector<std::uint8_t> block(5000);
    In.OpenInput();
    try {
        for (int n; (n = In.ReadBlock(block.data(), static_cast<int>(block.size()))) > 0;)
            got.insert(got.end(), block.begin(), block.begin() + n);
    } catch (const EACSException& e) {
        Failure = e.what();
    }
    In.CloseInput();
    return got;
}

// Damage is never a shorter success: a cut file, a damaged frame or audio
// that does not match the MD5 fail the read, saying how far it came; what
// came before is handed out unchanged.
TEST(FlacIn, DamagedTruncatedOrMismatchedInputFailsTheRead)
{
    const auto pcm = FlacPcm(30000, 2, 16, 12); // 0.68 s
    const auto image = EncodedImage(pcm, {44100, 16, 2});
    const auto cut = [&](double Keep) {
        return std::vector<std::uint8_t>(image.begin(), image.begin() + static_cast<long>(image.size() * Keep));
    };
    const auto damaged = [&](size_t At) {
        auto broken = image;
        for (size_t i = At; i < At + 24 && i < broken.size(); ++i)
            broken[i] ^= 0x5A;
        return broken;
    };
    auto md5Wrong = image;
    md5Wrong[30] ^= 0x01; // STREAMINFO's MD5 runs from byte 26 to 41
    auto md5Unset = image;
    std::fill(md5Unset.begin() + 26, md5Unset.begin() + 42, 0);
    // A capture that never finished: neither length nor MD5 in STREAMINFO.
    auto cutWithoutLength = cut(0.5);
    cutWithoutLength[21] &= 0xF0;
    std::fill(cutWithoutLength.begin() + 22, cutWithoutLength.begin() + 42, 0);
    struct TCase {
        const char* Name;
        std::vector<std::uint8_t> File;
        std::string Failure; // the start of the failure text; "" for a whole read
    } cases[] = {
        {"cut at 30 %", cut(0.3), "Error reading FLAC file: the file ends inside its audio: 0."},
        {"cut at 99 %", cut(0.99), "Error reading FLAC file: the file ends inside its audio: 0."},
        {"damaged at a quarter", damaged(image.size() / 4), "Error reading FLAC file: the audio is damaged after 0."},
        // Damage in the last frame reads like a file cut there.
        {"damaged in the last frame", damaged(image.size() - 30), "Error reading FLAC file: "},
        {"MD5 does not match", md5Wrong,
         "Error reading FLAC file: the audio does not match the file's MD5 checksum (0.68 s of 0.68 s read)."},
        {"MD5 not set", md5Unset, ""},
        // Without a length the end of the file is the end of the audio.
        {"cut, no length given", cutWithoutLength, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TMemoryStream stream(c.File);
        TFLACIn in;
        in.SetStream(&stream);
        std::string failure;
        const auto got = ReadUntilFailure(in, failure);
        EXPECT_EQ(failure.substr(0, c.Failure.size()), c.Failure) << failure;
        EXPECT_EQ(failure.empty(), c.Failure.empty()) << failure;
        ASSERT_LE(got.size(), pcm.size());
        if (c.File.size() < image.size()) {
            EXPECT_TRUE(std::equal(got.begin(), got.end(), pcm.begin()));
        } else if (c.Failure.empty()) {
            EXPECT_EQ(got, pcm);
        }
    }
    // The cut file names what was read and how long the audio should be.
    TMemoryStream stream(cut(0.5));
    TFLACIn in;
    in.SetStream(&stream);
    std::string failure;
    const auto got = ReadUntilFailure(in, failure);
    char expected[96];
    std::snprintf(expected, sizeof expected,
                  "Error reading FLAC file: the file ends inside its audio: %.2f s of 0.68 s read.",
                  static_cast<double>(got.size()) / 4 / 44100);
    EXPECT_EQ(failure, expected);
}

// A run over a cut file ends through the failure path with the reader's text.
TEST(FlacIn, CutFileEndsTheRunThroughTheFailurePath)
{
    const auto pcm = FlacPcm(30000, 2, 16, 12);
    const auto image = EncodedImage(pcm, {44100, 16, 2});
    TMemoryStream cut(std::vector<std::uint8_t>(image.begin(), image.begin() + static_cast<long>(image.size() / 2)));
    TFLACIn in;
    in.SetStream(&cut);
    TMemoryStream copy;
    TFLACOut out;
    out.SetStream(&copy);
    out.SetInput(&in);
    std::string failure;
    EXPECT_FALSE(RunToEnd(out, &failure));
    EXPECT_EQ(failure.rfind("Error reading FLAC file: the file ends inside its audio: ", 0), 0u) << failure;
    EXPECT_NE(failure.find(" of 0.68 s read."), std::string::npos) << failure;
}

} // namespace
} // namespace kestrune::test

namespace kestrune::test {
namespace {

// Comments are written only into a FLAC file whose head holds together; a
// refused file is left exactly as it was.
TEST(FlacComments, DamagedHeadsAreRefusedUntouched)
{
    TTempDir dir;
    auto be24 = [](std::size_t N) {
        return std::vector<std::uint8_t>{std::uint8_t(N >> 16), std::uint8_t(N >> 8), std::uint8_t(N)};
    };
    std::vector<std::uint8_t> streamInfo{'f', 'L', 'a', 'C', 0x00};
    for (std::uint8_t b : be24(34))
        streamInfo.push_back(b);
    streamInfo.resize(streamInfo.size() + 34);
    // A comment block whose entry claims more bytes than the block holds.
    std::vector<std::uint8_t> badComment = streamInfo;
    const std::vector<std::uint8_t> body{0, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0, 0, 0, 'A'};
    badComment.push_back(0x84);
    for (std::uint8_t b : be24(body.size()))
        badComment.push_back(b);
    badComment.insert(badComment.end(), body.begin(), body.end());
    std::vector<std::uint8_t> cutBlock = streamInfo;
    cutBlock.resize(20);
    std::vector<std::uint8_t> firstNotInfo{'f', 'L', 'a', 'C', 0x84, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> cases{
        {"not FLAC", {'R', 'I', 'F', 'F', 0, 0, 0, 0}},
        {"empty", {}},
        {"metadata cut short", cutBlock},
        {"no stream information first", firstNotInfo},
        {"comment longer than its block", badComment},
        {"last block flag never set", streamInfo},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        const std::string file = dir.File("bad.flac");
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        EXPECT_THROW(WriteFlacComments(file, {"TITLE=x"}), EACSException);
        EXPECT_EQ(ReadWholeFile(file), bytes);
        EXPECT_THROW((void)ReadFlacComments(file), EACSException);
    }
    EXPECT_THROW(WriteFlacComments(dir.File("missing.flac"), {}), EACSException);
}

} // namespace
} // namespace kestrune::test
