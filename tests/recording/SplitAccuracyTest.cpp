#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "formats/TWaveIn.h"
#include "mocks/TNoDevices.h"
#include "recording/SplitMix.h"
#include "recording/TRecorder.h"
#include "settings/TNoiseLevelCapture.h"
#include "settings/TOptions.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

using namespace kestrune;
using namespace kestrune::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr int Rate = 22050;
constexpr int SilenceMs = 1500;
constexpr int MinLength = 5;
constexpr double Gap = 3;
constexpr std::int64_t FiftyMs = Rate / 20;

struct TView final : IRecorderView, IRecordingsView, TJobListenerBase {
    void EnableControls(bool) override {}
    void FocusAlbumName() override {}
    void TrackFinished(int, bool Kept) override { (Kept ? Kept_ : Dropped)++; }
    void CloseWindow() override {}
    void RowInserted(int) override {}
    void RowRemoved(int) override {}
    void RowMoved(int, int) override {}
    void RowChanged(int) override {}
    void SelectRow(int) override {}
    void SetTotals(const std::string& Text) override { Totals = Text; }
    void JobFinished(TJobKind Kind, TJobOutcome Outcome, const std::string& Reason) override
    {
        if (Kind == TJobKind::jkRecording) {
            Status = TRecorder::StatusText(Outcome, Reason);
            return;
        }
        Finished = Outcome == TJobOutcome::joSucceeded;
        if (!Finished)
            Status = "Error " + Reason;
    }

    std::string Status, Totals;
    bool Finished = false;
    int Kept_ = 0, Dropped = 0;
};

// The user's flow: the noise capture on a device playing only the noise,
// then a recording of the mix with the level it measured.
struct TSession {
    TTempDir Dir;
    TNoDevices Platform;
    TPlainDispatcher Dispatcher;
    TPlainDialogs Dialogs;
    TView View;
    std::unique_ptr<TOptions> Options;

    TSession()
    {
        Options = std::make_unique<TOptions>(Dir.File("kestrune.ini"), Platform,
                                             TOptions::TDefaults{Dir.Path().string() + "/Records/"});
    }

    void MeasureNoise(TNoiseKind Kind)
    {
        WriteWholeFile(Dir.File("noise.wav"), PcmWavImage(NoiseOnly(Kind, 25, Rate, 11), 2, Rate));
        Options->DriverNames = {"virtual:" + Dir.File("noise.wav")};
        Options->DriverIndex = 0;
        TNoiseLevelCapture capture(*Options, Dispatcher);
        capture.Events().Subscribe(&View);
        capture.AudioIn1().SetRealTime(false);
        capture.Start();
        ASSERT_TRUE(Dispatcher.WaitServing([&] { return !capture.Running(); }, 60s));
        ASSERT_TRUE(View.Finished) << View.Status;
    }

    // Records the mix; returns the list's rows.
    void Record(const TMix& Mix, const std::string& Format, TRecordingsList& List)
    {
        WriteWholeFile(Dir.File("mix.wav"), PcmWavImage(Mix.Samples, 2, Rate));
        Options->Format = Format;
        Options->SamplesPerSec = Rate;
        Options->BitsPerSample = 16;
        Options->Channels = 2;
        Options->SilenceLg = SilenceMs;
        Options->MinLength = MinLength;
        Options->DriverNames = {"virtual:" + Dir.File("mix.wav")};
        Options->DriverIndex = 0;
        TRecorder recorder(*Options, List, View, Dialogs, Dispatcher);
        recorder.AudioIn1().SetRealTime(false);
        recorder.SetAlbumName("Mix");
        recorder.Job().Subscribe(&View);
        recorder.StartRecording();
        ASSERT_TRUE(Dispatcher.WaitServing([&] { return !recorder.Recording(); }, 120s));
        ASSERT_EQ(View.Status, "Recording Finished");
    }
};

std::vector<std::int16_t> ReadTrack(const std::string& File)
{
    const auto bytes = ReadWholeFile(File);
    return AsSamples16(std::vector<std::uint8_t>(bytes.begin() + 44, bytes.end()));
}

// Where in the mix a WAV track's first frames are, searched near Expected.
std::int64_t FindInMix(const TMix& Mix, const std::vector<std::int16_t>& Track, std::int64_t Expected)
{
    const std::int64_t probe = 64;
    if (static_cast<std::int64_t>(Track.size()) < probe * 2)
        return -1;
    for (std::int64_t d = 0; d < Rate; ++d) {
        for (const std::int64_t at : {Expected - d, Expected + d}) {
            if (at < 0 || (at + probe) * 2 > static_cast<std::int64_t>(Mix.Samples.size()))
                continue;
            if (std::equal(Track.begin(), Track.begin() + probe * 2, Mix.Samples.begin() + at * 2))
                return at;
        }
    }
    return -1;
}

} // namespace

// Every kind of noise, measured first, then a WAV recording of six songs: five
// tracks (the 3-second song dropped), each from its first sound, ending with
// nearly the silence length, named in order, the totals right.
TEST(SplitAccuracy, WavTracksMatchTheSongsOnEveryNoise)
{
    const auto songs = StandardSongs();
    for (const TNoiseKind kind : {TNoiseKind::White, TNoiseKind::Gaussian, TNoiseKind::Hum, TNoiseKind::Crackle}) {
        SCOPED_TRACE(NoiseName(kind));
        TSession session;
        session.MeasureNoise(kind);
        const int level = session.Options->Level16.load();
        ASSERT_GT(level, 0);
        const TMix mix = MakeMix(kind, songs, Gap, Rate, level, 7);
        TRecordingsList list(session.View);
        session.Record(mix, "WAV", list);

        ASSERT_EQ(list.Count(), 5);
        // The short song, and the track begun after the last song's gap that
        // the end of the file left without sound.
        EXPECT_EQ(session.View.Dropped, 2);
        int seconds = 0;
        size_t song = 0;
        for (int row = 0; row < list.Count(); ++row, ++song) {
            if (song == 2)
                ++song; // the short song
            SCOPED_TRACE("track " + std::to_string(row));
            const auto& r = list.Row(row);
            EXPECT_EQ(r.Caption, "Track" + std::to_string(row) + ".WAV");
            const auto track = ReadTrack(r.Data->FileName);
            const std::int64_t frames = static_cast<std::int64_t>(track.size() / 2);
            const TMixSong& s = mix.Songs[song];
            const std::int64_t start = FindInMix(mix, track, s.FirstSound);
            ASSERT_GE(start, 0) << "the track's audio is not in the mix near its song";
            EXPECT_GE(start, s.Start - FiftyMs);
            EXPECT_LE(start, s.FirstSure + FiftyMs);
            // The file holds the song and the silence length after its last
            // sound, up to the cut (a window's rounding aside).
            const std::int64_t silence = SilenceMs * Rate / 1000;
            const std::int64_t lastSound = start + frames - 1 - silence;
            EXPECT_GE(lastSound, s.LastSure - FiftyMs);
            EXPECT_LE(lastSound, s.End + Rate / 100 + FiftyMs);
            // No leading quiet: the level is reached within the first window
            // (a window begun in a block already held back starts the track
            // at most one window early).
            int first = 0;
            for (size_t i = 0; i < static_cast<size_t>(Rate / 100) * 2; ++i)
                first = std::max(first, std::abs(static_cast<int>(track[i])));
            EXPECT_GE(first, level);
            const std::int64_t sound = mix.Songs[song].LastSound - mix.Songs[song].FirstSound;
            EXPECT_NEAR(r.Data->Duration, static_cast<double>(sound) / Rate, 1.0);
            seconds += r.Data->Duration;
        }
        EXPECT_EQ(list.TotalSeconds(), seconds);
        EXPECT_EQ(session.View.Totals, list.TotalsText());
    }
}

TEST(SplitAccuracy, Mp3TracksMatchTheSongs)
{
    const auto songs = StandardSongs();
    TSession session;
    session.MeasureNoise(TNoiseKind::White);
    const int level = session.Options->Level16.load();
    const TMix mix = MakeMix(TNoiseKind::White, songs, Gap, Rate, level, 7);
    TRecordingsList list(session.View);
    session.Record(mix, "MP3", list);
    ASSERT_EQ(list.Count(), 5);
    size_t song = 0;
    for (int row = 0; row < list.Count(); ++row, ++song) {
        if (song == 2)
            ++song;
        const auto& r = list.Row(row);
        EXPECT_EQ(r.Caption, "Track" + std::to_string(row) + ".MP3");
        EXPECT_TRUE(fs::file_size(r.Data->FileName) > 10000);
        const std::int64_t sound = mix.Songs[song].LastSound - mix.Songs[song].FirstSound;
        EXPECT_NEAR(r.Data->Duration, static_cast<double>(sound) / Rate, 1.0) << r.Caption;
    }
}

// The three quiet rules on the same mixes, through the recorder's track loop:
// prints what each measured; the recorder's rule must find every song.
TEST(SplitAccuracy, RuleFigures)
{
    const auto songs = StandardSongs();
    for (const TNoiseKind kind : {TNoiseKind::White, TNoiseKind::Gaussian, TNoiseKind::Hum, TNoiseKind::Crackle}) {
        TSession session;
        session.MeasureNoise(kind);
        const int level = session.Options->Level16.load();
        const TMix mix = MakeMix(kind, songs, Gap, Rate, level, 7);
        for (const auto& [rule, name] :
             {std::pair{TSimRule::Sample, "sample"}, std::pair{TSimRule::Debounce, "debounce"},
              std::pair{TSimRule::Window, "window"}}) {
            const auto tracks = SimulateRecorder(mix, rule, SilenceMs, MinLength, level);
            // Each track against the song whose first sound is nearest its start.
            double worstStart = 0, worstEnd = 0;
            for (const TSimTrack& t : tracks) {
                const TMixSong* best = &mix.Songs[0];
                for (const TMixSong& s : mix.Songs)
                    if (std::abs(s.FirstSound - t.StartFrame) < std::abs(best->FirstSound - t.StartFrame))
                        best = &s;
                // Seconds outside the span where the song's first (last)
                // sound can lie.
                const auto outside = [](std::int64_t At, std::int64_t From, std::int64_t To) {
                    return static_cast<double>(At < From ? From - At : (At > To ? At - To : 0)) / Rate;
                };
                const double start = outside(t.StartFrame, best->Start, best->FirstSure);
                const double end = outside(t.StartFrame + t.SoundFrames, best->LastSure, best->End);
                worstStart = std::max(worstStart, start);
                worstEnd = std::max(worstEnd, end);
                if (std::getenv("KESTRUNE_SPLIT_DETAIL"))
                    std::printf("  track at %.3f s: start %+.3f s end %+.3f s\n",
                                static_cast<double>(t.StartFrame) / Rate, start, end);
            }
            std::printf(
                "figures: noise %-8s level %5d rule %-8s tracks %zu (want 5) worst start %.3f s worst end %.3f s\n",
                NoiseName(kind), level, name, tracks.size(), worstStart, worstEnd);
            if (rule == TSimRule::Window) {
                EXPECT_EQ(tracks.size(), 5u) << NoiseName(kind);
                EXPECT_LE(worstStart, 0.05) << NoiseName(kind);
                EXPECT_LE(worstEnd, 0.05) << NoiseName(kind);
            }
        }
    }
}
