// The WAV reader: the header walk, PCM depths, both ADPCM decoders, seeking,
// damaged and foreign files, and reading through a running output.

#include "codecs/TDynamicLibrary.h"
#include "formats/TImaAdpcm.h"
#include "formats/TWaveIn.h"
#include "formats/TWaveOut.h"
#include "formats/WavTestHelpers.h"
#include "pipeline/TMemoryStream.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace kestrune::test {
namespace {

using TBytes = std::vector<std::uint8_t>;

TBytes Pcm16Format(int Channels, int Rate = 44100)
{
    return TRiffBuilder::Format(1, Channels, Rate, 2 * Channels, 16);
}

// An input reading Bytes through a supplied memory stream.
struct TMemoryWave {
    explicit TMemoryWave(TBytes Bytes) : Stream(std::move(Bytes)) { In.SetStream(&Stream); }
    TMemoryStream Stream;
    TWaveIn In;
};

// The standard seven Microsoft ADPCM coefficient pairs, as a format extension.
TBytes MsAdpcmExtra(int SamplesPerBlock, int Pairs = 7)
{
    static const int coef[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
    TBytes extra;
    TRiffBuilder::Put16(extra, static_cast<std::uint32_t>(4 + 4 * Pairs));
    TRiffBuilder::Put16(extra, static_cast<std::uint32_t>(SamplesPerBlock));
    TRiffBuilder::Put16(extra, static_cast<std::uint32_t>(Pairs));
    for (int i = 0; i < Pairs; ++i) {
        TRiffBuilder::Put16(extra, static_cast<std::uint16_t>(coef[i % 7][0]));
        TRiffBuilder::Put16(extra, static_cast<std::uint16_t>(coef[i % 7][1]));
    }
    return extra;
}

// A Microsoft ADPCM file of Blocks blocks of arbitrary codes.
TBytes MsAdpcmFile(int Channels, int BlockAlign, int Blocks, std::uint32_t Seed = 1)
{
    const int spb = 2 + (BlockAlign - 7 * Channels) * 2 / Channels;
    TBytes data;
    std::uint32_t x = Seed;
    for (int b = 0; b < Blocks; ++b) {
        TBytes block(static_cast<size_t>(BlockAlign));
        for (auto& v : block)
            v = static_cast<std::uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
        for (int ch = 0; ch < Channels; ++ch) {
            block[ch] = static_cast<std::uint8_t>(block[ch] % 7); // predictor index
            block[Channels + 2 * ch] = 32;                        // delta 32
            block[Channels + 2 * ch + 1] = 0;
        }
        data.insert(data.end(), block.begin(), block.end());
    }
    TRiffBuilder b;
    b.Chunk("fmt ", TRiffBuilder::Format(2, Channels, 44100, BlockAlign, 4, MsAdpcmExtra(spb)));
    TBytes fact;
    TRiffBuilder::Put32(fact, static_cast<std::uint32_t>(spb * Blocks));
    b.Chunk("fact", fact);
    b.Chunk("data", data);
    return b.Bytes();
}

TBytes ImaFile(int Channels, int Frames, std::uint16_t BlockSize = 512)
{
    const auto pcm = AsBytes(Sine16(Frames, Channels, 44100, 330, 14000));
    TFakeInput in({44100, 16, Channels}, pcm, static_cast<std::int64_t>(pcm.size()));
    TMemoryStream stream;
    TWaveOut out;
    out.SetStream(&stream);
    out.SetWavType(TWavType::wtDVIADPCM);
    out.SetBlockSize(BlockSize);
    out.SetInput(&in);
    EXPECT_TRUE(RunToEnd(out));
    return stream.Bytes();
}

TEST(WaveIn, ListChunksBeforeAndAfterTheDataAreNeverAudio)
{
    const auto pcm = AsBytes(Noise16(999, 2, 4));
    const TBytes list = {'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 5, 0, 0, 0, 'x', 'y', 'z', 'w', 'v', 0};
    TRiffBuilder b;
    b.Chunk("LIST", list);
    b.Chunk("fmt ", Pcm16Format(2));
    b.Chunk("JUNK", TBytes(7, 0)); // odd size, padded
    b.Chunk("data", pcm);
    b.Chunk("LIST", list);
    TMemoryWave w(b.Bytes());
    EXPECT_EQ(ReadAll(w.In), pcm);
    EXPECT_EQ(w.In.TotalSamples(), 999);

    // Lower-case codes, and a writer that does not pad odd chunks.
    TRiffBuilder lower("riff", "wave");
    lower.Pad = false;
    lower.Chunk("junk", TBytes(3, 9));
    lower.Chunk("fmt ", Pcm16Format(2));
    lower.Chunk("data", pcm);
    TMemoryWave l(lower.Bytes());
    EXPECT_EQ(ReadAll(l.In), pcm);
}

TEST(WaveIn, PcmDepthsAreHandedOutAsTheyStand)
{
    const TBytes eight = {0, 1, 127, 128, 200, 255, 3, 4};
    TBytes twentyFour;
    for (int i = 0; i < 3 * 2 * 50; ++i)
        twentyFour.push_back(static_cast<std::uint8_t>(i * 37));
    TBytes extensible24 = TRiffBuilder::Format(0xFFFE, 2, 48000, 6, 24);
    // cbSize 22, valid bits 24, channel mask, sub-format PCM GUID.
    const TBytes ext = {22, 0, 24, 0, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    extensible24.insert(extensible24.end(), ext.begin(), ext.end());
    struct TCase {
        TBytes Format;
        TBytes Data;
        int Bits, Channels, Rate;
    } cases[] = {
        {TRiffBuilder::Format(1, 1, 8000, 1, 8), eight, 8, 1, 8000},
        {TRiffBuilder::Format(1, 2, 96000, 6, 24), twentyFour, 24, 2, 96000},
        {extensible24, twentyFour, 24, 2, 48000},
    };
    for (const auto& c : cases) {
        TRiffBuilder b;
        b.Chunk("fmt ", c.Format);
        b.Chunk("data", c.Data);
        TMemoryWave w(b.Bytes());
        EXPECT_EQ(w.In.InBitsPerSample(), c.Bits);
        EXPECT_EQ(w.In.InChannels(), c.Channels);
        EXPECT_EQ(w.In.InSampleRate(), c.Rate);
        EXPECT_EQ(ReadAll(w.In), c.Data);
    }
}

// Reads In to its end; the failure that ends it, if any, in Failure.
std::vector<std::uint8_t> ReadUntilFailure(TACSFileIn& In, std::string& Failure)
{
    std::vector<std::uint8_t> got;
    std::vector<std::uint8_t> buffer(5000);
    In.OpenInput();
    try {
        for (int n; (n = In.ReadBlock(buffer.data(), 5000)) > 0;)
            got.insert(got.end(), buffer.begin(), buffer.begin() + n);
    } catch (const EACSException& e) {
        Failure = e.what();
    }
    In.CloseInput();
    return got;
}

// Sizes a writer leaves when it never came back to its header (ffmpeg and
// a pipe, arecord, sox, a capture that never wrote its size) are read to
// the end of the file.
TEST(WaveIn, UnfinishedDataSizesAreReadToTheEnd)
{
    const auto pcm = AsBytes(Noise16(3000, 2, 8));
    for (std::int64_t field :
         {std::int64_t{0xFFFFFFFF}, std::int64_t{0x80000000}, std::int64_t{0x7FFFF000}, std::int64_t{0}}) {
        TRiffBuilder b;
        b.Chunk("fmt ", Pcm16Format(2));
        b.Chunk("data", pcm, field);
        TMemoryWave w(b.Bytes());
        std::string failure;
        EXPECT_EQ(ReadUntilFailure(w.In, failure), pcm) << field;
        EXPECT_EQ(failure, "") << field;
        EXPECT_EQ(w.In.TotalSamples(), 3000) << field;
    }
}

// A real size larger than the file is a cut file: what it holds is handed
// out, then the read fails saying how much of how much was read. PCM and
// ADPCM alike; a range the file still holds whole reads without complaint.
TEST(WaveIn, ACutFileHandsOutWhatItHoldsThenFails)
{
    const auto pcm = AsBytes(Noise16(44100, 2, 8)); // 1 s
    TRiffBuilder b;
    b.Chunk("fmt ", Pcm16Format(2));
    b.Chunk("data", pcm, 4 * 44100 * 4); // 4 s announced
    {
        TMemoryWave w(b.Bytes());
        std::string failure;
        EXPECT_EQ(ReadUntilFailure(w.In, failure), pcm);
        EXPECT_EQ(failure, "Cannot read the stream: the file ends inside its audio: 1.00 s of the 4.00 s its "
                           "header announces read.");
    }
    {
        TMemoryWave w(b.Bytes());
        w.In.SetStartSample(100);
        w.In.SetEndSample(1100);
        std::string failure;
        EXPECT_EQ(ReadUntilFailure(w.In, failure).size(), 1000u * 4);
        EXPECT_EQ(failure, "");
    }
    {
        // Nothing of the audio is left: the file cannot be opened at all.
        TRiffBuilder none;
        none.Chunk("fmt ", Pcm16Format(2));
        none.Chunk("data", {}, 44100 * 4);
        TMemoryWave w(none.Bytes());
        EXPECT_THROW(
            {
                try {
                    w.In.OpenInput();
                } catch (const EACSException& e) {
                    EXPECT_STREQ(e.what(), "Cannot read the stream: the file ends inside its audio: 0.00 s of the "
                                           "1.00 s its header announces read.");
                    throw;
                }
            },
            EACSException);
    }
    {
        TBytes ima = ImaFile(1, 44100);
        const std::size_t whole = ima.size();
        ima.resize(whole - 3000);
        TMemoryWave w(ima);
        std::string failure;
        const auto got = ReadUntilFailure(w.In, failure);
        EXPECT_GT(got.size(), 0u);
        EXPECT_NE(failure.find("the file ends inside its audio"), std::string::npos) << failure;
        EXPECT_NE(failure.find("of the 1.00 s its header announces"), std::string::npos) << failure;
    }
}

// A header without a frame of audio is no recording to convert.
TEST(WaveIn, AFileWithoutAudioFailsToOpen)
{
    TRiffBuilder b;
    b.Chunk("fmt ", Pcm16Format(2));
    b.Chunk("data", {});
    TMemoryWave w(b.Bytes());
    try {
        w.In.OpenInput();
        ADD_FAILURE() << "opened";
    } catch (const EACSException& e) {
        EXPECT_STREQ(e.what(), "Cannot read the stream: it holds no audio.");
    }
    EXPECT_FALSE(w.In.Busy());
}

TEST(WaveIn, FilesItCannotReadFailToOpenWithTheReason)
{
    auto withFormat = [](const TBytes& Format, const TBytes& Data = TBytes(64, 0)) {
        TRiffBuilder b;
        b.Chunk("fmt ", Format);
        b.Chunk("data", Data);
        return b.Bytes();
    };
    TBytes noData = TRiffBuilder().Chunk("fmt ", Pcm16Format(2)).Bytes();
    TBytes dataFirst = TRiffBuilder().Chunk("data", TBytes(4)).Chunk("fmt ", Pcm16Format(2)).Bytes();
    TBytes imaExtra = {2, 0, 0xF9, 0x03}; // samples per block 1017
    struct TCase {
        std::string Name;
        TBytes File;
        std::string Reason;
    } cases[] = {
        {"not RIFF", TBytes(100, 'x'), "not a RIFF WAVE file"},
        {"floating point", withFormat(TRiffBuilder::Format(3, 2, 44100, 8, 32)),
         "floating-point samples are not supported"},
        {"unknown tag", withFormat(TRiffBuilder::Format(0x161, 2, 44100, 8, 16)),
         "wave format 0x0161 is not supported"},
        {"32-bit PCM", withFormat(TRiffBuilder::Format(1, 2, 44100, 8, 32)), "32-bit PCM samples are not supported"},
        {"rate 0", withFormat(TRiffBuilder::Format(1, 2, 0, 4, 16)), "the sample rate is 0"},
        {"frames beyond the buffer", withFormat(TRiffBuilder::Format(1, 6000, 44100, 18000, 24)),
         "6000 channels are not supported"},
        {"short fmt", withFormat(TBytes(10, 1)), "damaged format chunk"},
        {"no data", noData, "no data chunk"},
        {"data first", dataFirst, "the data chunk comes before the format chunk"},
        {"IMA 3 channels", withFormat(TRiffBuilder::Format(0x11, 3, 44100, 512, 4, imaExtra)),
         "ADPCM with 3 channels is not supported"},
        {"IMA 8 bits", withFormat(TRiffBuilder::Format(0x11, 1, 44100, 512, 8, imaExtra)),
         "IMA ADPCM with 8 bits per sample is not supported"},
        {"IMA block align 0", withFormat(TRiffBuilder::Format(0x11, 1, 44100, 0, 4, imaExtra)),
         "damaged ADPCM header: blocks of 0 bytes"},
        {"IMA frames beyond the block", withFormat(TRiffBuilder::Format(0x11, 1, 44100, 256, 4, imaExtra)),
         "damaged ADPCM header: 1017 frames do not fit in blocks of 256 bytes"},
        {"IMA block beyond the buffer", withFormat(TRiffBuilder::Format(0x11, 1, 44100, 8192, 4, {2, 0, 0xF9, 0x3F})),
         "ADPCM blocks of 16377 frames are not supported (at most 8192 mono or 4096 stereo frames)"},
        {"MS 33 pairs", withFormat(TRiffBuilder::Format(2, 1, 44100, 256, 4, MsAdpcmExtra(500, 33))),
         "Microsoft ADPCM with 33 coefficient pairs (at most 32 are supported)"},
        {"MS pairs past the chunk", withFormat([] {
             auto f = TRiffBuilder::Format(2, 1, 44100, 256, 4, MsAdpcmExtra(500, 7));
             f.resize(f.size() - 4);
             return f;
         }()),
         "damaged Microsoft ADPCM format chunk"},
    };
    for (const auto& c : cases) {
        TMemoryWave w(c.File);
        EXPECT_EQ(OpenError(w.In), "Cannot read the stream: " + c.Reason + ".") << c.Name;
        EXPECT_FALSE(w.In.Valid()) << c.Name;
    }
}

TEST(WaveIn, AdpcmBlocksGiveTheirFramesPerRefill)
{
    struct TCase {
        TBytes File;
        int FramesPerBlock;
        int Channels;
    } cases[] = {
        {ImaFile(1, 5000), 1017, 1},
        {ImaFile(2, 5000), 505, 2},
        {MsAdpcmFile(2, 1024, 5), 1012, 2},
        {MsAdpcmFile(1, 512, 5), 1012, 1},
    };
    for (const auto& c : cases) {
        TMemoryWave w(c.File);
        EXPECT_EQ(w.In.InBitsPerSample(), 16);
        w.In.OpenInput();
        TBytes buf(65536);
        EXPECT_EQ(w.In.ReadBlock(buf.data(), 65536), c.FramesPerBlock * 2 * c.Channels);
        w.In.CloseInput();
    }
}

TEST(WaveIn, SeekingLandsOnTheExactFrameInsideAnAdpcmBlock)
{
    for (const TBytes& file : {ImaFile(1, 5000), ImaFile(2, 4000), MsAdpcmFile(2, 1024, 4)}) {
        TMemoryWave whole(file);
        const auto all = ReadAll(whole.In);
        const int frame = 2 * whole.In.InChannels();
        TMemoryWave part(file);
        part.In.SetStartSample(2000);
        part.In.SetEndSample(3100);
        const auto slice = ReadAll(part.In);
        ASSERT_EQ(slice.size(), 1100u * frame);
        EXPECT_TRUE(std::equal(slice.begin(), slice.end(), all.begin() + 2000 * frame));
    }
}

TEST(WaveIn, StartEndLoopAndTotalTimeOfPcm)
{
    const auto pcm = AsBytes(Noise16(44100 * 3 + 100, 1, 5));
    TRiffBuilder b;
    b.Chunk("fmt ", Pcm16Format(1));
    b.Chunk("data", pcm);
    TMemoryWave w(b.Bytes());
    EXPECT_EQ(w.In.TotalTime(), 3);
    w.In.SetStartSample(100);
    w.In.SetEndSample(200);
    const auto slice = ReadAll(w.In);
    EXPECT_EQ(slice, TBytes(pcm.begin() + 200, pcm.begin() + 400));

    // Looping starts again at StartSample and never ends by itself.
    w.In.SetLoop(true);
    w.In.OpenInput();
    TBytes got;
    TBytes buf(64);
    while (got.size() < 3 * 200) {
        const int n = w.In.ReadBlock(buf.data(), 64);
        ASSERT_GT(n, 0);
        got.insert(got.end(), buf.begin(), buf.begin() + n);
    }
    w.In.CloseInput();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(std::equal(slice.begin(), slice.end(), got.begin() + 200 * i)) << i;
}

TEST(WaveIn, DamagedAdpcmBlockEndsTheRunWithAnError)
{
    auto ima = ImaFile(1, 3000);
    ima[60 + 512 + 2] = 89; // step index of the second block
    auto ms = MsAdpcmFile(1, 256, 3);
    const size_t secondMsBlock = ms.size() - 2 * 256;
    ms[secondMsBlock] = 7; // predictor index past the 7 pairs
    for (const TBytes& file : {ima, ms}) {
        TMemoryWave w(file);
        TMemoryStream sink;
        TWaveOut out;
        out.SetStream(&sink);
        out.SetInput(&w.In);
        std::string failure;
        EXPECT_FALSE(RunToEnd(out, &failure));
        EXPECT_NE(failure.find("damaged ADPCM block at byte"), std::string::npos) << failure;
    }
}

TEST(WaveIn, ReadingBeforeOpeningIsRefused)
{
    TWaveIn in;
    char b[4];
    try {
        in.ReadBlock(b, 4);
        FAIL() << "no exception";
    } catch (const EACSException& e) {
        EXPECT_STREQ(e.what(), "The Stream is not opened");
    }
}

TEST(WaveIn, ReadsThroughARunningOutputIntoMemory)
{
    TTempDir dir;
    const auto pcm = AsBytes(Noise16(70000, 2, 11));
    TRiffBuilder b;
    b.Chunk("fmt ", Pcm16Format(2));
    b.Chunk("data", pcm);
    b.Chunk("LIST", TBytes(20, 'L'));
    WriteWholeFile(dir.File("in.wav"), b.Bytes());
    TWaveIn in;
    in.SetFileName(dir.File("in.wav"));
    TMemoryStream sink;
    TWaveOut out;
    out.SetStream(&sink);
    out.SetInput(&in);
    int progress = -1;
    out.OnProgress = [&](TComponent*) { progress = out.Progress(); };
    std::string failure;
    ASSERT_TRUE(RunToEnd(out, &failure)) << failure;
    EXPECT_EQ(progress, 100);
    ASSERT_EQ(sink.Bytes().size(), 44 + pcm.size());
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), sink.Bytes().begin() + 44));
    EXPECT_FALSE(in.Busy());
}

TEST(WaveIn, MissingFileAndMissingLibraryAreClearErrors)
{
    TWaveIn in;
    in.SetFileName("/nonexistent/kestrune.wav");
    EXPECT_NE(OpenError(in).find("Cannot open file \"/nonexistent/kestrune.wav\""), std::string::npos);
    try {
        TDynamicLibrary missing("libkestrune-missing.so.0");
        FAIL() << "loaded";
    } catch (const EACSException& e) {
        EXPECT_STREQ(e.what(), "libkestrune-missing.so.0 library could not be loaded.");
    }
    TDynamicLibrary libc("libc.so.6");
    EXPECT_NE(libc.Symbol("strlen"), nullptr);
    EXPECT_EQ(libc.Symbol("kestrune_no_such_entry"), nullptr);
}

} // namespace
} // namespace kestrune::test
