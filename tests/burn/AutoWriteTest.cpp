#include "burn/TBurnController.h"
#include "burn/TBurnFixture.h"
#include "burn/TCdWriter.h"
#include "burn/TFakeCdWriter.h"
#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "mocks/TFakeMainView.h"
#include "mocks/TNoDevices.h"
#include "recording/TMainController.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kestrune {
namespace {

using namespace std::chrono_literals;
using test::TFakeBurnView;
using test::TFakeCdWriter;
namespace fs = std::filesystem;
using TViewsOf = TMainController::TViews;

// Songs of the given seconds with quiet between them.
std::vector<std::int16_t> Songs(const std::vector<double>& Seconds, int Rate)
{
    std::vector<std::int16_t> out;
    for (const double seconds : Seconds) {
        const auto song = test::Sine16(static_cast<int>(seconds * Rate), 2, Rate, 440, 12000);
        const auto quiet = test::Noise16(static_cast<int>(1.5 * Rate), 2, 3, 200);
        out.insert(out.end(), song.begin(), song.end());
        out.insert(out.end(), quiet.begin(), quiet.end());
    }
    return out;
}

// The recorder of a main window over a file of songs, in the automatic
// writing mode.
std::unique_ptr<TMainController> Recorder(const test::TTempDir& Dir, IOptionsPlatform& Platform, TViewsOf Views,
                                          TGenreList& Genres, const std::vector<double>& Seconds, int Rate)
{
    test::WriteWholeFile(Dir.File("capture.wav"), test::PcmWavImage(Songs(Seconds, Rate), 2, Rate));
    auto options = std::make_unique<TOptions>(Dir.File("kestrune.ini"), Platform,
                                              TOptions::TDefaults{Dir.Path().string() + "/Records/"});
    options->Format = "WAV";
    options->SamplesPerSec = Rate;
    options->BitsPerSample = 16;
    options->Channels = 2;
    options->SilenceLg = 1000;
    options->MinLength = 2;
    options->DriverNames = {"virtual:" + Dir.File("capture.wav")};
    options->DriverIndex = 0;
    options->WriterMode = 1;
    auto main = std::make_unique<TMainController>(std::move(options), Views, Genres, "");
    main->Recorder().AudioIn1().SetRealTime(false);
    main->Recorder().SetAlbumName("Live");
    return main;
}

// Records to the end of the file; then burns by hand what is still queued,
// as the user would.
void RecordAndBurnTheRest(TMainController& Main, TBurnController& Burn, ICdWriter& Writer,
                          TPlainDispatcher& Dispatcher)
{
    Main.Recorder().StartRecording();
    ASSERT_TRUE(Dispatcher.WaitServing([&] { return !Main.Recorder().Recording(); }, 60s));
    ASSERT_TRUE(Dispatcher.WaitServing([&] { return !Burn.WriterBusy(); }, 30s));
    if (Writer.TrackCount() > 0) {
        Burn.StartBurn();
        ASSERT_TRUE(Burn.BurnStarted());
        ASSERT_TRUE(Dispatcher.WaitServing([&] { return !Burn.WriterBusy(); }, 30s));
    }
}

std::vector<std::string> KeptFiles(TMainController& Main)
{
    std::vector<std::string> kept;
    for (int row = 0; row < Main.List().Count(); ++row)
        kept.push_back(Main.List().Row(row).Data->FileName);
    return kept;
}

// The recorder and a hidden burn window in the automatic mode, the writer
// scripted to finish each write a moment after it began.
struct TAutoRig {
    test::TTempDir Dir;
    test::TNoDevices Platform;
    TPlainDispatcher Dispatcher;
    TPlainDialogs Dialogs;
    test::TFakeMainView MainView;
    TGenreList Genres;
    TFakeBurnView BurnView;
    std::shared_ptr<TFakeCdWriter> Writer = std::make_shared<TFakeCdWriter>();
    std::unique_ptr<TMainController> Main;
    std::unique_ptr<TBurnController> Burn;
    std::vector<std::vector<std::string>> Discs;

    explicit TAutoRig(const std::vector<double>& Seconds)
    {
        Main = Recorder(Dir, Platform, {MainView, MainView, Dialogs, Dispatcher}, Genres, Seconds, 22050);
        BurnView.IsShown = false;
        Writer->Discs[0].Capacity = 12 * TCdFigures::PerSecond;
        // What the files hold, rounded up to whole seconds.
        Writer->Measure = [](const std::string& Name) {
            std::error_code error;
            const auto bytes = fs::file_size(Name, error);
            return error ? -1 : static_cast<int>((bytes - 44 + 22050 * 4 - 1) / (22050 * 4));
        };
        Writer->OnWrite = [this] {
            Dispatcher.Post(TLifetimeToken::Unowned(), [this] {
                Discs.push_back(Writer->WrittenQueue);
                Writer->Complete();
            });
        };
        Burn = std::make_unique<TBurnController>(BurnView, Dialogs, Dispatcher, Writer, Main->Options());
        Burn->StartScan();
        EXPECT_TRUE(Dispatcher.WaitServing([&] { return !Burn->Scanning(); }, 10s));
        Main->SetBurn(Burn.get());
    }
    ~TAutoRig() { Main->SetBurn(nullptr); }
};

// Several songs recorded with a disc that holds about two of them: the discs
// burnt on the way, and the last queue burnt by hand at the end, hold every
// kept track once, in the order recorded.
TEST(AutoWrite, EveryKeptTrackLandsOnExactlyOneDiscInOrder)
{
    TAutoRig rig({3, 4, 1, 2.5, 5, 3, 4, 3});
    RecordAndBurnTheRest(*rig.Main, *rig.Burn, *rig.Writer, rig.Dispatcher);

    const std::vector<std::string> kept = KeptFiles(*rig.Main);
    std::vector<std::string> written;
    ASSERT_EQ(kept.size(), 7u) << "the 1 s song is dropped";
    for (const auto& disc : rig.Discs) {
        EXPECT_FALSE(disc.empty());
        written.insert(written.end(), disc.begin(), disc.end());
    }
    EXPECT_EQ(written, kept);
    EXPECT_GE(rig.Discs.size(), 3u);
    for (const auto& shown : rig.Dialogs.Shown())
        EXPECT_EQ(shown.Text.rfind("Writing completed!", 0), 0u) << shown.Text;
}

// With the mode off, or without a writer, nothing is offered.
TEST(AutoWrite, NothingIsQueuedInManualMode)
{
    TAutoRig rig({3, 4});
    rig.Main->Options().WriterMode = 0;
    rig.Main->Recorder().StartRecording();
    ASSERT_TRUE(rig.Dispatcher.WaitServing([&] { return !rig.Main->Recorder().Recording(); }, 60s));
    EXPECT_EQ(rig.Main->List().Count(), 2);
    EXPECT_EQ(rig.Writer->TrackCount(), 0);
}

// The same with the program's writer and its image drive on a disc of 18
// seconds: the images it leaves (disc.cue, disc-2.cue, ...) hold every kept
// track once, in order, each track the recorded file's audio followed by
// silence.
TEST(AutoWrite, ImagesHoldEveryKeptTrackOnceInOrder)
{
    test::TTempDir dir;
    test::TNoDevices platform;
    TPlainDispatcher dispatcher;
    TPlainDialogs dialogs;
    test::TFakeMainView mainView;
    TGenreList genres;
    TFakeBurnView burnView;
    burnView.IsShown = false;
    auto main = Recorder(dir, platform, {mainView, mainView, dialogs, dispatcher}, genres, {3, 4, 1, 2.5, 5, 3, 4},
                         44100);
    fs::create_directories(dir.Path() / "discs");
    auto writer = TCdWriter::Standard(dispatcher, dir.Path() / "discs" / "disc.cue", 0.3);
    TBurnController burn(burnView, dialogs, dispatcher, writer, main->Options());
    burn.StartScan();
    ASSERT_TRUE(dispatcher.WaitServing([&] { return !burn.Scanning(); }, 10s));
    ASSERT_TRUE(burn.WriterAvailable());
    main->SetBurn(&burn);
    RecordAndBurnTheRest(*main, burn, *writer, dispatcher);
    main->SetBurn(nullptr);

    for (const auto& shown : dialogs.Shown())
        EXPECT_EQ(shown.Text.rfind("Writing completed!", 0), 0u) << shown.Text;
    const std::vector<std::string> kept = KeptFiles(*main);
    ASSERT_EQ(kept.size(), 6u) << "the 1 s song is dropped";
    std::vector<std::vector<std::uint8_t>> tracks;
    int images = 0;
    for (int n = 1;; ++n) {
        const fs::path cue = dir.Path() / "discs" / (n == 1 ? std::string("disc.cue") : "disc-" + std::to_string(n) + ".cue");
        if (!fs::exists(cue))
            break;
        ++images;
        const test::TImageReadBack image = test::ReadImage(cue);
        EXPECT_FALSE(image.Tracks.empty()) << cue;
        tracks.insert(tracks.end(), image.Tracks.begin(), image.Tracks.end());
    }
    EXPECT_GE(images, 3);
    ASSERT_EQ(tracks.size(), kept.size());
    for (std::size_t t = 0; t < kept.size(); ++t) {
        std::vector<std::uint8_t> audio = test::ReadWholeFile(kept[t]);
        // The data chunk alone: the track's tag list follows it.
        audio.resize(44 + (audio[40] | audio[41] << 8 | audio[42] << 16 | static_cast<std::size_t>(audio[43]) << 24));
        audio.erase(audio.begin(), audio.begin() + 44);
        ASSERT_GE(tracks[t].size(), audio.size()) << kept[t];
        EXPECT_TRUE(std::equal(audio.begin(), audio.end(), tracks[t].begin())) << kept[t];
        EXPECT_TRUE(std::all_of(tracks[t].begin() + static_cast<std::ptrdiff_t>(audio.size()), tracks[t].end(),
                                [](std::uint8_t b) { return b == 0; }))
            << kept[t];
    }
}

} // namespace
} // namespace kestrune
