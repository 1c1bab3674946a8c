// The Ogg Vorbis writer and reader: round trips, the bit-rate setters and
// what they hand the encoder, comments and serials, chained streams, damaged
// input, and how a run ends when the encoder or the disk refuses.

#include "formats/TVorbisIn.h"
#include "formats/TVorbisOut.h"
#include "formats/VorbisTestHelpers.h"
#include "pipeline/TMemoryStream.h"

#include <gtest/gtest.h>

#include <climits>
#include <thread>

namespace kestrune::test {
namespace {

using BR = TVorbisBitRate;

std::vector<std::int16_t> DecodeFile(const std::string& File, TVorbisIn* Reader = nullptr)
{
    TVorbisIn own;
    TVorbisIn& in = Reader ? *Reader : own;
    in.SetFileName(File);
    return AsSamples16(ReadAll(in));
}

// The test signal in the given depth, and what it is at 16 bits.
struct TSignal {
    std::vector<std::uint8_t> Pcm;
    std::vector<std::int16_t> As16;
};

TSignal MakeSignal(TAudioFormat F, int Frames)
{
    const auto s = Sine16(Frames, F.Channels, F.SampleRate, 997, 12000);
    TSignal out;
    if (F.BitsPerSample == 16) {
        out.Pcm = AsBytes(s);
        out.As16 = s;
    } else if (F.BitsPerSample == 8) {
        for (std::int16_t v : s) {
            const int b = (v >> 8) + 128;
            out.Pcm.push_back(static_cast<std::uint8_t>(b));
            out.As16.push_back(static_cast<std::int16_t>((b - 128) * 256));
        }
    } else {
        for (std::int16_t v : s) {
            const std::int32_t w = v * 256 + 77; // low bits that 16-bit output drops
            out.Pcm.push_back(static_cast<std::uint8_t>(w & 0xFF));
            out.Pcm.push_back(static_cast<std::uint8_t>((w >> 8) & 0xFF));
            out.Pcm.push_back(static_cast<std::uint8_t>((w >> 16) & 0xFF));
            out.As16.push_back(v);
        }
    }
    return out;
}

class VorbisRoundTrip : public testing::TestWithParam<TAudioFormat> {};

TEST_P(VorbisRoundTrip, SameRateChannelsAndLengthAndCloseToTheInput)
{
    const TAudioFormat f = GetParam();
    TTempDir dir;
    const int frames = f.SampleRate * 2 + 123; // not a whole number of blocks
    const TSignal s = MakeSignal(f, frames);
    std::string failure;
    ASSERT_TRUE(EncodeOgg(dir.File("a.ogg"), f, s.Pcm, {}, &failure)) << failure;

    TVorbisIn in;
    in.SetFileName(dir.File("a.ogg"));
    EXPECT_EQ(in.InSampleRate(), f.SampleRate);
    EXPECT_EQ(in.InChannels(), f.Channels);
    EXPECT_EQ(in.InBitsPerSample(), 16);
    const auto decoded = DecodeFile(dir.File("a.ogg"), &in);
    EXPECT_EQ(in.TotalSamples(), frames);
    ASSERT_EQ(decoded.size(), static_cast<size_t>(frames) * f.Channels);
    // Quality 0.2 keeps a clean tone well above 20 dB; a misread depth or
    // swapped channels give noise around 0 dB.
    EXPECT_GT(SnrDb(s.As16, decoded), 20.0);
}

INSTANTIATE_TEST_SUITE_P(Formats, VorbisRoundTrip,
                         testing::Values(TAudioFormat{44100, 16, 2}, TAudioFormat{48000, 16, 1},
                                         TAudioFormat{22050, 8, 2}, TAudioFormat{44100, 24, 2},
                                         TAudioFormat{8000, 8, 1}));

TEST(VorbisRoundTrip, OddChunksAndPartialFramesFromTheInputKeepEveryFrame)
{
    TTempDir dir;
    const TAudioFormat f{44100, 16, 2};
    const TSignal s = MakeSignal(f, 30001);
    TFakeInput in(f, s.Pcm, static_cast<std::int64_t>(s.Pcm.size()));
    in.ChunkBytes = 4093; // frames split across reads
    in.Hook = [](int Call) { return Call % 3 == 1 ? -1 : INT32_MIN; };
    TVorbisOut out;
    out.SetFileName(dir.File("a.ogg"));
    out.SetInput(&in);
    ASSERT_TRUE(RunToEnd(out));
    const auto decoded = DecodeFile(dir.File("a.ogg"));
    ASSERT_EQ(decoded.size(), s.As16.size());
    EXPECT_GT(SnrDb(s.As16, decoded), 20.0);
}

// Setter sequences and the three values they leave.
struct TSetterCase {
    const char* Name;
    std::vector<std::pair<char, BR>> Steps; // 'n'ominal, 'x' maximum, 'm'inimum
    BR Nominal, Maximum, Minimum;
};

class VorbisSetters : public testing::TestWithParam<TSetterCase> {};

TEST_P(VorbisSetters, FollowTheOrdinalRules)
{
    const auto& c = GetParam();
    TVorbisOut out;
    for (const auto& [which, value] : c.Steps) {
        if (which == 'n')
            out.SetDesiredNominalBitrate(value);
        else if (which == 'x')
            out.SetDesiredMaximumBitrate(value);
        else
            out.SetMinimumBitrate(value);
    }
    EXPECT_EQ(out.DesiredNominalBitrate(), c.Nominal);
    EXPECT_EQ(out.DesiredMaximumBitrate(), c.Maximum);
    EXPECT_EQ(out.MinimumBitrate(), c.Minimum);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, VorbisSetters,
    testing::Values(
        TSetterCase{"Defaults", {}, BR::brAutoSelect, BR::brAutoSelect, BR::brAutoSelect},
        TSetterCase{"LimitsIgnoredWhileAuto",
                    {{'x', BR::br192}, {'m', BR::br64}},
                    BR::brAutoSelect,
                    BR::brAutoSelect,
                    BR::brAutoSelect},
        TSetterCase{"NominalRaisesMaximum", {{'n', BR::br128}}, BR::br128, BR::br128, BR::brAutoSelect},
        TSetterCase{"LimitsAroundNominal",
                    {{'n', BR::br128}, {'x', BR::br192}, {'m', BR::br64}},
                    BR::br128,
                    BR::br192,
                    BR::br64},
        TSetterCase{
            "MaximumBelowNominalIgnored", {{'n', BR::br128}, {'x', BR::br96}}, BR::br128, BR::br128, BR::brAutoSelect},
        TSetterCase{"MaximumBackToAuto",
                    {{'n', BR::br128}, {'x', BR::brAutoSelect}},
                    BR::br128,
                    BR::brAutoSelect,
                    BR::brAutoSelect},
        TSetterCase{
            "MinimumAboveNominalIgnored", {{'n', BR::br128}, {'m', BR::br160}}, BR::br128, BR::br128, BR::brAutoSelect},
        TSetterCase{"LowerNominalPullsMinimumDown",
                    {{'n', BR::br128}, {'m', BR::br112}, {'n', BR::br96}},
                    BR::br96,
                    BR::br128,
                    BR::br96},
        TSetterCase{"AutoResetsBothLimits",
                    {{'n', BR::br128}, {'x', BR::br256}, {'m', BR::br64}, {'n', BR::brAutoSelect}},
                    BR::brAutoSelect,
                    BR::brAutoSelect,
                    BR::brAutoSelect}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// What the identification header says after encoding with these settings.
struct TRateCase {
    const char* Name;
    BR Nominal, Maximum, Minimum;
    long Upper, NominalBps, Lower;
};

class VorbisManagedRates : public testing::TestWithParam<TRateCase> {};

TEST_P(VorbisManagedRates, ReachTheEncoder)
{
    const auto& c = GetParam();
    TTempDir dir;
    const TAudioFormat f{44100, 16, 2};
    const TSignal s = MakeSignal(f, 20000);
    std::string failure;
    ASSERT_TRUE(EncodeOgg(
        dir.File("a.ogg"), f, s.Pcm,
        [&](TVorbisOut& O) {
            O.SetDesiredNominalBitrate(c.Nominal);
            O.SetDesiredMaximumBitrate(c.Maximum);
            O.SetMinimumBitrate(c.Minimum);
        },
        &failure))
        << failure;
    const auto links = OggLinks(dir.File("a.ogg"));
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].Upper, c.Upper);
    EXPECT_EQ(links[0].Nominal, c.NominalBps);
    EXPECT_EQ(links[0].Lower, c.Lower);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, VorbisManagedRates,
    testing::Values(TRateCase{"Br128AllThree", BR::br128, BR::brAutoSelect, BR::brAutoSelect, 128000, 128000, 128000},
                    TRateCase{"Br56Hands56000", BR::br56, BR::brAutoSelect, BR::brAutoSelect, 56000, 56000, 56000},
                    TRateCase{"Limits", BR::br128, BR::br192, BR::br64, 192000, 128000, 64000}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(VorbisOut, DefaultsEncodeQualityBasedAtPointTwo)
{
    TVorbisOut out;
    EXPECT_FLOAT_EQ(out.Compression(), 0.2F);
    EXPECT_EQ(out.Serial(), 0);
    TTempDir dir;
    const TAudioFormat f{44100, 16, 2};
    const TSignal s = MakeSignal(f, 20000);
    ASSERT_TRUE(EncodeOgg(dir.File("q2.ogg"), f, s.Pcm));
    ASSERT_TRUE(EncodeOgg(dir.File("q9.ogg"), f, s.Pcm, [](TVorbisOut& O) { O.SetCompression(0.9F); }));
    const auto q2 = OggLinks(dir.File("q2.ogg"));
    const auto q9 = OggLinks(dir.File("q9.ogg"));
    ASSERT_EQ(q2.size(), 1u);
    ASSERT_EQ(q9.size(), 1u);
    // Quality mode sets no limits; quality 0.2 at 44.1 kHz stereo is the
    // library's 96 kbit/s nominal (oggenc -q 2 writes the same).
    EXPECT_LE(q2[0].Upper, 0);
    EXPECT_LE(q2[0].Lower, 0);
    EXPECT_EQ(q2[0].Nominal, 96000);
    EXPECT_GT(q9[0].Nominal, q2[0].Nominal);
}

TEST(VorbisOut, CommentsTakeTheFirstValueOfANameAndSerialIsWritten)
{
    TTempDir dir;
    const TAudioFormat f{44100, 16, 1};
    const TSignal s = MakeSignal(f, 5000);
    TFakeInput in(f, s.Pcm, static_cast<std::int64_t>(s.Pcm.size()));
    TVorbisOut out;
    out.SetFileName(dir.File("a.ogg"));
    out.SetSerial(123456789);
    out.SetComments({"TITLE=First", "ARTIST=Somebody", "no equals sign", "title=Second", "EMPTY="});
    out.SetInput(&in);
    ASSERT_TRUE(RunToEnd(out));
    EXPECT_TRUE(out.Comments().empty()); // cleared after the run
    const auto links = OggLinks(dir.File("a.ogg"));
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].Serial, 123456789);
    EXPECT_EQ(links[0].Comments, (std::vector<std::string>{"TITLE=First", "ARTIST=Somebody", "title=First", "EMPTY="}));
}

TEST(VorbisOut, AppendChainsASecondStreamWithASerialOfItsOwn)
{
    TTempDir dir;
    const std::string file = dir.File("a.ogg");
    const TAudioFormat f{44100, 16, 2};
    const TSignal first = MakeSignal(f, 10000);
    const TSignal second = MakeSignal(f, 7001);
    ASSERT_TRUE(EncodeOgg(file, f, first.Pcm, [](TVorbisOut& O) { O.SetSerial(7); }));
    ASSERT_TRUE(EncodeOgg(file, f, second.Pcm, [&](TVorbisOut& O) {
        O.SetSerial(7);
        O.SetFileMode(TFileOutputMode::foAppend);
        O.SetComments({"TITLE=Second"});
        EXPECT_EQ(O.FileMode(), TFileOutputMode::foAppend);
    }));
    const auto links = OggLinks(file);
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].Serial, 7);
    EXPECT_NE(links[1].Serial, links[0].Serial);
    EXPECT_EQ(links[0].Frames, 10000);
    EXPECT_EQ(links[1].Frames, 7001);
    EXPECT_EQ(links[1].Comments, std::vector<std::string>{"TITLE=Second"});

    TVorbisIn in;
    in.SetFileName(file);
    const auto decoded = AsSamples16(ReadAll(in));
    EXPECT_EQ(in.TotalSamples(), 17001);
    ASSERT_EQ(decoded.size(), 17001u * 2);
    std::vector<std::int16_t> both = first.As16;
    both.insert(both.end(), second.As16.begin(), second.As16.end());
    EXPECT_GT(SnrDb(both, decoded), 20.0);
}

// A chain whose second link has another rate or channel count is refused
// with the reason when opened, not read as its first link alone.
TEST(VorbisIn, AChainOfAnotherLayoutFailsToOpenWithTheReason)
{
    TTempDir dir;
    const TAudioFormat stereo{44100, 16, 2};
    const TAudioFormat other[] = {{22050, 16, 2}, {44100, 16, 1}};
    const char* says[] = {"link 2 is 22050 Hz stereo, the first 44100 Hz stereo",
                          "link 2 is 44100 Hz mono, the first 44100 Hz stereo"};
    for (int k = 0; k < 2; ++k) {
        ASSERT_TRUE(
            EncodeOgg(dir.File("a.ogg"), stereo, MakeSignal(stereo, 20000).Pcm, [](TVorbisOut& O) { O.SetSerial(1); }));
        ASSERT_TRUE(EncodeOgg(dir.File("b.ogg"), other[k], MakeSignal(other[k], 20000).Pcm,
                              [](TVorbisOut& O) { O.SetSerial(2); }));
        auto chain = ReadWholeFile(dir.File("a.ogg"));
        const auto second = ReadWholeFile(dir.File("b.ogg"));
        chain.insert(chain.end(), second.begin(), second.end());
        WriteWholeFile(dir.File("chain.ogg"), chain);
        TVorbisIn in;
        in.SetFileName(dir.File("chain.ogg"));
        try {
            in.OpenInput();
            ADD_FAILURE() << "opened";
            in.CloseInput();
        } catch (const EACSException& e) {
            EXPECT_NE(std::string(e.what()).find(says[k]), std::string::npos) << e.what();
        }
    }
}

TEST(VorbisOut, AppendRefusesAnotherLayoutAndFilesThatAreNotOgg)
{
    TTempDir dir;
    const TAudioFormat f{44100, 16, 2};
    const TSignal s = MakeSignal(f, 5000);
    ASSERT_TRUE(EncodeOgg(dir.File("a.ogg"), f, s.Pcm));
    const auto before = ReadWholeFile(dir.File("a.ogg"));
    const TAudioFormat mono{44100, 16, 1};
    const TSignal m = MakeSignal(mono, 5000);
    std::string failure;
    EXPECT_FALSE(EncodeOgg(
        dir.File("a.ogg"), mono, m.Pcm, [](TVorbisOut& O) { O.SetFileMode(TFileOutputMode::foAppend); }, &failure));
    EXPECT_EQ(failure, "Cannot append data in different audio format.");
    EXPECT_EQ(ReadWholeFile(dir.File("a.ogg")), before);

    WriteWholeFile(dir.File("b.ogg"), PcmWavImage(Sine16(1000, 2, 44100, 440, 1000), 2, 44100));
    EXPECT_FALSE(EncodeOgg(
        dir.File("b.ogg"), f, s.Pcm, [](TVorbisOut& O) { O.SetFileMode(TFileOutputMode::foAppend); }, &failure));
    EXPECT_EQ(failure, "Cannot append data to this .ogg file.");

    // Appending to a file that does not exist yet simply writes it.
    ASSERT_TRUE(
        EncodeOgg(dir.File("new.ogg"), f, s.Pcm, [](TVorbisOut& O) { O.SetFileMode(TFileOutputMode::foAppend); }));
    EXPECT_EQ(OggLinks(dir.File("new.ogg")).size(), 1u);
}

TEST(VorbisOut, SetUpsTheEncoderRejectsFailVisibly)
{
    TTempDir dir;
    struct TCase {
        TAudioFormat F;
        std::function<void(TVorbisOut&)> Setup;
    };
    const TCase cases[] = {
        {{44100, 16, 2}, [](TVorbisOut& O) { O.SetCompression(-1.0F); }},
        {{8000, 16, 1}, [](TVorbisOut& O) { O.SetDesiredNominalBitrate(BR::br499); }},
        {{1000000, 16, 2}, {}},
    };
    int i = 0;
    for (const auto& c : cases) {
        const std::string file = dir.File("r" + std::to_string(i++) + ".ogg");
        std::string failure;
        const TSignal s = MakeSignal({44100, c.F.BitsPerSample, c.F.Channels}, 4000);
        EXPECT_FALSE(EncodeOgg(file, c.F, s.Pcm, c.Setup, &failure)) << file;
        EXPECT_NE(failure.find("The Ogg Vorbis encoder cannot encode"), std::string::npos) << failure;
    }
}

TEST(VorbisOut, FailedWritesEndTheRunThroughOnThreadException)
{
    const TAudioFormat f{44100, 16, 2};
    const auto pcm = AsBytes(Noise16(44100 * 3, 2, 5));
    // 100 bytes: the headers fail inside Run; 20000: a page fails mid-run.
    for (const std::int64_t limit : {100, 20000}) {
        TFullDiskStream disk(limit);
        TFakeInput in(f, pcm, static_cast<std::int64_t>(pcm.size()));
        TVorbisOut out;
        out.SetStream(&disk);
        out.SetInput(&in);
        std::string failure;
        EXPECT_FALSE(RunToEnd(out, &failure)) << limit;
        EXPECT_NE(failure.find("No space left"), std::string::npos) << failure;
        EXPECT_EQ(out.Status(), TACSOutputStatus::tosIdle);
        EXPECT_EQ(in.Opens.load(), in.Closes.load());
    }
}

TEST(VorbisOut, StopStillEndsTheStreamSoTheFilePlays)
{
    TTempDir dir;
    const TAudioFormat f{44100, 16, 2};
    const TSignal s = MakeSignal(f, 44100);
    TFakeInput in(f, s.Pcm, -1);
    in.ChunkBytes = 4 * 10000;
    // Two blocks of audio, then nothing more for ever: only Stop ends it.
    in.Hook = [](int Call) { return Call < 2 ? INT32_MIN : -1; };
    TVorbisOut out;
    out.SetFileName(dir.File("a.ogg"));
    out.SetInput(&in);
    out.SetKeepCutShort(true); // as a recording keeps what it has
    bool done = false;
    out.OnDone = [&](TComponent*) { done = true; };
    out.Run();
    ASSERT_TRUE(WaitUntil([&] { return in.Reads.load() >= 4; }, std::chrono::seconds(10)))
        << "the writer never asked for more after the input ran dry";
    out.Stop();
    ASSERT_TRUE(out.WaitForIdle(std::chrono::seconds(10)));
    EXPECT_TRUE(done);
    const auto links = OggLinks(dir.File("a.ogg"));
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].Frames, 20000);
}

TEST(VorbisOut, FileNameRequired)
{
    const TAudioFormat f{44100, 16, 2};
    TFakeInput in(f, {}, 0);
    TVorbisOut out;
    out.SetInput(&in);
    std::string failure;
    EXPECT_FALSE(RunToEnd(out, &failure));
    EXPECT_EQ(failure, "File name is not assigned.");
}

class VorbisInTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Dir = std::make_unique<TTempDir>();
        // Noise makes a file large enough to cut well past its headers.
        ASSERT_TRUE(EncodeOgg(Dir->File("a.ogg"), {44100, 16, 2}, AsBytes(Noise16(50000, 2, 3, 8000))));
        Whole = DecodeFile(Dir->File("a.ogg"));
    }
    static void TearDownTestSuite() { Dir.reset(); }
    static std::unique_ptr<TTempDir> Dir;
    static std::vector<std::int16_t> Whole;
};
std::unique_ptr<TTempDir> VorbisInTest::Dir;
std::vector<std::int16_t> VorbisInTest::Whole;

TEST_F(VorbisInTest, StartAndEndSampleHandOutExactlyThatSlice)
{
    TVorbisIn in;
    in.SetFileName(Dir->File("a.ogg"));
    in.SetStartSample(1000);
    in.SetEndSample(5000);
    const auto part = AsSamples16(ReadAll(in, 3001));
    ASSERT_EQ(part.size(), 4000u * 2);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), Whole.begin() + 2000));
    EXPECT_EQ(in.Position(), in.Size());
}

TEST_F(VorbisInTest, SuppliedStreamsDecodeTheSameAndAreRewound)
{
    TMemoryStream stream(ReadWholeFile(Dir->File("a.ogg")));
    TVorbisIn in;
    in.SetStream(&stream);
    EXPECT_EQ(AsSamples16(ReadAll(in, 8192)), Whole);
    EXPECT_EQ(stream.Position(), 0);

    // A stream that cannot be rewound is read once, front to back, with
    // no known length.
    TMemoryStream once(ReadWholeFile(Dir->File("a.ogg")));
    TVorbisIn forward;
    forward.SetStream(&once);
    forward.SetRewindable(false);
    forward.OpenInput();
    EXPECT_EQ(forward.Size(), -1);
    std::vector<std::uint8_t> all(Whole.size() * 2 + 100000);
    size_t got = 0;
    for (int n; (n = forward.ReadBlock(all.data() + got, 7000)) > 0;)
        got += static_cast<size_t>(n);
    forward.CloseInput();
    all.resize(got);
    EXPECT_EQ(AsSamples16(all), Whole);
}

TEST_F(VorbisInTest, ReadingBeforeOpeningAndLooping)
{
    TVorbisIn in;
    in.SetFileName(Dir->File("a.ogg"));
    std::uint8_t buf[16];
    try {
        in.ReadBlock(buf, 16);
        ADD_FAILURE() << "no exception";
    } catch (const EACSException& e) {
        EXPECT_STREQ(e.what(), "The Stream is not opened");
    }
    in.SetLoop(true);
    in.SetEndSample(3000);
    in.OpenInput();
    std::vector<std::uint8_t> all;
    std::vector<std::uint8_t> chunk(5000);
    while (all.size() < 3000u * 4 * 2 + 400) {
        const int n = in.ReadBlock(chunk.data(), 5000);
        ASSERT_GT(n, 0);
        all.insert(all.end(), chunk.begin(), chunk.begin() + n);
    }
    in.CloseInput();
    const auto samples = AsSamples16(all);
    // The second pass starts again at the first frame.
    EXPECT_TRUE(std::equal(Whole.begin(), Whole.begin() + 6000, samples.begin() + 6000));
}

TEST_F(VorbisInTest, DamagedInputGivesAClearErrorOrLessAudio)
{
    const auto good = ReadWholeFile(Dir->File("a.ogg"));
    // Not Ogg at all, empty, and a missing file: a clear error at open.
    WriteWholeFile(Dir->File("wav.ogg"), PcmWavImage(Sine16(1000, 2, 44100, 440, 1000), 2, 44100));
    WriteWholeFile(Dir->File("empty.ogg"), {});
    for (const char* name : {"wav.ogg", "empty.ogg", "missing.ogg"}) {
        TVorbisIn in;
        in.SetFileName(Dir->File(name));
        const std::string error = OpenError(in);
        EXPECT_EQ(error.rfind("Cannot read \"" + Dir->File(name) + "\": ", 0), 0u) << error;
        EXPECT_FALSE(in.Valid());
        EXPECT_EQ(in.InChannels(), 0);
    }
    // Cut in the middle, bytes trampled in the middle, and only the headers
    // left: less audio, never more than the input promised, and no crash; a
    // file that ends inside a page fails the read instead of passing for a
    // shorter file.
    std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
    std::vector<std::uint8_t> trampled = good;
    for (size_t i = good.size() / 3; i < good.size() / 3 + 3000; ++i)
        trampled[i] = static_cast<std::uint8_t>(i * 7);
    std::vector<std::uint8_t> headersOnly(good.begin(), good.begin() + 4000);
    int decodedSome = 0;
    const std::pair<std::vector<std::uint8_t>, bool> files[] = {{cut, true}, {trampled, false}, {headersOnly, true}};
    for (const auto& [bytes, endsInsideAPage] : files) {
        SCOPED_TRACE(bytes.size());
        TMemoryStream stream(bytes);
        TVorbisIn in;
        in.SetStream(&stream);
        try {
            in.OpenInput();
        } catch (const EACSException& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Cannot read the stream: ", 0), 0u) << e.what();
            continue;
        }
        std::vector<std::uint8_t> out(Whole.size() * 2 + 100000);
        size_t got = 0;
        std::string failure;
        try {
            for (int n; (n = in.ReadBlock(out.data() + got, 9000)) > 0;)
                got += static_cast<size_t>(n);
        } catch (const EACSException& e) {
            failure = e.what();
        }
        in.CloseInput();
        if (endsInsideAPage)
            EXPECT_EQ(failure.rfind("Error reading Ogg Vorbis file: the file ends inside its audio: ", 0), 0u)
                << failure;
        else
            EXPECT_EQ(failure, "");
        EXPECT_LE(static_cast<std::int64_t>(got), in.Size());
        EXPECT_LE(got, Whole.size() * 2);
        EXPECT_EQ(got % 4, 0u);
        decodedSome += got > 0;
    }
    // The cut and the trampled file still give their first part.
    EXPECT_GE(decodedSome, 2);
}

} // namespace
} // namespace kestrune::test
