#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <vector>

using namespace kestrune::test;

namespace {

struct TProbe {
    int Rate = 0;
    int Channels = 0;
    double Seconds = 0;
};

TProbe FfProbe(const std::string& File)
{
    std::string out;
    RunCommand("ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate,channels:format=duration "
               "-of default=noprint_wrappers=1 " +
                   ShellQuote(File),
               &out);
    TProbe p;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "sample_rate")
            p.Rate = std::atoi(value.c_str());
        else if (key == "channels")
            p.Channels = std::atoi(value.c_str());
        else if (key == "duration")
            p.Seconds = std::atof(value.c_str());
    }
    return p;
}

// The file's audio as ffmpeg decodes it: interleaved 16-bit stereo at 32 kHz.
std::vector<std::int16_t> FfDecode(const TTempDir& Dir, const std::string& File)
{
    const std::string raw = Dir.File("decoded.raw");
    if (RunCommand("ffmpeg -nostdin -v error -y -i " + ShellQuote(File) + " -f s16le -c:a pcm_s16le -ac 2 -ar 32000 " +
                   ShellQuote(raw)) != 0)
        return {};
    return AsSamples16(ReadWholeFile(raw));
}

// A lossy codec's delay: the lag (within 50 ms) at which Got lines up best
// with Want, both channels together (each alone is a periodic tone; the two
// tones repeat together only once a second), found over a short stretch.
long FindLag(const std::vector<std::int16_t>& Want, const std::vector<std::int16_t>& Got)
{
    const long frames = static_cast<long>(std::min(Want.size(), Got.size()) / 2);
    long best = 0;
    double bestError = -1;
    for (long lag = -1600; lag <= 1600; ++lag) {
        double error = 0;
        for (long i = 3200; i < 3200 + 2000 && i < frames && i + lag < frames; ++i) {
            for (int ch : {0, 1}) {
                const double d = Want[static_cast<size_t>(2 * i + ch)] - Got[static_cast<size_t>(2 * (i + lag) + ch)];
                error += d * d;
            }
        }
        if (bestError < 0 || error < bestError) {
            bestError = error;
            best = lag;
        }
    }
    return best;
}

// How well channel Ch of Got follows the same channel of Want, shifted by
// Lag: the signal to error ratio in dB over the middle of the audio.
double ChannelSnr(const std::vector<std::int16_t>& Want, const std::vector<std::int16_t>& Got, int Ch, long Lag)
{
    const long frames = static_cast<long>(std::min(Want.size(), Got.size()) / 2);
    double signal = 0, error = 0;
    for (long i = 3200; i < frames - 3200; ++i) { // 0.1 s in from each end
        if (i + Lag < 0 || i + Lag >= frames)
            continue;
        const double w = Want[static_cast<size_t>(2 * i + Ch)];
        const double g = Got[static_cast<size_t>(2 * (i + Lag) + Ch)];
        signal += w * w;
        error += (w - g) * (w - g);
    }
    return signal > 0 ? 10 * std::log10(signal / std::max(error, 1.0)) : -100;
}

bool Lossy(const std::string& Format)
{
    return Format == "mp3" || Format == "ogg";
}

} // namespace

// Every pair of WAV, MP3, Ogg Vorbis, FLAC and Monkey's Audio converts through kestrune-cli
// and keeps the rate, the channels and the length, as ffprobe sees them, and
// the audio itself, as ffmpeg decodes it: sample for sample where no lossy
// format was on the way, each channel close to its own source channel (the
// two differ, so a swap or a mix-down shows) where one was.
TEST(ConvertPairs, EveryPairKeepsRateChannelsLengthAndAudio)
{
    KESTRUNE_REQUIRE_TOOL("ffprobe");
    KESTRUNE_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    const std::string cli = KESTRUNE_CLI;
    const char* formats[] = {"wav", "mp3", "ogg", "flac", "ape"};
    const auto left = Sine16(2 * 32000, 1, 32000, 523, 10000);
    const auto right = Sine16(2 * 32000, 1, 32000, 784, 6000);
    std::vector<std::int16_t> source;
    for (size_t i = 0; i < left.size(); ++i) {
        source.push_back(left[i]);
        source.push_back(right[i]);
    }
    WriteWholeFile(dir.File("src.wav"), PcmWavImage(source, 2, 32000));
    for (const char* f : {"mp3", "ogg", "flac", "ape"})
        ASSERT_EQ(RunCommand(cli + " convert --quiet " + ShellQuote(dir.File("src.wav")) + " " +
                             ShellQuote(dir.File(std::string("src.") + f))),
                  0)
            << f;
    for (const char* from : formats) {
        for (const char* to : formats) {
            const std::string out = dir.File(std::string(from) + "-to." + to);
            ASSERT_EQ(RunCommand(cli + " convert --quiet " + ShellQuote(dir.File(std::string("src.") + from)) + " " +
                                 ShellQuote(out)),
                      0)
                << from << " -> " << to;
            const TProbe p = FfProbe(out);
            EXPECT_EQ(p.Rate, 32000) << from << " -> " << to;
            EXPECT_EQ(p.Channels, 2) << from << " -> " << to;
            EXPECT_NEAR(p.Seconds, 2.0, 0.06) << from << " -> " << to;
            const auto got = FfDecode(dir, out);
            if (!Lossy(from) && !Lossy(to)) {
                EXPECT_TRUE(got == source) << from << " -> " << to << ": the audio changed";
                continue;
            }
            ASSERT_GE(got.size(), source.size() * 9 / 10) << from << " -> " << to;
            const long lag = FindLag(source, got);
            for (int ch : {0, 1}) {
                const double snr = ChannelSnr(source, got, ch, lag);
                // Measured with the default settings: 26 dB through MP3 (as
                // lame -b 128 itself), 38 dB through Ogg Vorbis, 20 dB through
                // MP3 twice; a swapped, mixed or silent channel is at 0 dB or
                // below.
                EXPECT_GT(snr, 15.0) << from << " -> " << to << ", channel " << ch;
            }
        }
    }
}
