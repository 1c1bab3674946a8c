// Agreement with sox and ffmpeg: files we write read identically in them, and
// ADPCM files they write decode in our reader to the samples sox gives, and
// close to ffmpeg's where ffmpeg rounds its own way.
// A missing tool fails these tests.

#include "formats/TImaAdpcm.h"
#include "formats/TWaveIn.h"
#include "formats/TWaveOut.h"
#include "formats/WavTestHelpers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace kestrune::test {
namespace {

using TBytes = std::vector<std::uint8_t>;

void WriteWithUs(const std::string& File, TAudioFormat F, const TBytes& Pcm, TWavType Type, std::int64_t Size,
                 std::uint16_t BlockSize = 512)
{
    TFakeInput in(F, Pcm, Size);
    TWaveOut out;
    out.SetFileName(File);
    out.SetWavType(Type);
    out.SetBlockSize(BlockSize);
    out.SetInput(&in);
    std::string failure;
    ASSERT_TRUE(RunToEnd(out, &failure)) << failure;
}

TBytes ReadWithUs(const std::string& File, TWaveIn* Keep = nullptr)
{
    TWaveIn own;
    TWaveIn& in = Keep ? *Keep : own;
    in.SetFileName(File);
    return ReadAll(in);
}

// Raw samples of a file as a command line decodes them into Raw.
TBytes Decode(const std::string& Command, const std::string& Raw)
{
    EXPECT_EQ(RunCommand(Command), 0) << Command;
    return ReadWholeFile(Raw);
}

TBytes FfmpegRaw(const TTempDir& Dir, const std::string& File, const char* Format)
{
    const std::string raw = Dir.File("ffmpeg.raw");
    return Decode("ffmpeg -nostdin -v error -y -i " + ShellQuote(File) + " -f " + Format + " -c:a pcm_" + Format + " " +
                      ShellQuote(raw),
                  raw);
}

TBytes SoxRaw(const TTempDir& Dir, const std::string& File, int Bits)
{
    const std::string raw = Dir.File("sox.raw");
    const std::string encoding = Bits == 8 ? "unsigned-integer" : "signed-integer";
    return Decode("sox " + ShellQuote(File) + " -t raw -e " + encoding + " -b " + std::to_string(Bits) + " " +
                      ShellQuote(raw),
                  raw);
}

// A loud test signal: a tone near full scale with noise on it, so that the
// ADPCM predictors reach their limits now and then.
std::vector<std::int16_t> Loud(int Frames, int Channels)
{
    auto tone = Sine16(Frames, Channels, 44100, 523, 26000);
    const auto noise = Noise16(Frames, Channels, 17, 6000);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<std::int16_t>(std::clamp(tone[i] + noise[i], -32768, 32767));
    return tone;
}

TEST(WavePeer, PcmWeWriteReadsIdenticallyInSoxAndFfmpeg)
{
    KESTRUNE_REQUIRE_TOOL("sox");
    KESTRUNE_REQUIRE_TOOL("soxi");
    KESTRUNE_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    TBytes pcm24;
    for (int i = 0; i < 6 * 30000; ++i)
        pcm24.push_back(static_cast<std::uint8_t>((i * 2654435761u) >> 13));
    TBytes pcm8;
    for (std::int16_t s : Sine16(30001, 1, 22050, 440, 30000))
        pcm8.push_back(static_cast<std::uint8_t>(128 + s / 256));
    struct TCase {
        TAudioFormat Format;
        TBytes Pcm;
        const char* FfmpegFormat;
        bool Capture;
    } cases[] = {
        {{44100, 16, 2}, AsBytes(Loud(40000, 2)), "s16le", false},
        {{44100, 16, 2}, AsBytes(Loud(40000, 2)), "s16le", true},
        {{22050, 8, 1}, pcm8, "u8", false},
        {{48000, 24, 2}, pcm24, "s24le", true},
    };
    for (const auto& c : cases) {
        const std::string file = dir.File("ours.wav");
        WriteWithUs(file, c.Format, c.Pcm, TWavType::wtPCM, c.Capture ? -1 : static_cast<std::int64_t>(c.Pcm.size()));
        EXPECT_EQ(FfmpegRaw(dir, file, c.FfmpegFormat), c.Pcm) << c.FfmpegFormat;
        EXPECT_EQ(SoxRaw(dir, file, c.Format.BitsPerSample), c.Pcm) << c.FfmpegFormat;
        std::string rate;
        RunCommand("soxi -r " + ShellQuote(file), &rate);
        EXPECT_EQ(std::stoi(rate), c.Format.SampleRate);
    }
}

// Compares our decoding with a peer's sample by sample, over our length
// (peers decode whole blocks, we stop at the fact count). The one allowance is
// the IMA clamp: where the peer reaches -32768 ours stops at -32767, and on
// that channel ours stays one above the peer's until the two meet again.
void ExpectSameDecoding(const TBytes& Ours, const TBytes& Theirs, bool ImaClamp, int Channels, const std::string& What)
{
    const auto ours = AsSamples16(Ours);
    const auto theirs = AsSamples16(Theirs);
    ASSERT_FALSE(ours.empty()) << What;
    ASSERT_LE(ours.size(), theirs.size()) << What;
    bool offset[2] = {false, false};
    for (size_t i = 0; i < ours.size(); ++i) {
        const size_t ch = i % static_cast<size_t>(Channels);
        if (ours[i] == theirs[i]) {
            offset[ch] = false;
            continue;
        }
        if (ImaClamp && ours[i] - theirs[i] == 1 && (theirs[i] == -32768 || offset[ch])) {
            offset[ch] = true;
            continue;
        }
        ASSERT_EQ(ours[i], theirs[i]) << What << " at sample " << i;
    }
}

// Where ffmpeg rounds its own way, its samples drift from ours within a
// block (each block starts again from stored samples); they must stay within
// that rounding: no difference past WorstDiff, noise at least MinSnrDb under
// the signal.
void ExpectCloseToFfmpeg(const TBytes& Ours, const TBytes& Ffmpeg, int WorstDiff, double MinSnrDb,
                         const std::string& What)
{
    const auto ours = AsSamples16(Ours);
    const auto theirs = AsSamples16(Ffmpeg);
    ASSERT_LE(ours.size(), theirs.size()) << What;
    double signal = 0;
    double noise = 0;
    int worst = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
        const int d = ours[i] - theirs[i];
        worst = std::max(worst, std::abs(d));
        signal += double(theirs[i]) * theirs[i];
        noise += double(d) * d;
    }
    EXPECT_LE(worst, WorstDiff) << What;
    EXPECT_GT(10 * std::log10(signal / std::max(noise, 1.0)), MinSnrDb) << What;
}

// ffmpeg's IMA decoder computes each difference as ((2 × code + 1) × step) / 8
// in one multiplication, where the IMA reference (which sox, the encoders and
// this program follow) adds step/8, step/4, step/2 and step, each truncated.
void ExpectCloseToFfmpegIma(const TBytes& Ours, const TBytes& Ffmpeg, const std::string& What)
{
    ExpectCloseToFfmpeg(Ours, Ffmpeg, 256, 50.0, What);
}

// ffmpeg's Microsoft ADPCM decoder divides the prediction (rounding toward
// zero) where the format's encoders and sox shift it (rounding down), so a
// negative prediction can come out one higher, and the difference is carried
// on to the end of the block.
void ExpectCloseToFfmpegMs(const TBytes& Ours, const TBytes& Ffmpeg, const std::string& What)
{
    // Measured on the loud test signal: at most 633 apart, 36 dB under it.
    ExpectCloseToFfmpeg(Ours, Ffmpeg, 1000, 30.0, What);
}

TEST(WavePeer, ImaAdpcmWeWriteDecodesInPeersAsInOurReader)
{
    KESTRUNE_REQUIRE_TOOL("sox");
    KESTRUNE_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    for (int channels : {1, 2}) {
        for (std::uint16_t block : {512, 1024, 2048}) {
            const auto pcm = AsBytes(Loud(30000, channels));
            const std::string file = dir.File("ima.wav");
            WriteWithUs(file, {44100, 16, channels}, pcm, TWavType::wtDVIADPCM, static_cast<std::int64_t>(pcm.size()),
                        block);
            const auto ours = ReadWithUs(file);
            EXPECT_EQ(ours.size(), pcm.size());
            const std::string what = std::to_string(channels) + " channels, blocks of " + std::to_string(block);
            ExpectSameDecoding(ours, SoxRaw(dir, file, 16), true, channels, "sox, " + what);
            const auto ffmpeg = FfmpegRaw(dir, file, "s16le");
            ExpectCloseToFfmpegIma(ours, ffmpeg, "ffmpeg, " + what);
            // ffmpeg reads exactly the blocks the header announces.
            const int spb = TImaAdpcm::SamplesPerBlock(block, channels);
            EXPECT_EQ(ffmpeg.size() / 2, static_cast<size_t>((30000 + spb - 1) / spb * spb * channels)) << what;
        }
    }
}

TEST(WavePeer, AdpcmFilesOfSoxAndFfmpegDecodeAsInThePeers)
{
    KESTRUNE_REQUIRE_TOOL("sox");
    KESTRUNE_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    struct TMaker {
        const char* Name;
        std::string Command; // IN and OUT stand for the files
        bool Ima;
        bool ExactFact; // ffmpeg counts the padding of the last block as frames
    } makers[] = {
        {"sox ima-adpcm", "sox IN -e ima-adpcm OUT", true, true},
        {"sox ms-adpcm", "sox IN -e ms-adpcm OUT", false, true},
        {"ffmpeg adpcm_ima_wav", "ffmpeg -nostdin -v error -y -i IN -c:a adpcm_ima_wav OUT", true, false},
        {"ffmpeg adpcm_ms", "ffmpeg -nostdin -v error -y -i IN -c:a adpcm_ms OUT", false, false},
    };
    for (int channels : {1, 2}) {
        const std::string source = dir.File("source.wav");
        const auto pcm = AsBytes(Loud(50000, channels));
        WriteWithUs(source, {44100, 16, channels}, pcm, TWavType::wtPCM, static_cast<std::int64_t>(pcm.size()));
        for (const auto& m : makers) {
            const std::string out = dir.File("peer.wav");
            std::string command = m.Command;
            command.replace(command.find("IN"), 2, ShellQuote(source));
            command.replace(command.find("OUT"), 3, ShellQuote(out));
            ASSERT_EQ(RunCommand(command), 0) << command;
            TWaveIn in;
            const auto ours = ReadWithUs(out, &in);
            const std::string what = std::string(m.Name) + ", " + std::to_string(channels) + " channels";
            EXPECT_EQ(in.WavType(), m.Ima ? TWavType::wtDVIADPCM : TWavType::wtMSADPCM) << what;
            EXPECT_EQ(in.InChannels(), channels) << what;
            if (m.ExactFact)
                EXPECT_EQ(in.TotalSamples(), 50000) << what;
            else
                EXPECT_TRUE(in.TotalSamples() >= 50000 && in.TotalSamples() < 50000 + 4096) << what;
            EXPECT_EQ(ours.size(), static_cast<size_t>(in.TotalSamples() * 2 * channels)) << what;
            const auto ffmpeg = FfmpegRaw(dir, out, "s16le");
            if (m.Ima) {
                ExpectSameDecoding(ours, SoxRaw(dir, out, 16), true, channels, "sox decoding " + what);
                ExpectCloseToFfmpegIma(ours, ffmpeg, "ffmpeg decoding " + what);
            } else {
                ExpectSameDecoding(ours, SoxRaw(dir, out, 16), false, channels, "sox decoding " + what);
                ExpectCloseToFfmpegMs(ours, ffmpeg, "ffmpeg decoding " + what);
            }
        }
    }
}

TEST(WavePeer, Mp3InsideWavPlaysWithRateChannelsAndLength)
{
    KESTRUNE_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    struct TCase {
        int Rate;
        int Channels;
    } cases[] = {{44100, 2}, {22050, 1}};
    for (const auto& c : cases) {
        const int frames = c.Rate * 3;
        const auto pcm = AsBytes(Sine16(frames, c.Channels, c.Rate, 440, 12000));
        const std::string source = dir.File("source.wav");
        WriteWithUs(source, {c.Rate, 16, c.Channels}, pcm, TWavType::wtPCM, static_cast<std::int64_t>(pcm.size()));
        const std::string file = dir.File("mp3.wav");
        ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -y -i " + ShellQuote(source) +
                             " -c:a libmp3lame -b:a 128k -f wav " + ShellQuote(file)),
                  0);
        const auto bytes = ReadWholeFile(file);
        ASSERT_EQ(Le16At(bytes, 20), 0x55) << "ffmpeg did not write MPEG Layer-3 in WAV";

        TWaveIn in;
        in.SetFileName(file);
        EXPECT_EQ(in.InSampleRate(), c.Rate);
        EXPECT_EQ(in.InChannels(), c.Channels);
        EXPECT_EQ(in.InBitsPerSample(), 16);
        EXPECT_EQ(in.TotalTime(), 3);
        const auto decoded = AsSamples16(ReadAll(in));
        EXPECT_EQ(in.WavType(), TWavType::wtACM);
        const auto got = static_cast<int>(decoded.size() / c.Channels);
        // The encoder adds its delay and pads the last frame (1152 frames).
        EXPECT_GE(got, frames);
        EXPECT_LE(got, frames + 3 * 1152);
        // It is the tone, not noise: the level matches the input's.
        double sum = 0;
        for (std::int16_t s : decoded)
            sum += double(s) * s;
        const double rms = std::sqrt(sum / decoded.size());
        EXPECT_NEAR(rms, 12000 / std::sqrt(2.0), 800);
    }
}

} // namespace
} // namespace kestrune::test
