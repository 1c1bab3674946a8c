// The WAV writer: header layouts, header patching, setters, append, and how
// a run ends when reading or writing fails.

#include "formats/TImaAdpcm.h"
#include "formats/TWaveIn.h"
#include "formats/TWaveOut.h"
#include "formats/WavTestHelpers.h"
#include "pipeline/TMemoryStream.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <filesystem>
#include <thread>

namespace kestrune::test {
namespace {

constexpr TAudioFormat CD{44100, 16, 2};
constexpr TAudioFormat Mono16{44100, 16, 1};

// Writes Bytes from a fake input into File; Size -1 makes the input a
// capture of unknown length.
bool WriteWav(const std::string& File, TAudioFormat F, const std::vector<std::uint8_t>& Bytes, TWavType Type,
              std::int64_t Size, std::uint16_t BlockSize = 512, TFileOutputMode Mode = TFileOutputMode::foRewrite,
              std::string* Failure = nullptr)
{
    TFakeInput in(F, Bytes, Size);
    TWaveOut out;
    out.SetFileName(File);
    out.SetWavType(Type);
    out.SetBlockSize(BlockSize);
    out.SetFileMode(Mode);
    out.SetInput(&in);
    return RunToEnd(out, Failure);
}

TEST(WaveOut, PcmHeaderOf44BytesThenTheSamples)
{
    TTempDir dir;
    const auto pcm = AsBytes(Noise16(1000, 2, 7));
    ASSERT_TRUE(WriteWav(dir.File("a.wav"), CD, pcm, TWavType::wtPCM, static_cast<std::int64_t>(pcm.size())));
    const auto f = ReadWholeFile(dir.File("a.wav"));
    ASSERT_EQ(f.size(), 44 + pcm.size());
    EXPECT_EQ(std::string(f.begin(), f.begin() + 4), "RIFF");
    EXPECT_EQ(Le32At(f, 4), 36 + pcm.size());
    EXPECT_EQ(std::string(f.begin() + 8, f.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(Le32At(f, 16), 16u);
    EXPECT_EQ(Le16At(f, 20), 1);
    EXPECT_EQ(Le16At(f, 22), 2);
    EXPECT_EQ(Le32At(f, 24), 44100u);
    EXPECT_EQ(Le32At(f, 28), 44100u * 4);
    EXPECT_EQ(Le16At(f, 32), 4);
    EXPECT_EQ(Le16At(f, 34), 16);
    EXPECT_EQ(std::string(f.begin() + 36, f.begin() + 40), "data");
    EXPECT_EQ(Le32At(f, 40), pcm.size());
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), f.begin() + 44));
}

struct TAdpcmHeaderCase {
    int Channels;
    std::uint16_t BlockSize;
    int SamplesPerBlock;
    std::uint32_t BytesPerSecond;
};

class WaveOutAdpcmHeader : public testing::TestWithParam<TAdpcmHeaderCase> {};

TEST_P(WaveOutAdpcmHeader, SixtyByteHeaderWithBlockFigures)
{
    const auto c = GetParam();
    TTempDir dir;
    const int frames = 3000;
    const auto pcm = AsBytes(Sine16(frames, c.Channels, 44100, 440, 12000));
    ASSERT_TRUE(WriteWav(dir.File("a.wav"), {44100, 16, c.Channels}, pcm, TWavType::wtDVIADPCM,
                         static_cast<std::int64_t>(pcm.size()), c.BlockSize));
    const auto f = ReadWholeFile(dir.File("a.wav"));
    EXPECT_EQ(Le32At(f, 16), 20u);
    EXPECT_EQ(Le16At(f, 20), 0x11);
    EXPECT_EQ(Le16At(f, 22), c.Channels);
    EXPECT_EQ(Le32At(f, 28), c.BytesPerSecond);
    EXPECT_EQ(Le16At(f, 32), c.BlockSize);
    EXPECT_EQ(Le16At(f, 34), 4);
    EXPECT_EQ(Le16At(f, 36), 2);
    EXPECT_EQ(Le16At(f, 38), c.SamplesPerBlock);
    EXPECT_EQ(std::string(f.begin() + 40, f.begin() + 44), "fact");
    EXPECT_EQ(Le32At(f, 48), static_cast<std::uint32_t>(frames));
    EXPECT_EQ(std::string(f.begin() + 52, f.begin() + 56), "data");
    const size_t blocks = (frames + c.SamplesPerBlock - 1) / c.SamplesPerBlock;
    EXPECT_EQ(f.size(), 60 + blocks * c.BlockSize);
    // The data size field tells what the file holds, so every player reads
    // all the blocks.
    EXPECT_EQ(Le32At(f, 56), blocks * c.BlockSize);
    EXPECT_EQ(Le32At(f, 4), f.size() - 8);
}

INSTANTIATE_TEST_SUITE_P(Figures, WaveOutAdpcmHeader,
                         testing::Values(TAdpcmHeaderCase{1, 512, 1017, 22016}, TAdpcmHeaderCase{2, 512, 505, 44544},
                                         TAdpcmHeaderCase{1, 1024, 2041, 21504},
                                         TAdpcmHeaderCase{2, 2048, 2041, 43008}));

TEST(WaveOut, AdpcmOfWholeBlocksAddsOneBlockOfSilenceAndCountsIt)
{
    TTempDir dir;
    const auto pcm = AsBytes(Sine16(1017 * 10, 1, 44100, 1000, 8000));
    // Unknown length: the header is completed from what was written.
    ASSERT_TRUE(WriteWav(dir.File("a.wav"), Mono16, pcm, TWavType::wtDVIADPCM, -1));
    const auto f = ReadWholeFile(dir.File("a.wav"));
    ASSERT_EQ(f.size(), 60u + 11 * 512);
    EXPECT_EQ(Le32At(f, 48), 11u * 1017);
    EXPECT_EQ(Le32At(f, 56), 11u * 512);
    EXPECT_EQ(Le32At(f, 4), f.size() - 8);
    // The eleventh block is silence: it starts at 0 and, the step size
    // carried over from the tone decaying, settles at 0.
    TWaveIn in;
    in.SetFileName(dir.File("a.wav"));
    const auto back = AsSamples16(ReadAll(in));
    ASSERT_EQ(back.size(), 11u * 1017);
    EXPECT_EQ(back[10 * 1017], 0);
    for (size_t i = 10 * 1017; i < back.size(); ++i)
        ASSERT_LT(std::abs(back[i]), 1000) << i;
    for (size_t i = back.size() - 500; i < back.size(); ++i)
        ASSERT_LE(std::abs(back[i]), 1) << i;

    // Known length: the fact chunk keeps the true frame count.
    ASSERT_TRUE(WriteWav(dir.File("b.wav"), Mono16, pcm, TWavType::wtDVIADPCM, static_cast<std::int64_t>(pcm.size())));
    const auto g = ReadWholeFile(dir.File("b.wav"));
    EXPECT_EQ(g.size(), 60u + 11 * 512);
    EXPECT_EQ(Le32At(g, 48), 10170u);
}

TEST(WaveOut, CaptureOfUnknownLengthGetsItsHeaderCompleted)
{
    TTempDir dir;
    const auto pcm = AsBytes(Noise16(5000, 2, 3));
    TFakeInput in(CD, pcm, -1);
    TMemoryStream stream;
    std::vector<std::uint8_t> headerDuringRun;
    // The first read sees the header as written at open.
    in.Hook = [&](int Call) {
        if (Call == 0)
            headerDuringRun = stream.Bytes();
        return INT32_MIN;
    };
    TWaveOut out;
    out.SetStream(&stream);
    out.SetInput(&in);
    ASSERT_TRUE(RunToEnd(out));
    ASSERT_EQ(headerDuringRun.size(), 44u);
    EXPECT_EQ(Le32At(headerDuringRun, 4), 35u);
    EXPECT_EQ(Le32At(headerDuringRun, 40), 0xFFFFFFFFu);
    const auto& f = stream.Bytes();
    ASSERT_EQ(f.size(), 44 + pcm.size());
    EXPECT_EQ(Le32At(f, 40), f.size() - 44);
    EXPECT_EQ(Le32At(f, 4), f.size() - 8);
}

TEST(WaveOut, RunStoppedEarlyLeavesHeaderMatchingTheFile)
{
    const auto pcm = AsBytes(Noise16(44100, 2, 5));
    TFakeInput in(CD, pcm, static_cast<std::int64_t>(pcm.size()));
    std::atomic<int> reads{0};
    // After two blocks the input has nothing more for now.
    in.Hook = [&](int Call) {
        reads = Call + 1;
        return Call < 2 ? INT32_MIN : -1;
    };
    TMemoryStream stream;
    TWaveOut out;
    out.SetStream(&stream);
    out.SetInput(&in);
    bool done = false;
    out.OnDone = [&](TComponent*) { done = true; };
    out.Run();
    ASSERT_TRUE(WaitUntil([&] { return reads >= 5; }, std::chrono::seconds(10)))
        << "the writer never asked for more after the input ran dry";
    out.Stop();
    ASSERT_TRUE(out.WaitForIdle(std::chrono::seconds(10)));
    EXPECT_TRUE(done);
    const auto& f = stream.Bytes();
    EXPECT_EQ(f.size(), 44u + 2 * 4096);
    EXPECT_EQ(Le32At(f, 40), f.size() - 44);
    EXPECT_EQ(Le32At(f, 4), f.size() - 8);
}

TEST(WaveOut, SettersKeepThePreviousValueForRefusedOnes)
{
    TWaveOut out;
    EXPECT_EQ(out.WavType(), TWavType::wtPCM);
    EXPECT_EQ(out.BlockSize(), 512);
    out.SetWavType(TWavType::wtDVIADPCM);
    for (TWavType refused : {TWavType::wtMSADPCM, TWavType::wtACM, TWavType::wtUnsupported})
        out.SetWavType(refused);
    EXPECT_EQ(out.WavType(), TWavType::wtDVIADPCM);
    out.SetBlockSize(1024);
    for (std::uint16_t refused : {0, 510, 1020, 1022, 3, 4104})
        out.SetBlockSize(refused);
    EXPECT_EQ(out.BlockSize(), 1024);
    out.SetFileMode(TFileOutputMode::foAppend);
    EXPECT_EQ(out.FileMode(), TFileOutputMode::foAppend);

    // While running, neither setter takes effect.
    TFakeInput in(Mono16, AsBytes(Noise16(100, 1, 1)), -1);
    in.Hook = [](int) { return -1; };
    TMemoryStream stream;
    out.SetFileMode(TFileOutputMode::foRewrite);
    out.SetStream(&stream);
    out.SetInput(&in);
    out.Run();
    out.SetWavType(TWavType::wtPCM);
    out.SetBlockSize(256);
    EXPECT_EQ(out.WavType(), TWavType::wtDVIADPCM);
    EXPECT_EQ(out.BlockSize(), 1024);
    out.Stop();
    ASSERT_TRUE(out.WaitForIdle(std::chrono::seconds(10)));
}

// The encoder dialog offers what the setter takes: every size it takes must
// then write mono and stereo alike, and it refuses only sizes that one of
// them cannot be written in.
TEST(WaveOut, BlockSizeSetterTakesExactlyWhatTheWriterCanWrite)
{
    for (std::uint16_t size : {4, 8, 12, 16, 36, 508, 512, 1020, 1024, 2048, 4092, 4096, 4100, 4104, 8192}) {
        SCOPED_TRACE(size);
        TWaveOut probe;
        probe.SetBlockSize(size);
        if (probe.BlockSize() != size) {
            EXPECT_FALSE(TWaveOut::AdpcmBlockProblem(1, size).empty() && TWaveOut::AdpcmBlockProblem(2, size).empty());
            continue;
        }
        for (int channels : {1, 2}) {
            TFakeInput in({44100, 16, channels}, AsBytes(Noise16(300, channels, 4)), 300 * 2 * channels);
            TMemoryStream stream;
            TWaveOut out;
            out.SetStream(&stream);
            out.SetWavType(TWavType::wtDVIADPCM);
            out.SetBlockSize(size);
            out.SetInput(&in);
            std::string failure;
            EXPECT_TRUE(RunToEnd(out, &failure)) << channels << " channels: " << failure;
        }
    }
}

TEST(WaveOut, OpenFailuresNameTheProblemAndLeaveNothingOpen)
{
    TTempDir dir;
    struct TCase {
        TAudioFormat Format;
        TWavType Type;
        std::uint16_t BlockSize;
        std::string FileName;
        std::string Message;
    } cases[] = {
        {CD, TWavType::wtPCM, 512, "", "File name is not assigned."},
        {{44100, 8, 1}, TWavType::wtDVIADPCM, 512, "a.wav", "Cannot encode 8 bit sound into ADPCM."},
        {{44100, 16, 3}, TWavType::wtDVIADPCM, 512, "a.wav", "Cannot encode 3 channel sound into ADPCM."},
    };
    for (const auto& c : cases) {
        TFakeInput in(c.Format, std::vector<std::uint8_t>(64), 64);
        TWaveOut out;
        out.SetFileName(c.FileName.empty() ? "" : dir.File(c.FileName));
        out.SetWavType(c.Type);
        out.SetBlockSize(c.BlockSize);
        out.SetInput(&in);
        std::string failure;
        EXPECT_FALSE(RunToEnd(out, &failure));
        EXPECT_EQ(failure, c.Message);
        EXPECT_EQ(in.Opens.load(), in.Closes.load()) << c.Message;
        EXPECT_EQ(out.Status(), TACSOutputStatus::tosIdle);
    }
}

TEST(WaveOut, AppendPcmOfTheSameFormatExtendsTheData)
{
    TTempDir dir;
    const std::string file = dir.File("a.wav");
    const auto first = AsBytes(Noise16(3000, 2, 1));
    const auto second = AsBytes(Noise16(2000, 2, 2));
    ASSERT_TRUE(WriteWav(file, CD, first, TWavType::wtPCM, static_cast<std::int64_t>(first.size())));
    ASSERT_TRUE(WriteWav(file, CD, second, TWavType::wtPCM, static_cast<std::int64_t>(second.size()), 512,
                         TFileOutputMode::foAppend));
    const auto f = ReadWholeFile(file);
    ASSERT_EQ(f.size(), 44 + first.size() + second.size());
    EXPECT_EQ(Le32At(f, 40), first.size() + second.size());
    EXPECT_EQ(Le32At(f, 4), f.size() - 8);
    TWaveIn in;
    in.SetFileName(file);
    auto expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(ReadAll(in), expected);
}

TEST(WaveOut, AppendToMissingFileCreatesItWithAFreshHeader)
{
    TTempDir dir;
    const auto pcm = AsBytes(Noise16(100, 2, 1));
    ASSERT_TRUE(WriteWav(dir.File("new.wav"), CD, pcm, TWavType::wtPCM, static_cast<std::int64_t>(pcm.size()), 512,
                         TFileOutputMode::foAppend));
    const auto f = ReadWholeFile(dir.File("new.wav"));
    ASSERT_EQ(f.size(), 44 + pcm.size());
    EXPECT_EQ(Le32At(f, 40), pcm.size());
}

TEST(WaveOut, AppendInAnotherFormatOrToAnotherKindOfFileLeavesTheFileUntouched)
{
    TTempDir dir;
    const std::string file = dir.File("a.wav");
    const auto pcm = AsBytes(Noise16(1000, 2, 1));
    ASSERT_TRUE(WriteWav(file, CD, pcm, TWavType::wtPCM, static_cast<std::int64_t>(pcm.size())));
    const auto before = ReadWholeFile(file);
    struct TCase {
        TAudioFormat Format;
        TWavType Type;
        std::string Message;
    } cases[] = {
        {{44100, 8, 2}, TWavType::wtPCM, "Cannot append data in different audio format."},
        {{22050, 16, 2}, TWavType::wtPCM, "Cannot append data in different audio format."},
        {{44100, 16, 1}, TWavType::wtPCM, "Cannot append data in different audio format."},
        // The file's type wins over the output's.
        {{44100, 8, 2}, TWavType::wtDVIADPCM, "Cannot append data in different audio format."},
    };
    for (const auto& c : cases) {
        std::string failure;
        EXPECT_FALSE(WriteWav(file, c.Format, std::vector<std::uint8_t>(400, 1), c.Type, 400, 512,
                              TFileOutputMode::foAppend, &failure));
        EXPECT_EQ(failure, c.Message);
        EXPECT_EQ(ReadWholeFile(file), before);
    }
    // A file that is not PCM or IMA ADPCM.
    TRiffBuilder ms;
    ms.Chunk("fmt ", TRiffBuilder::Format(2, 1, 44100, 256, 4, std::vector<std::uint8_t>(4, 0)));
    ms.Chunk("data", std::vector<std::uint8_t>(256, 0));
    WriteWholeFile(dir.File("ms.wav"), ms.Bytes());
    std::string failure;
    EXPECT_FALSE(WriteWav(dir.File("ms.wav"), CD, pcm, TWavType::wtPCM, 400, 512, TFileOutputMode::foAppend, &failure));
    EXPECT_EQ(failure, "Cannot append data to this .wav file.");
    EXPECT_EQ(ReadWholeFile(dir.File("ms.wav")), ms.Bytes());
}

TEST(WaveOut, AppendKeepsAChunkAfterTheDataOutOfTheAudio)
{
    TTempDir dir;
    const std::string file = dir.File("tagged.wav");
    const auto first = AsBytes(Noise16(1001, 1, 1)); // odd byte count: padded
    std::vector<std::uint8_t> odd = first;
    odd.pop_back();
    const std::vector<std::uint8_t> info = {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 4, 0, 0, 0, 'S', 'o', 'n', 'g'};
    TRiffBuilder b;
    b.Chunk("fmt ", TRiffBuilder::Format(1, 1, 44100, 1, 8));
    b.Chunk("data", odd);
    b.Chunk("LIST", info);
    WriteWholeFile(file, b.Bytes());

    const auto more = std::vector<std::uint8_t>(501, 200);
    ASSERT_TRUE(WriteWav(file, {44100, 8, 1}, more, TWavType::wtPCM, 501, 512, TFileOutputMode::foAppend));

    const auto f = ReadWholeFile(file);
    TWaveIn in;
    in.SetFileName(file);
    auto expected = odd;
    expected.insert(expected.end(), more.begin(), more.end());
    EXPECT_EQ(ReadAll(in), expected);
    EXPECT_EQ(Le32At(f, 40), expected.size());
    EXPECT_EQ(Le32At(f, 4), f.size() - 8);
    // The list follows the new audio (data now even: no pad byte), whole.
    const size_t listAt = 44 + expected.size();
    ASSERT_EQ(f.size(), listAt + 8 + info.size());
    EXPECT_EQ(std::string(f.begin() + listAt, f.begin() + listAt + 4), "LIST");
    EXPECT_TRUE(std::equal(info.begin(), info.end(), f.begin() + listAt + 8));
}

TEST(WaveOut, AppendAdpcmContinuesInWholeBlocks)
{
    TTempDir dir;
    const std::string file = dir.File("a.wav");
    const auto first = AsBytes(Sine16(2000, 2, 44100, 300, 9000));
    const auto second = AsBytes(Sine16(1500, 2, 44100, 600, 9000));
    ASSERT_TRUE(WriteWav(file, CD, first, TWavType::wtDVIADPCM, static_cast<std::int64_t>(first.size()), 1024));
    // The output is set to PCM and 512; the file decides.
    TFakeInput in(CD, second, static_cast<std::int64_t>(second.size()));
    TWaveOut out;
    out.SetFileName(file);
    out.SetFileMode(TFileOutputMode::foAppend);
    out.SetInput(&in);
    ASSERT_TRUE(RunToEnd(out));
    EXPECT_EQ(out.WavType(), TWavType::wtDVIADPCM);
    EXPECT_EQ(out.BlockSize(), 1024);
    const int spb = TImaAdpcm::SamplesPerBlock(1024, 2);
    const size_t blocks = (2000 + spb - 1) / spb + (1500 + spb - 1) / spb;
    const auto f = ReadWholeFile(file);
    ASSERT_EQ(f.size(), 60 + blocks * 1024);
    EXPECT_EQ(Le32At(f, 56), blocks * 1024);
    EXPECT_EQ(Le32At(f, 48), blocks * spb);
    EXPECT_EQ(Le32At(f, 4), f.size() - 8);
}

TEST(WaveOut, FullDiskEndsTheRunThroughTheFailurePath)
{
    for (TWavType type : {TWavType::wtPCM, TWavType::wtDVIADPCM}) {
        const auto pcm = AsBytes(Noise16(44100, 2, 9, 8000));
        TFakeInput in(CD, pcm, static_cast<std::int64_t>(pcm.size()));
        TFullDiskStream disk(20000);
        TWaveOut out;
        out.SetStream(&disk);
        out.SetWavType(type);
        out.SetInput(&in);
        std::string failure;
        EXPECT_FALSE(RunToEnd(out, &failure));
        EXPECT_NE(failure.find("No space left on device"), std::string::npos) << failure;
        EXPECT_EQ(in.Closes.load(), 1);
        EXPECT_LE(disk.Size(), 20000);
    }
}

TEST(WaveOut, ReadFailureEndsTheRunThroughTheFailurePath)
{
    TFakeInput in(CD, AsBytes(Noise16(44100, 2, 9)), 44100 * 4);
    in.Hook = [](int Call) -> int {
        if (Call == 3)
            throw EACSException("device gone");
        return INT32_MIN;
    };
    TMemoryStream stream;
    TWaveOut out;
    out.SetStream(&stream);
    out.SetInput(&in);
    std::string failure;
    EXPECT_FALSE(RunToEnd(out, &failure));
    EXPECT_EQ(failure, "device gone");
    // What was read before the failure is in a consistent file.
    EXPECT_EQ(Le32At(stream.Bytes(), 40), stream.Bytes().size() - 44);
}

TEST(WaveOut, PredictorStopsAtMinus32767)
{
    // A full-scale negative square drives the predictor to the bottom.
    std::vector<std::int16_t> samples(1017, -32768);
    samples[0] = 0;
    std::uint8_t index[2] = {88, 0};
    std::vector<std::uint8_t> block(512);
    TImaAdpcm::EncodeBlock(samples.data(), 1017, 1, index, block.data(), 512);
    std::vector<std::int16_t> decoded(1017);
    ASSERT_TRUE(TImaAdpcm::DecodeBlock(block.data(), 512, 1, 1017, decoded.data()));
    EXPECT_EQ(*std::min_element(decoded.begin(), decoded.end()), -32767);
    EXPECT_EQ(decoded.back(), -32767);

    // And the decoder clamps a block of largest negative codes the same way.
    std::vector<std::uint8_t> down(512, 0xFF);
    down[0] = 0x00;
    down[1] = 0x80; // header sample -32768 is handed out as stored
    down[2] = 88;
    down[3] = 0;
    ASSERT_TRUE(TImaAdpcm::DecodeBlock(down.data(), 512, 1, 1017, decoded.data()));
    EXPECT_EQ(decoded[0], -32768);
    for (size_t i = 1; i < decoded.size(); ++i)
        ASSERT_EQ(decoded[i], -32767) << i;
}

TEST(WaveOut, AdpcmRoundTripStaysCloseToTheInput)
{
    TTempDir dir;
    for (int channels : {1, 2}) {
        const auto sine = Sine16(20000, channels, 44100, 440, 16000);
        const auto pcm = AsBytes(sine);
        ASSERT_TRUE(WriteWav(dir.File("a.wav"), {44100, 16, channels}, pcm, TWavType::wtDVIADPCM,
                             static_cast<std::int64_t>(pcm.size())));
        TWaveIn in;
        in.SetFileName(dir.File("a.wav"));
        const auto back = AsSamples16(ReadAll(in));
        ASSERT_EQ(back.size(), sine.size());
        double signal = 0;
        double noise = 0;
        for (size_t i = 0; i < sine.size(); ++i) {
            signal += double(sine[i]) * sine[i];
            noise += (double(back[i]) - sine[i]) * (double(back[i]) - sine[i]);
        }
        // 4-bit ADPCM of a plain tone keeps well over 20 dB.
        EXPECT_GT(10 * std::log10(signal / noise), 20.0) << channels;
    }
}

} // namespace
} // namespace kestrune::test
