#include "formats/TMACIn.h"
#include "formats/TMACOut.h"
#include "pipeline/EACSException.h"
#include "pipeline/TNULLOut.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace kestrune;
using namespace kestrune::test;
using namespace std::chrono_literals;

namespace {

// PCM of any depth: a tone with noise, as bytes in the pipeline's layout.
std::vector<std::uint8_t> Pcm(int Frames, int Channels, int Bits)
{
    const auto tone = Sine16(Frames, Channels, 44100, 330, 12000);
    const auto noise = Noise16(Frames, Channels, 9, 600);
    std::vector<std::uint8_t> out;
    for (size_t i = 0; i < tone.size(); ++i) {
        const int s = tone[i] + noise[i];
        if (Bits == 8) {
            out.push_back(static_cast<std::uint8_t>((s >> 8) + 128));
        } else if (Bits == 16) {
            out.push_back(static_cast<std::uint8_t>(s & 0xFF));
            out.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
        } else {
            const int v = s * 256 + static_cast<int>(i % 256);
            out.push_back(static_cast<std::uint8_t>(v & 0xFF));
            out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
            out.push_back(static_cast<std::uint8_t>((v >> 16) & 0xFF));
        }
    }
    return out;
}

// Writes Bytes as an APE file through the output; returns the failure text, if any.
std::string Write(const std::string& File, const std::vector<std::uint8_t>& Bytes, TAudioFormat Format,
                  int Level = 2000)
{
    TFakeInput in(Format, Bytes, static_cast<std::int64_t>(Bytes.size()));
    TMACOut out;
    out.SetFileName(File);
    out.SetCompressionLevel(Level);
    out.SetInput(&in);
    std::string failure;
    out.OnThreadException = [&](TComponent*, const std::exception& E) { failure = E.what(); };
    out.Run();
    EXPECT_TRUE(out.WaitForIdle(60s));
    return failure;
}

// Reads of an APE file go 65536 bytes at a time.
constexpr int MacChunk = 65536;

} // namespace

TEST(MAC, RoundTripsEveryDepthAndChannelCount)
{
    TTempDir dir;
    for (int bits : {8, 16, 24}) {
        for (int channels : {1, 2}) {
            const auto pcm = Pcm(30000, channels, bits);
            const std::string file = dir.File("t" + std::to_string(bits) + std::to_string(channels) + ".ape");
            ASSERT_EQ(Write(file, pcm, {44100, bits, channels}, 3000), "");
            TMACIn in;
            in.SetFileName(file);
            EXPECT_EQ(in.InBitsPerSample(), bits);
            EXPECT_EQ(in.InChannels(), channels);
            EXPECT_EQ(in.InSampleRate(), 44100);
            EXPECT_EQ(ReadAll(in, MacChunk), pcm) << bits << " bits, " << channels << " channels";
            EXPECT_EQ(in.TotalSamples(), 30000);
        }
    }
}

// Level 5000 frames hold 1179648 blocks: a file of two frames, the second
// short, written and read back through the output and the input, with the
// level the file says it was written at.
TEST(MAC, Level5000RoundTripOverAFrameBoundary)
{
    TTempDir dir;
    const int frames = 1179648 + 4411;
    const auto pcm = Pcm(frames, 1, 16);
    const std::string file = dir.File("insane.ape");
    ASSERT_EQ(Write(file, pcm, {44100, 16, 1}, 5000), "");
    TMACIn in;
    in.SetFileName(file);
    EXPECT_EQ(ReadAll(in, MacChunk), pcm);
    EXPECT_EQ(in.TotalSamples(), frames);
    const auto bytes = ReadWholeFile(file);
    // The descriptor's header names the level (16-bit field after the
    // descriptor) and holds two frames.
    ASSERT_GT(bytes.size(), 80u);
    const std::uint32_t descriptorBytes = bytes[8] | (bytes[9] << 8) | (bytes[10] << 16) | (bytes[11] << 24);
    ASSERT_LT(descriptorBytes + 16u, bytes.size());
    EXPECT_EQ(bytes[descriptorBytes] | (bytes[descriptorBytes + 1] << 8), 5000);
    const std::uint32_t totalFrames = bytes[descriptorBytes + 12] | (bytes[descriptorBytes + 13] << 8) |
                                      (bytes[descriptorBytes + 14] << 16) |
                                      (static_cast<std::uint32_t>(bytes[descriptorBytes + 15]) << 24);
    EXPECT_EQ(totalFrames, 2u);
}

TEST(MAC, LevelSetterAndBufferRules)
{
    TMACOut out;
    for (auto [given, stored] :
         std::vector<std::pair<int, int>>{{3000, 3000}, {5000, 5000}, {1500, 2000}, {1000, 1000}, {6000, 2000}}) {
        out.SetCompressionLevel(given);
        EXPECT_EQ(out.CompressionLevel(), stored) << given;
    }

    TTempDir dir;
    const auto mono = Pcm(20000, 1, 16);
    ASSERT_EQ(Write(dir.File("mono.ape"), mono, {44100, 16, 1}), "");
    TMACIn in;
    in.SetFileName(dir.File("mono.ape"));
    in.OpenInput();
    std::vector<std::uint8_t> buffer(100000);
    EXPECT_EQ(in.ReadBlock(buffer.data(), 100000), 8192); // one decode buffer: 4096 blocks of 2 bytes
    in.CloseInput();
}

TEST(MAC, StartAndEndSampleCutExactly)
{
    TTempDir dir;
    const auto pcm = Pcm(3 * 44100, 2, 16);
    ASSERT_EQ(Write(dir.File("s.ape"), pcm, {44100, 16, 2}), "");
    TMACIn in;
    in.SetFileName(dir.File("s.ape"));
    in.SetEndSample(44100);
    EXPECT_EQ(ReadAll(in, MacChunk).size(), 176400u);
    in.SetStartSample(50000);
    in.SetEndSample(60000);
    EXPECT_EQ(ReadAll(in, 1000), std::vector<std::uint8_t>(pcm.begin() + 200000, pcm.begin() + 240000));
}

TEST(MAC, EmptyInputMakesValidEmptyFile)
{
    TTempDir dir;
    ASSERT_EQ(Write(dir.File("e.ape"), {}, {44100, 16, 2}), "");
    TMACIn in;
    in.SetFileName(dir.File("e.ape"));
    in.OpenFile();
    EXPECT_TRUE(in.Valid());
    EXPECT_EQ(in.TotalSamples(), 0);
    in.CloseFile();
    // A file without audio is no source to read, as for every reader.
    try {
        in.OpenInput();
        ADD_FAILURE() << "an empty file opened";
    } catch (const EACSException& e) {
        EXPECT_NE(std::string(e.what()).find("it holds no audio"), std::string::npos) << e.what();
    }
}

TEST(MAC, DamagedOrForeignFilesFailClearly)
{
    TTempDir dir;
    WriteWholeFile(dir.File("text.ape"), {'n', 'o', 't', ' ', 'a', 'p', 'e'});
    TMACIn foreign;
    foreign.SetFileName(dir.File("text.ape"));
    try {
        foreign.OpenInput();
        FAIL() << "a text file opened as APE";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("text.ape"), std::string::npos) << e.what();
    }

    ASSERT_EQ(Write(dir.File("d.ape"), Pcm(5 * 44100, 2, 16), {44100, 16, 2}), "");
    auto bytes = ReadWholeFile(dir.File("d.ape"));
    bytes[bytes.size() / 2] ^= 0x5A;
    WriteWholeFile(dir.File("d.ape"), bytes);
    TMACIn damaged;
    damaged.SetFileName(dir.File("d.ape"));
    TNULLOut sink;
    sink.SetInput(&damaged);
    std::string failure;
    bool done = false;
    sink.OnThreadException = [&](TComponent*, const std::exception& E) { failure = E.what(); };
    sink.OnDone = [&](TComponent*) { done = true; };
    sink.Run();
    ASSERT_TRUE(sink.WaitForIdle(30s));
    EXPECT_FALSE(done);
    EXPECT_NE(failure.find("MACDll error"), std::string::npos) << failure;
}

TEST(MAC, WriteFailureEndsThroughThreadException)
{
    const auto pcm = Pcm(44100, 2, 16);
    EXPECT_NE(Write("/nonexistent-dir/x.ape", pcm, {44100, 16, 2}), "");
}
