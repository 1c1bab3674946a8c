// Recording what the desktop plays, through a private PulseAudio server: a
// tone played into a null sink is recorded from the sink's monitor as loud as
// it was played, and neither the noise capture nor the recording changes the
// sink's or the monitor's volume.

#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "devices/PulseTestServer.h"
#include "devices/TInputLevelCheck.h"
#include "mocks/TFakeMainView.h"
#include "recording/TRecorder.h"
#include "settings/TNoiseLevelCapture.h"
#include "settings/TOptions.h"
#include "settings/TSystemOptionsPlatform.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <iostream>
#include <thread>

namespace kestrune {
namespace {

using namespace std::chrono_literals;

constexpr int Rate = 44100;
constexpr double PlayedSeconds = 5;

std::string Pactl(const std::string& Arguments)
{
    std::string output;
    EXPECT_EQ(test::RunCommand("pactl " + Arguments, &output), 0) << Arguments;
    return output;
}

// The sink's and the monitor's volumes as pactl reports them.
std::string Volumes()
{
    return Pactl(std::string("get-sink-volume ") + test::TPulseTestServer::Sink) +
           Pactl(std::string("get-source-volume ") + test::TPulseTestServer::Monitor);
}

// Something like a song's steady part: two tones and their beat, peaks near
// -8 dBFS, RMS near -14 dBFS.
std::vector<std::int16_t> Song()
{
    std::vector<std::int16_t> samples;
    const auto frames = static_cast<int>(PlayedSeconds * Rate);
    for (int f = 0; f < frames; ++f) {
        const double t = static_cast<double>(f) / Rate;
        const double v = 7000 * std::sin(2 * M_PI * 220 * t) + 5000 * std::sin(2 * M_PI * 331 * t);
        samples.push_back(static_cast<std::int16_t>(std::lround(v)));
        samples.push_back(static_cast<std::int16_t>(std::lround(0.8 * v)));
    }
    return samples;
}

double RmsDb(const std::int16_t* Samples, std::size_t Count)
{
    double sum = 0;
    for (std::size_t i = 0; i < Count; ++i)
        sum += static_cast<double>(Samples[i]) * Samples[i];
    return 10 * std::log10(sum / static_cast<double>(Count) / (32768.0 * 32768.0));
}

struct TMessages final : TJobListenerBase {
    void JobMessage(TJobKind, TJobMessageKind, const std::string& Text) override { Texts.push_back(Text); }
    std::vector<std::string> Texts;
};

class PulseRecording : public ::testing::Test {
protected:
    void SetUp() override
    {
        KESTRUNE_REQUIRE_TOOL("pulseaudio");
        KESTRUNE_REQUIRE_TOOL("pactl");
        KESTRUNE_REQUIRE_TOOL("paplay");
        Server = std::make_unique<test::TPulseTestServer>();
        ASSERT_TRUE(Server->Running()) << Server->Error();
        // The desktop as a user leaves it: the sink and its monitor at 100 %.
        Pactl(std::string("set-sink-volume ") + test::TPulseTestServer::Sink + " 100%");
        Pactl(std::string("set-source-volume ") + test::TPulseTestServer::Monitor + " 100%");
        Options = std::make_unique<TOptions>(Dir.File("kestrune.ini"), Platform,
                                             TOptions::TDefaults{Dir.Path().string() + "/Records/"});
        Options->DriverNames = {std::string("pulse:") + test::TPulseTestServer::Monitor};
        Options->DriverIndex = 0;
    }

    test::TTempDir Dir;
    std::unique_ptr<test::TPulseTestServer> Server;
    TSystemOptionsPlatform Platform;
    TPlainDispatcher Dispatcher;
    std::unique_ptr<TOptions> Options;
};

TEST_F(PulseRecording, NoiseCaptureLeavesTheVolumesAndSaysTheInputIsSilent)
{
    const std::string before = Volumes();
    TMessages messages;
    TNoiseLevelCapture capture(*Options, Dispatcher);
    capture.Events().Subscribe(&messages);
    capture.Start();
    ASSERT_TRUE(capture.Running());
    // Nothing plays into the sink: its monitor is digital silence, which the
    // first seconds of the capture say once.
    EXPECT_TRUE(Dispatcher.WaitServing([&] { return !messages.Texts.empty(); }, 10s));
    EXPECT_EQ(Volumes(), before);
    capture.Abort();
    capture.Events().Unsubscribe(&messages);
    EXPECT_EQ(messages.Texts,
              std::vector<std::string>{TInputLevelCheck::Text(TInputLevelWarning::ilNearSilence, true)});
    EXPECT_EQ(Volumes(), before);
}

TEST_F(PulseRecording, RecordsTheMonitorAsLoudAsItWasPlayed)
{
    const std::vector<std::int16_t> song = Song();
    const std::string raw = Dir.File("song.raw");
    test::WriteWholeFile(raw,
                         std::vector<std::uint8_t>(reinterpret_cast<const std::uint8_t*>(song.data()),
                                                   reinterpret_cast<const std::uint8_t*>(song.data() + song.size())));
    Options->Format = "WAV";
    Options->SamplesPerSec = Rate;
    Options->BitsPerSample = 16;
    Options->Channels = 2;
    Options->SilenceLg = 60000; // one track
    Options->MinLength = 0;
    Options->Level16 = 100;
    const std::string before = Volumes();

    test::TFakeMainView view;
    TPlainDialogs dialogs;
    TRecordingsList list(view);
    TRecorder recorder(*Options, list, view, dialogs, Dispatcher);
    recorder.Job().Subscribe(&view);
    recorder.SetAlbumName("Desktop");
    recorder.StartRecording();
    ASSERT_TRUE(recorder.Recording()) << view.Status;
    std::atomic<bool> played{false};
    int playStatus = -1;
    std::thread player([&] {
        playStatus = test::RunCommand("paplay --raw --format=s16le --rate=44100 --channels=2 -d " +
                                      std::string(test::TPulseTestServer::Sink) + " " + test::ShellQuote(raw));
        played = true;
    });
    const bool ended = Dispatcher.WaitServing([&] { return played.load(); }, 30s);
    player.join();
    ASSERT_TRUE(ended);
    EXPECT_EQ(playStatus, 0);
    Dispatcher.WaitServing([] { return false; }, 500ms); // the last of the song reaches the monitor
    EXPECT_EQ(Volumes(), before);
    recorder.StopRecording();
    ASSERT_TRUE(Dispatcher.WaitServing([&] { return !recorder.Recording(); }, 10s));
    recorder.Job().Unsubscribe(&view);
    EXPECT_EQ(view.Status, "Recording Finished");
    EXPECT_EQ(Volumes(), before);

    ASSERT_EQ(list.Count(), 1);
    const std::vector<std::uint8_t> file = test::ReadWholeFile(list.Row(0).Data->FileName);
    ASSERT_GT(file.size(), 44u + 4u * Rate * 4);
    const auto* recorded = reinterpret_cast<const std::int16_t*>(file.data() + 44);
    // The track begins with the song's first sound; its steady middle is
    // compared with the same stretch of what was played.
    const std::size_t from = 2 * Rate / 2;
    const std::size_t count = 2 * 3 * Rate;
    const double playedDb = RmsDb(song.data() + from, count);
    const double recordedDb = RmsDb(recorded + from, count);
    EXPECT_NEAR(recordedDb, playedDb, 1.0);
    std::cout << "RMS played " << playedDb << " dBFS, recorded " << recordedDb << " dBFS\n";
    // A normal level: nothing to warn about.
    for (const std::string& message : view.Messages)
        EXPECT_EQ(message.find("The input"), std::string::npos) << message;
}

} // namespace
} // namespace kestrune
