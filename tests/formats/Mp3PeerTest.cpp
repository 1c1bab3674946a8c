// The MP3 writer and decoder beside the tools of the field: what ffprobe
// and ffmpeg make of our files, mpg123's decode of the same files (the same
// library underneath), and files that lame and ffmpeg write.

#include "formats/Mp3TestHelpers.h"
#include "formats/TMP3In.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace kestrune::test {
namespace {

// "key=value" lines as ffprobe prints them with -of default=nw=1.
std::map<std::string, std::string> Probe(const std::string& File, const std::string& Entries)
{
    std::string out;
    EXPECT_EQ(RunCommand("ffprobe -v error -show_entries " + Entries + " -of default=nw=1 " + ShellQuote(File), &out),
              0);
    std::map<std::string, std::string> values;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (const auto eq = line.find('='); eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    return values;
}

std::vector<std::uint8_t> FfmpegPcm(const std::string& File)
{
    TTempDir dir;
    EXPECT_EQ(RunCommand("ffmpeg -v error -y -i " + ShellQuote(File) + " -f s16le " + ShellQuote(dir.File("a.raw"))),
              0);
    return ReadWholeFile(dir.File("a.raw"));
}

struct TOurFileCase {
    int Rate;
    int Channels;
    TMP3BitRate BitRate;
    int Kbps;
};

class Mp3WrittenByUs : public testing::TestWithParam<TOurFileCase> {};

// ffprobe: constant bit rate at the chosen rate (the stream's rate, and every
// packet of the size a frame at that rate has), the input's rate, two
// channels; the length after the encoder delay within one frame. ffmpeg,
// which applies the delay and padding of the info frame, decodes exactly the
// input's length.
TEST_P(Mp3WrittenByUs, FfprobeSeesConstantRateFormatAndLength)
{
    KESTRUNE_REQUIRE_TOOL("ffprobe");
    KESTRUNE_REQUIRE_TOOL("ffmpeg");
    const auto c = GetParam();
    const int frames = c.Rate * 2 + 777;
    TTempDir dir;
    const auto pcm = AsBytes(Sine16(frames, c.Channels, c.Rate, 500, 10000));
    ASSERT_TRUE(EncodeMp3(dir.File("a.mp3"), {c.Rate, 16, c.Channels}, pcm, c.BitRate));

    auto s = Probe(dir.File("a.mp3"), "stream=sample_rate,channels,bit_rate,start_time,duration");
    EXPECT_EQ(s["bit_rate"], std::to_string(c.Kbps * 1000));
    EXPECT_EQ(s["sample_rate"], std::to_string(c.Rate));
    EXPECT_EQ(s["channels"], "2");
    // ffprobe's duration runs to the end of the last frame, padding and all;
    // its start time is the encoder delay read from the info frame. What is
    // left is the input and the padding, less than a frame of it.
    const double length = std::stod(s["duration"]) - std::stod(s["start_time"]);
    const double input = static_cast<double>(frames) / c.Rate;
    EXPECT_GE(length, input);
    EXPECT_LT(length, input + 2 * 1152.0 / c.Rate);

    std::string packets;
    ASSERT_EQ(
        RunCommand("ffprobe -v error -show_entries packet=size -of csv=p=0 " + ShellQuote(dir.File("a.mp3")), &packets),
        0);
    const int nominal = 144 * c.Kbps * 1000 / c.Rate;
    std::istringstream lines(packets);
    int count = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line == ",")
            continue;
        ++count;
        const int size = std::stoi(line);
        ASSERT_TRUE(size == nominal || size == nominal + 1) << "packet " << count << " of " << size << " bytes";
    }
    EXPECT_GT(count, 10);

    EXPECT_EQ(FfmpegPcm(dir.File("a.mp3")).size(), static_cast<std::size_t>(frames) * 4);
}

INSTANTIATE_TEST_SUITE_P(Files, Mp3WrittenByUs,
                         testing::Values(TOurFileCase{44100, 2, TMP3BitRate::br128, 128},
                                         TOurFileCase{44100, 1, TMP3BitRate::br320, 320},
                                         TOurFileCase{48000, 2, TMP3BitRate::br192, 192},
                                         TOurFileCase{32000, 1, TMP3BitRate::br96, 96}),
                         [](const auto& I) {
                             return std::to_string(I.param.Rate) + "Hz" + std::to_string(I.param.Channels) + "ch" +
                                    std::to_string(I.param.Kbps) + "k";
                         });

struct TPeerFile {
    const char* Name;
    int Rate;
    int Channels;
    // Makes Mp3 from the WAV file Wav (a shell command line).
    std::string (*Command)(const std::string& Wav, const std::string& Mp3);
    const char* Tool;
};

const TPeerFile PeerFiles[] = {
    {"LameCbr128Stereo", 44100, 2,
     [](const std::string& W, const std::string& M) { return "lame --quiet -b 128 " + W + " " + M; }, "lame"},
    {"LameVbrMono22050", 22050, 1,
     [](const std::string& W, const std::string& M) { return "lame --quiet -V 5 " + W + " " + M; }, "lame"},
    {"LameNoInfoFrame48000", 48000, 2,
     [](const std::string& W, const std::string& M) { return "lame --quiet -t -b 192 " + W + " " + M; }, "lame"},
    {"FfmpegMono32000", 32000, 1,
     [](const std::string& W, const std::string& M) { return "ffmpeg -v error -y -i " + W + " -b:a 64k " + M; },
     "ffmpeg"},
    {"FfmpegStereo44100", 44100, 2,
     [](const std::string& W, const std::string& M) { return "ffmpeg -v error -y -i " + W + " -b:a 160k " + M; },
     "ffmpeg"},
};

class Mp3FromPeers : public testing::TestWithParam<TPeerFile> {};

// Files that lame and ffmpeg write decode with their rate and channels, the
// source's length (within a frame, or the delay and padding where the file
// has no info frame), the signal well kept, and exactly the bytes that
// mpg123 -w writes for the same file.
TEST_P(Mp3FromPeers, DecodeLikeMpg123WithTheSourcesFormatAndLength)
{
    const auto c = GetParam();
    KESTRUNE_REQUIRE_TOOL(c.Tool);
    KESTRUNE_REQUIRE_TOOL("mpg123");
    TTempDir dir;
    const int frames = c.Rate * 3 + 123;
    const auto source = Sine16(frames, c.Channels, c.Rate, 400, 9000);
    WriteWholeFile(dir.File("in.wav"), PcmWavImage(source, c.Channels, c.Rate));
    ASSERT_EQ(RunCommand(c.Command(ShellQuote(dir.File("in.wav")), ShellQuote(dir.File("a.mp3")))), 0);

    const TDecodeResult r = DecodeMp3(dir.File("a.mp3"), dir.File("ours.wav"));
    ASSERT_TRUE(r.Done) << r.Failure;
    ASSERT_TRUE(r.Success);
    const TWavImage w = ReadWav44(dir.File("ours.wav"));
    EXPECT_EQ(w.SampleRate, c.Rate);
    EXPECT_EQ(w.Channels, c.Channels);
    EXPECT_EQ(w.DataSize, w.File.size() - 44);
    const auto decodedFrames = static_cast<int>(w.Samples.size()) / c.Channels;
    const bool infoFrame = std::string(c.Name).find("NoInfo") == std::string::npos;
    EXPECT_NEAR(decodedFrames, frames, infoFrame ? 1152 : 3 * 1152);
    if (infoFrame) {
        EXPECT_GT(SnrDb(source, c.Channels, 0, w.Samples, c.Channels, 0), 15.0);
    }

    ASSERT_EQ(RunCommand("mpg123 -q -w " + ShellQuote(dir.File("ref.wav")) + " " + ShellQuote(dir.File("a.mp3"))), 0);
    const auto ref = ReadWholeFile(dir.File("ref.wav"));
    EXPECT_EQ(Le16At(ref, 22), c.Channels);
    EXPECT_EQ(Le32At(ref, 24), static_cast<std::uint32_t>(c.Rate));
    const auto refData = DataChunk(ref);
    const std::vector<std::uint8_t> ourData(w.File.begin() + 44, w.File.end());
    EXPECT_EQ(ourData.size(), refData.size());
    EXPECT_TRUE(ourData == refData) << "decoded audio differs from mpg123 -w";
}

// The streaming reader gives the same bytes as mpg123 -w too, with the
// length right before the first read, also where the file has no info frame
// and the length comes from the scan alone.
TEST_P(Mp3FromPeers, StreamedLikeMpg123)
{
    const auto c = GetParam();
    KESTRUNE_REQUIRE_TOOL(c.Tool);
    KESTRUNE_REQUIRE_TOOL("mpg123");
    TTempDir dir;
    const auto source = Sine16(c.Rate * 2 + 77, c.Channels, c.Rate, 300, 9000);
    WriteWholeFile(dir.File("in.wav"), PcmWavImage(source, c.Channels, c.Rate));
    ASSERT_EQ(RunCommand(c.Command(ShellQuote(dir.File("in.wav")), ShellQuote(dir.File("a.mp3")))), 0);
    ASSERT_EQ(RunCommand("mpg123 -q -w " + ShellQuote(dir.File("ref.wav")) + " " + ShellQuote(dir.File("a.mp3"))), 0);
    const auto refData = DataChunk(ReadWholeFile(dir.File("ref.wav")));

    TMP3In in;
    in.SetFileName(dir.File("a.mp3"));
    EXPECT_EQ(in.InSampleRate(), c.Rate);
    EXPECT_EQ(in.InChannels(), c.Channels);
    in.OpenInput();
    EXPECT_EQ(in.Size(), static_cast<std::int64_t>(refData.size()));
    in.CloseInput();
    const auto ours = ReadAll(in, 4097);
    EXPECT_EQ(ours.size(), refData.size());
    EXPECT_TRUE(ours == refData) << "streamed audio differs from mpg123 -w";
}

INSTANTIATE_TEST_SUITE_P(Files, Mp3FromPeers, testing::ValuesIn(PeerFiles),
                         [](const auto& I) { return std::string(I.param.Name); });

// Our own file through mpg123 -w: the same bytes as TMP3ToWav.
TEST(Mp3Peer, OurFileDecodesLikeMpg123)
{
    KESTRUNE_REQUIRE_TOOL("mpg123");
    TTempDir dir;
    const auto pcm = AsBytes(Noise16(44100 * 4, 2, 11, 7000));
    ASSERT_TRUE(EncodeMp3(dir.File("a.mp3"), {44100, 16, 2}, pcm));
    ASSERT_TRUE(DecodeMp3(dir.File("a.mp3"), dir.File("ours.wav")).Success);
    ASSERT_EQ(RunCommand("mpg123 -q -w " + ShellQuote(dir.File("ref.wav")) + " " + ShellQuote(dir.File("a.mp3"))), 0);
    const auto ours = ReadWholeFile(dir.File("ours.wav"));
    const auto refData = DataChunk(ReadWholeFile(dir.File("ref.wav")));
    EXPECT_EQ(ours.size() - 44, pcm.size());
    EXPECT_TRUE(std::vector<std::uint8_t>(ours.begin() + 44, ours.end()) == refData);
}

// A stream that turns from mono to stereo is decoded in the first frame's
// layout throughout: one channel, the stereo part mixed down, every frame.
TEST(Mp3Peer, ChannelChangeMidStreamKeepsTheFirstLayout)
{
    KESTRUNE_REQUIRE_TOOL("lame");
    TTempDir dir;
    const int rate = 44100;
    WriteWholeFile(dir.File("m.wav"), PcmWavImage(Sine16(rate, 1, rate, 300, 9000), 1, rate));
    WriteWholeFile(dir.File("s.wav"), PcmWavImage(Sine16(rate * 2, 2, rate, 500, 9000), 2, rate));
    ASSERT_EQ(RunCommand("lame --quiet -t -m m -b 128 " + ShellQuote(dir.File("m.wav")) + " " +
                         ShellQuote(dir.File("m.mp3"))),
              0);
    ASSERT_EQ(RunCommand("lame --quiet -t -m s -b 128 " + ShellQuote(dir.File("s.wav")) + " " +
                         ShellQuote(dir.File("s.mp3"))),
              0);
    auto joined = ReadWholeFile(dir.File("m.mp3"));
    const auto stereo = ReadWholeFile(dir.File("s.mp3"));
    joined.insert(joined.end(), stereo.begin(), stereo.end());
    WriteWholeFile(dir.File("mixed.mp3"), joined);

    ASSERT_TRUE(DecodeMp3(dir.File("mixed.mp3"), dir.File("ours.wav")).Success);
    const TWavImage w = ReadWav44(dir.File("ours.wav"));
    EXPECT_EQ(w.Channels, 1);
    EXPECT_EQ(w.DataSize, w.File.size() - 44);

    // Every frame of both parts comes out once, in one channel (without info
    // frames nothing is trimmed). mpg123 -w itself writes such a stream in
    // mixed layouts under one header, so it is no reference here.
    EXPECT_EQ(w.Samples.size(), WalkFrames(joined).size() * 1152);
    EXPECT_NEAR(static_cast<double>(w.Samples.size()), 3.0 * rate, 4 * 1152);
    // The stereo part is there as sound, not as silence or noise of a
    // misread layout: the second half of the output is a steady sine.
    double energy = 0;
    const std::size_t half = w.Samples.size() / 2;
    for (std::size_t i = half; i < w.Samples.size(); ++i)
        energy += static_cast<double>(w.Samples[i]) * w.Samples[i];
    const double rms = std::sqrt(energy / static_cast<double>(w.Samples.size() - half));
    EXPECT_GT(rms, 2000.0);
    EXPECT_LT(rms, 9000.0);
}

} // namespace
} // namespace kestrune::test
