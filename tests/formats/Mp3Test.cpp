// The MP3 writer and the MP3 decoder: round trips at every depth, the bit
// rate and tag properties, the info frame, the decoder's header, estimate,
// stop, texts and failures.

#include "common/Rounding.h"
#include "formats/Mp3TestHelpers.h"
#include "pipeline/TMemoryStream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <future>
#include <stdexcept>

namespace kestrune::test {
namespace {

// A 16-bit test signal in the depth the input delivers, and the 16-bit
// samples the encoder should see for it.
struct TDepthSignal {
    std::vector<std::uint8_t> Bytes;
    std::vector<std::int16_t> Reference;
};

TDepthSignal AtDepth(const std::vector<std::int16_t>& S, int Bits)
{
    TDepthSignal d;
    for (const std::int16_t s : S) {
        if (Bits == 8) {
            const int v = (s >> 8) + 128;
            d.Bytes.push_back(static_cast<std::uint8_t>(v));
            d.Reference.push_back(static_cast<std::int16_t>((v - 128) * 256));
        } else if (Bits == 16) {
            d.Bytes.push_back(static_cast<std::uint8_t>(s & 0xFF));
            d.Bytes.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
            d.Reference.push_back(s);
        } else {
            // The low byte carries something, so a reader that took the
            // wrong bytes would show it.
            d.Bytes.push_back(0x7F);
            d.Bytes.push_back(static_cast<std::uint8_t>(s & 0xFF));
            d.Bytes.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
            d.Reference.push_back(s);
        }
    }
    return d;
}

struct TRoundTripCase {
    int Bits;
    int Channels;
};

class Mp3RoundTrip : public testing::TestWithParam<TRoundTripCase> {};

// Encoded and decoded again: two channels always, the input's rate, the
// input's exact length (the info frame tells the decoder the delay and the
// padding), and the signal itself well above the coding noise.
TEST_P(Mp3RoundTrip, DecodesBackToTheSignal)
{
    const auto c = GetParam();
    const int rate = 44100;
    const int frames = 30000;
    const TDepthSignal in = AtDepth(Sine16(frames, c.Channels, rate, 441, 12000), c.Bits);
    TTempDir dir;
    std::string failure;
    ASSERT_TRUE(EncodeMp3(dir.File("a.mp3"), {rate, c.Bits, c.Channels}, in.Bytes, TMP3BitRate::br128, &failure))
        << failure;
    const TDecodeResult r = DecodeMp3(dir.File("a.mp3"), dir.File("a.wav"));
    ASSERT_TRUE(r.Done) << r.Failure;
    EXPECT_TRUE(r.Success);

    const TWavImage w = ReadWav44(dir.File("a.wav"));
    EXPECT_EQ(w.Channels, 2);
    EXPECT_EQ(w.SampleRate, rate);
    EXPECT_EQ(w.Bits, 16);
    EXPECT_EQ(w.DataSize, w.File.size() - 44);
    EXPECT_EQ(w.RiffSize, w.File.size() - 8);
    const auto decodedFrames = static_cast<int>(w.Samples.size() / 2);
    EXPECT_NEAR(decodedFrames, frames, 1152);
    for (int ch = 0; ch < 2; ++ch) {
        const int source = c.Channels == 1 ? 0 : ch;
        EXPECT_GT(SnrDb(in.Reference, c.Channels, source, w.Samples, 2, ch), 20.0)
            << "channel " << ch << ", " << c.Bits << "-bit";
    }
    if (c.Channels == 1) {
        int worst = 0;
        for (std::size_t i = 0; i + 1 < w.Samples.size(); i += 2)
            worst = std::max(worst, std::abs(w.Samples[i] - w.Samples[i + 1]));
        EXPECT_LE(worst, 2) << "a mono input makes two equal channels";
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, Mp3RoundTrip,
                         testing::Values(TRoundTripCase{8, 1}, TRoundTripCase{8, 2}, TRoundTripCase{16, 1},
                                         TRoundTripCase{16, 2}, TRoundTripCase{24, 1}, TRoundTripCase{24, 2}),
                         [](const auto& I) {
                             return std::to_string(I.param.Bits) + "bit" + (I.param.Channels == 1 ? "Mono" : "Stereo");
                         });

TEST(Mp3Out, BitRateDefaultsTo128AndTakesEveryRateButNothingElse)
{
    TMP3Out out;
    EXPECT_EQ(out.BitRate(), TMP3BitRate::br128);
    const int kbps[] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 192, 224, 256, 320};
    for (int i = 0; i < MP3BitRateCount; ++i) {
        out.SetBitRate(static_cast<TMP3BitRate>(i));
        EXPECT_EQ(out.BitRate(), static_cast<TMP3BitRate>(i));
        EXPECT_EQ(MP3BitRateKbps(static_cast<TMP3BitRate>(i)), kbps[i]);
    }
    out.SetBitRate(static_cast<TMP3BitRate>(MP3BitRateCount));
    out.SetBitRate(static_cast<TMP3BitRate>(-1));
    EXPECT_EQ(out.BitRate(), TMP3BitRate::br320);
    out.SetFileMode(TFileOutputMode::foAppend);
    EXPECT_EQ(out.FileMode(), TFileOutputMode::foRewrite);
}

struct TBitRateCase {
    TMP3BitRate Rate;
    int Kbps;
};

class Mp3BitRate : public testing::TestWithParam<TBitRateCase> {};

// Every audio frame of the file carries the chosen rate (constant bit rate).
TEST_P(Mp3BitRate, EveryFrameAtTheChosenRate)
{
    const auto c = GetParam();
    TTempDir dir;
    const auto pcm = AsBytes(Noise16(44100, 2, 3, 8000));
    ASSERT_TRUE(EncodeMp3(dir.File("a.mp3"), {44100, 16, 2}, pcm, c.Rate));
    const auto frames = WalkFrames(ReadWholeFile(dir.File("a.mp3")));
    ASSERT_GT(frames.size(), 5u);
    for (const auto& f : frames) {
        ASSERT_EQ(f.Kbps, c.Kbps);
        ASSERT_EQ(f.Channels, 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, Mp3BitRate,
                         testing::Values(TBitRateCase{TMP3BitRate::br8, 8}, TBitRateCase{TMP3BitRate::br64, 64},
                                         TBitRateCase{TMP3BitRate::br128, 128}, TBitRateCase{TMP3BitRate::br320, 320}),
                         [](const auto& I) { return std::to_string(I.param.Kbps); });

// The file is made anew on every run, whatever stood there and whatever the
// file mode says; the bit rate of a run is the one set before it.
TEST(Mp3Out, EveryRunCreatesItsFileAnew)
{
    TTempDir dir;
    const auto pcm = AsBytes(Noise16(20000, 2, 5, 8000));
    WriteWholeFile(dir.File("a.mp3"), std::vector<std::uint8_t>(500000, 0x55));
    TFakeInput in({44100, 16, 2}, pcm, static_cast<std::int64_t>(pcm.size()));
    TMP3Out out;
    out.SetFileName(dir.File("a.mp3"));
    out.SetFileMode(TFileOutputMode::foAppend);
    out.SetInput(&in);
    ASSERT_TRUE(RunToEnd(out));
    const auto first = ReadWholeFile(dir.File("a.mp3"));
    std::size_t end = 0;
    EXPECT_FALSE(WalkFrames(first, &end).empty());
    EXPECT_EQ(end, first.size()) << "nothing of the old file is left";

    out.SetBitRate(TMP3BitRate::br320);
    ASSERT_TRUE(RunToEnd(out));
    const auto second = WalkFrames(ReadWholeFile(dir.File("a.mp3")));
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(second.back().Kbps, 320);
}

std::string Field(const std::vector<std::uint8_t>& F, std::size_t At, std::size_t Length)
{
    std::string s(F.begin() + static_cast<std::ptrdiff_t>(At), F.begin() + static_cast<std::ptrdiff_t>(At + Length));
    return s.substr(0, s.find('\0'));
}

TEST(Mp3Out, TagPropertiesBecomeAnId3v1TagInLatin1)
{
    TTempDir dir;
    const auto pcm = AsBytes(Noise16(10000, 2, 9, 8000));
    TFakeInput in({44100, 16, 2}, pcm, static_cast<std::int64_t>(pcm.size()));
    TMP3Out out;
    out.SetFileName(dir.File("a.mp3"));
    out.SetId3TagTitle("Caf\xC3\xA9 \xE6\x97\xA5");
    out.SetId3TagArtist("Artist");
    out.SetId3TagAlbum("Album");
    out.SetId3TagYear("1999");
    out.SetId3TagTrack("7");
    out.SetId3TagComment("Comment");
    EXPECT_EQ(out.Id3TagTitle(), "Caf\xC3\xA9 \xE6\x97\xA5");
    out.SetInput(&in);
    ASSERT_TRUE(RunToEnd(out));
    const auto f = ReadWholeFile(dir.File("a.mp3"));
    ASSERT_GT(f.size(), 128u);
    const std::size_t t = f.size() - 128;
    ASSERT_EQ(Field(f, t, 3), "TAG");
    EXPECT_EQ(Field(f, t + 3, 30), "Caf\xE9 ?");
    EXPECT_EQ(Field(f, t + 33, 30), "Artist");
    EXPECT_EQ(Field(f, t + 63, 30), "Album");
    EXPECT_EQ(Field(f, t + 93, 4), "1999");
    EXPECT_EQ(Field(f, t + 97, 28), "Comment");
    EXPECT_EQ(f[t + 125], 0);
    EXPECT_EQ(f[t + 126], 7);
    std::size_t end = 0;
    WalkFrames(f, &end);
    EXPECT_EQ(end, t) << "the tag follows the last frame";
}

TEST(Mp3Out, WithoutTagPropertiesTheFileEndsWithItsLastFrame)
{
    TTempDir dir;
    const auto pcm = AsBytes(Noise16(10000, 2, 9, 8000));
    ASSERT_TRUE(EncodeMp3(dir.File("a.mp3"), {44100, 16, 2}, pcm));
    const auto f = ReadWholeFile(dir.File("a.mp3"));
    std::size_t end = 0;
    WalkFrames(f, &end);
    EXPECT_EQ(end, f.size());
}

std::uint32_t Be32At(const std::vector<std::uint8_t>& B, std::size_t At)
{
    return (static_cast<std::uint32_t>(B.at(At)) << 24) | (static_cast<std::uint32_t>(B.at(At + 1)) << 16) |
           (static_cast<std::uint32_t>(B.at(At + 2)) << 8) | B.at(At + 3);
}

// The first frame is the info frame: "Info" (constant bit rate), the count
// of audio frames behind it, the byte count, and in its LAME part the
// encoder delay and padding, which together give the input's exact length.
TEST(Mp3Out, InfoFrameHoldsFrameCountAndExactLength)
{
    struct TCase {
        int Channels;
        int Frames;
    };
    for (const TCase c : {TCase{2, 44100}, TCase{1, 12345}}) {
        TTempDir dir;
        const auto pcm = AsBytes(Sine16(c.Frames, c.Channels, 44100, 300, 9000));
        ASSERT_TRUE(EncodeMp3(dir.File("a.mp3"), {44100, 16, c.Channels}, pcm));
        const auto f = ReadWholeFile(dir.File("a.mp3"));
        const auto frames = WalkFrames(f);
        ASSERT_GT(frames.size(), 2u);
        const std::size_t x = 4 + static_cast<std::size_t>(frames[0].SideInfo);
        ASSERT_EQ(Field(f, x, 4), "Info");
        const std::uint32_t flags = Be32At(f, x + 4);
        ASSERT_EQ(flags & 3u, 3u) << "frame and byte counts present";
        EXPECT_EQ(Be32At(f, x + 8), frames.size() - 1) << "audio frames behind the info frame";
        EXPECT_EQ(Be32At(f, x + 12), f.size());
        // Flags 1, 2, 4 and 8 give frames, bytes, a 100-byte table, a quality.
        std::size_t lame = x + 8 + 4 + 4 + ((flags & 4u) ? 100 : 0) + ((flags & 8u) ? 4 : 0);
        ASSERT_EQ(Field(f, lame, 4), "LAME");
        const std::size_t dp = lame + 21;
        const int delay = (f[dp] << 4) | (f[dp + 1] >> 4);
        const int padding = ((f[dp + 1] & 0x0F) << 8) | f[dp + 2];
        EXPECT_EQ(static_cast<int>(frames.size() - 1) * 1152 - delay - padding, c.Frames);
    }
}

// An input that stops inside a frame (24-bit stereo in blocks of 4096
// bytes) loses nothing: the rest of the frame follows in the next block.
TEST(Mp3Out, InputBlocksThatSplitFramesAreJoined)
{
    TTempDir dir;
    const TDepthSignal s = AtDepth(Sine16(20000, 2, 44100, 500, 10000), 24);
    TFakeInput in({44100, 24, 2}, s.Bytes, static_cast<std::int64_t>(s.Bytes.size()));
    in.ChunkBytes = 4096;
    TMP3Out out;
    out.SetFileName(dir.File("a.mp3"));
    out.SetInput(&in);
    ASSERT_TRUE(RunToEnd(out));
    ASSERT_TRUE(DecodeMp3(dir.File("a.mp3"), dir.File("a.wav")).Success);
    const TWavImage w = ReadWav44(dir.File("a.wav"));
    EXPECT_EQ(w.Samples.size() / 2, 20000u);
    EXPECT_GT(SnrDb(s.Reference, 2, 1, w.Samples, 2, 1), 20.0);
}

// "No data this time" makes the step wait without encoding anything.
TEST(Mp3Out, NoDataThisTimeIsNotTheEnd)
{
    TTempDir dir;
    const auto pcm = AsBytes(Noise16(10000, 2, 2, 8000));
    TFakeInput in({44100, 16, 2}, pcm, static_cast<std::int64_t>(pcm.size()));
    in.Hook = [](int Call) { return Call < 5 ? -1 : INT32_MIN; };
    TMP3Out out;
    out.SetFileName(dir.File("a.mp3"));
    out.SetInput(&in);
    ASSERT_TRUE(RunToEnd(out));
    ASSERT_TRUE(DecodeMp3(dir.File("a.mp3"), dir.File("a.wav")).Success);
    EXPECT_EQ(ReadWav44(dir.File("a.wav")).Samples.size(), pcm.size() / 2);
}

TEST(Mp3Out, FailuresEndTheRunThroughTheFailurePath)
{
    const auto pcm = AsBytes(Noise16(40000, 2, 4, 8000));
    {
        // A full disk.
        TFakeInput in({44100, 16, 2}, pcm, static_cast<std::int64_t>(pcm.size()));
        TFullDiskStream disk(5000);
        TMP3Out out;
        out.SetStream(&disk);
        out.SetInput(&in);
        std::string failure;
        EXPECT_FALSE(RunToEnd(out, &failure));
        EXPECT_EQ(failure, "Cannot write to file \"full\". No space left on device");
        EXPECT_EQ(in.Closes.load(), 1);
    }
    {
        // A read that raises.
        TFakeInput in({44100, 16, 2}, pcm, static_cast<std::int64_t>(pcm.size()));
        in.Hook = [](int Call) -> int {
            if (Call == 3)
                throw EACSException("read failed");
            return INT32_MIN;
        };
        TTempDir dir;
        TMP3Out out;
        out.SetFileName(dir.File("a.mp3"));
        out.SetInput(&in);
        std::string failure;
        EXPECT_FALSE(RunToEnd(out, &failure));
        EXPECT_EQ(failure, "read failed");
    }
    {
        TFakeInput in({44100, 16, 2}, pcm, static_cast<std::int64_t>(pcm.size()));
        TMP3Out out;
        out.SetInput(&in);
        std::string failure;
        EXPECT_FALSE(RunToEnd(out, &failure));
        EXPECT_EQ(failure, "File name is not assigned.");
        EXPECT_EQ(in.Opens.load(), 0);
    }
    {
        TTempDir dir;
        TFakeInput in({44100, 16, 3}, pcm, static_cast<std::int64_t>(pcm.size()));
        TMP3Out out;
        out.SetFileName(dir.File("a.mp3"));
        out.SetInput(&in);
        std::string failure;
        EXPECT_FALSE(RunToEnd(out, &failure));
        EXPECT_EQ(failure, "Cannot encode 3 channel sound into MP3.");
        EXPECT_EQ(in.Opens.load(), in.Closes.load());
    }
}

TEST(Mp3ToWav, EstimateCountsMpeg1FramesAtTheFirstBitRate)
{
    EXPECT_EQ(TMP3DecodeThread::EstimateDataBytes(1000000, 128000, 44100, 2), 11023924);
    EXPECT_EQ(TMP3DecodeThread::EstimateDataBytes(1000000, 0, 44100, 2), 0) << "free format: no estimate";
    EXPECT_EQ(TMP3DecodeThread::EstimateDataBytes(0, 128000, 44100, 2), 0);
}

// Progress follows the estimate made from the first frame's bit rate; at
// the end the header holds the real sizes.
TEST(Mp3ToWav, ProgressIsReportedAndTheHeaderIsExactAtTheEnd)
{
    TTempDir dir;
    const auto pcm = AsBytes(Noise16(44100 * 3, 2, 8, 6000));
    ASSERT_TRUE(EncodeMp3(dir.File("a.mp3"), {44100, 16, 2}, pcm, TMP3BitRate::br128));
    const TDecodeResult r = DecodeMp3(dir.File("a.mp3"), dir.File("a.wav"));
    ASSERT_TRUE(r.Success);
    EXPECT_GE(r.ProgressEvents, 90);
    const TWavImage w = ReadWav44(dir.File("a.wav"));
    // The estimate counts frames in the whole file, the info frame too, so
    // the last report is the file against it; near 100, not exactly.
    const auto mp3Size = static_cast<std::int64_t>(ReadWholeFile(dir.File("a.mp3")).size());
    const std::int64_t estimate = TMP3DecodeThread::EstimateDataBytes(mp3Size, 128000, 44100, 2);
    EXPECT_EQ(r.LastProgress, PercentHalfEven(static_cast<std::int64_t>(w.File.size()), estimate));
    EXPECT_NEAR(r.LastProgress, 100, 3);
    EXPECT_EQ(w.DataSize, w.File.size() - 44);
}

// A stop ends decoding early; the header is made exact and OnDone reports
// success, since frames were decoded.
TEST(Mp3ToWav, StopKeepsWhatWasDecodedWithAnExactHeader)
{
    TTempDir dir;
    const auto pcm = AsBytes(Noise16(44100 * 10, 2, 8, 6000));
    ASSERT_TRUE(EncodeMp3(dir.File("a.mp3"), {44100, 16, 2}, pcm));
    TMP3ToWav decoder;
    decoder.SetInputFile(dir.File("a.mp3"));
    decoder.SetOutputFile(dir.File("a.wav"));
    std::atomic<bool> done{false};
    std::atomic<bool> success{false};
    decoder.OnProgress = [&](TComponent* Sender) {
        if (static_cast<TMP3ToWav*>(Sender)->Progress() >= 10)
            static_cast<TMP3ToWav*>(Sender)->Stop();
    };
    decoder.OnDone = [&](TComponent*, bool Success) {
        success = Success;
        done = true;
    };
    decoder.Run();
    ASSERT_TRUE(decoder.WaitForIdle(std::chrono::seconds(60)));
    EXPECT_FALSE(decoder.Busy());
    EXPECT_TRUE(done.load());
    EXPECT_TRUE(success.load());
    const TWavImage w = ReadWav44(dir.File("a.wav"));
    EXPECT_EQ(w.DataSize, w.File.size() - 44);
    EXPECT_EQ(w.RiffSize, w.File.size() - 8);
    EXPECT_EQ(w.DataSize % 4, 0u);
    EXPECT_GT(w.Samples.size(), 0u);
    EXPECT_LT(w.Samples.size(), pcm.size() / 2 / 5) << "decoding ended near 10 percent";
}

// A file cut short of the length its Info frame announces is no success:
// the decoding ends with the reason and how much was read, and the WAV
// file still holds what was decoded with an exact header.
TEST(Mp3ToWav, ACutFileEndsWithTheReason)
{
    TTempDir dir;
    const auto pcm = AsBytes(Noise16(44100 * 4, 2, 8, 6000));
    ASSERT_TRUE(EncodeMp3(dir.File("a.mp3"), {44100, 16, 2}, pcm));
    auto bytes = ReadWholeFile(dir.File("a.mp3"));
    bytes.resize(bytes.size() / 2 + 77); // inside a frame
    WriteWholeFile(dir.File("cut.mp3"), bytes);
    const TDecodeResult r = DecodeMp3(dir.File("cut.mp3"), dir.File("cut.wav"));
    EXPECT_FALSE(r.Done);
    EXPECT_NE(r.Failure.find("the file ends inside its audio, or is damaged: 1.9"), std::string::npos) << r.Failure;
    EXPECT_NE(r.Failure.find("of the 4.00 s its header announces read"), std::string::npos) << r.Failure;
    const TWavImage w = ReadWav44(dir.File("cut.wav"));
    EXPECT_EQ(w.DataSize, w.File.size() - 44);

    // The whole file decodes as before.
    const TDecodeResult whole = DecodeMp3(dir.File("a.mp3"), dir.File("a.wav"));
    EXPECT_TRUE(whole.Success);
    EXPECT_EQ(whole.Failure, "");
}

// Destroying the component while it decodes stops the decoding, waits for
// its thread and leaves a whole WAV file behind.
TEST(Mp3ToWav, DestroyedWhileDecodingLeavesAWholeFile)
{
    TTempDir dir;
    const auto pcm = AsBytes(Noise16(44100 * 10, 2, 8, 6000));
    ASSERT_TRUE(EncodeMp3(dir.File("a.mp3"), {44100, 16, 2}, pcm));
    std::promise<void> started;
    auto startedFuture = started.get_future();
    std::atomic<bool> first{true};
    {
        TMP3ToWav decoder;
        decoder.SetInputFile(dir.File("a.mp3"));
        decoder.SetOutputFile(dir.File("a.wav"));
        decoder.OnProgress = [&](TComponent*) {
            if (first.exchange(false))
                started.set_value();
        };
        decoder.Run();
        startedFuture.wait();
    }
    const TWavImage w = ReadWav44(dir.File("a.wav"));
    EXPECT_EQ(w.DataSize, w.File.size() - 44);
    EXPECT_GT(w.Samples.size(), 0u);
}

TEST(Mp3ToWav, RunTextsAndBusy)
{
    TTempDir dir;
    const auto expectText = [](const std::function<void()>& Call, const std::string& Text) {
        try {
            Call();
            ADD_FAILURE() << "no exception, expected " << Text;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), Text);
        }
    };
    TMP3ToWav decoder;
    expectText([&] { decoder.Run(); }, "Neither input stream not file name is assigned.");
    const auto pcm = AsBytes(Noise16(44100, 2, 8, 6000));
    ASSERT_TRUE(EncodeMp3(dir.File("a.mp3"), {44100, 16, 2}, pcm));
    decoder.SetInputFile(dir.File("a.mp3"));
    expectText([&] { decoder.Run(); }, "Neither output stream not file name is assigned.");
    EXPECT_FALSE(decoder.Busy());

    // The first event holds the decoding until the second Run was tried.
    std::promise<void> tried;
    std::shared_future<void> triedFuture = tried.get_future().share();
    std::atomic<int> dones{0};
    decoder.OnProgress = [&, triedFuture](TComponent*) { triedFuture.wait(); };
    decoder.OnDone = [&](TComponent*, bool) { ++dones; };
    decoder.SetOutputFile(dir.File("a.wav"));
    decoder.Run();
    EXPECT_TRUE(decoder.Busy());
    expectText([&] { decoder.Run(); }, "Component is buisy.");
    tried.set_value();
    ASSERT_TRUE(decoder.WaitForIdle(std::chrono::seconds(60)));
    EXPECT_EQ(dones.load(), 1);
    // Once finished, the next Run starts a new decoding.
    decoder.Run();
    ASSERT_TRUE(decoder.WaitForIdle(std::chrono::seconds(60)));
    EXPECT_EQ(dones.load(), 2);
}

// Not MPEG audio at all, or nothing: OnDone with Success false and no
// failure; damage in the middle of a file: the frames around it are decoded,
// and the audio lost on the way is reported (the Info frame gives the
// length), never passed off as the whole file.
TEST(Mp3ToWav, DamagedAndForeignInput)
{
    TTempDir dir;
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "This is not an MP3 file, only words. ";
    WriteWholeFile(dir.File("text.mp3"), std::vector<std::uint8_t>(text.begin(), text.end()));
    WriteWholeFile(dir.File("empty.mp3"), {});
    for (const char* name : {"text.mp3", "empty.mp3"}) {
        const TDecodeResult r = DecodeMp3(dir.File(name), dir.File("out.wav"));
        EXPECT_TRUE(r.Done) << name;
        EXPECT_FALSE(r.Success) << name;
        EXPECT_EQ(r.Failure, "") << name;
    }

    const auto pcm = AsBytes(Sine16(44100 * 2, 2, 44100, 440, 10000));
    ASSERT_TRUE(EncodeMp3(dir.File("a.mp3"), {44100, 16, 2}, pcm));
    auto f = ReadWholeFile(dir.File("a.mp3"));
    for (std::size_t i = f.size() / 3; i < f.size() / 3 + 3000; ++i)
        f[i] = static_cast<std::uint8_t>(i * 7919u);
    WriteWholeFile(dir.File("damaged.mp3"), f);
    const TDecodeResult r = DecodeMp3(dir.File("damaged.mp3"), dir.File("damaged.wav"));
    EXPECT_FALSE(r.Done);
    EXPECT_NE(r.Failure.find("or is damaged"), std::string::npos) << r.Failure;
    const TWavImage w = ReadWav44(dir.File("damaged.wav"));
    EXPECT_EQ(w.DataSize, w.File.size() - 44);
    EXPECT_GT(w.Samples.size(), pcm.size() / 2 / 2);
}

// A full disk under the decoder ends the run with OnThreadException, not
// OnDone; a stream in memory works as a file does.
TEST(Mp3ToWav, WriteFailureAndSuppliedStreams)
{
    TTempDir dir;
    const auto pcm = AsBytes(Noise16(44100 * 2, 2, 8, 6000));
    ASSERT_TRUE(EncodeMp3(dir.File("a.mp3"), {44100, 16, 2}, pcm));
    TMemoryStream input(ReadWholeFile(dir.File("a.mp3")));
    {
        TFullDiskStream disk(100000);
        TMP3ToWav decoder;
        decoder.SetInputStream(&input);
        decoder.SetOutputStream(&disk);
        const TDecodeResult r = DecodeMp3(decoder);
        EXPECT_FALSE(r.Done);
        EXPECT_EQ(r.Failure, "Cannot write to file \"full\". No space left on device");
    }
    input.Seek(0, TSeekOrigin::soBeginning);
    TMemoryStream output;
    TMP3ToWav decoder;
    decoder.SetInputStream(&input);
    decoder.SetOutputStream(&output);
    ASSERT_TRUE(DecodeMp3(decoder).Success);
    EXPECT_EQ(output.Size(), static_cast<std::int64_t>(pcm.size()) + 44);
    EXPECT_EQ(Le32At(output.Bytes(), 40), pcm.size());
}

} // namespace
} // namespace kestrune::test
