#include "burn/TBurnController.h"
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

// Songs of the given seconds with quiet between them, at 22050 Hz.
std::vector<std::int16_t> Songs(const std::vector<double>& Seconds)
{
    std::vector<std::int16_t> out;
    for (const double seconds : Seconds) {
        const auto song = test::Sine16(static_cast<int>(seconds * 22050), 2, 22050, 440, 12000);
        const auto quiet = test::Noise16(static_cast<int>(1.5 * 22050), 2, 3, 200);
        out.insert(out.end(), song.begin(), song.end());
        out.insert(out.end(), quiet.begin(), quiet.end());
    }
    return out;
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
        test::WriteWholeFile(Dir.File("capture.wav"), test::PcmWavImage(Songs(Seconds), 2, 22050));
        auto options = std::make_unique<TOptions>(Dir.File("kestrune.ini"), Platform,
                                                  TOptions::TDefaults{Dir.Path().string() + "/Records/"});
        options->Format = "WAV";
        options->SamplesPerSec = 22050;
        options->BitsPerSample = 16;
        options->Channels = 2;
        options->SilenceLg = 1000;
        options->MinLength = 2;
        options->DriverNames = {"virtual:" + Dir.File("capture.wav")};
        options->DriverIndex = 0;
        options->WriterMode = 1;
        Main = std::make_unique<TMainController>(
            std::move(options), TMainController::TViews{MainView, MainView, Dialogs, Dispatcher}, Genres, "");
        Main->Recorder().AudioIn1().SetRealTime(false);
        Main->Recorder().SetAlbumName("Live");
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
    rig.Main->Recorder().StartRecording();
    ASSERT_TRUE(rig.Dispatcher.WaitServing([&] { return !rig.Main->Recorder().Recording(); }, 60s));
    ASSERT_TRUE(rig.Dispatcher.WaitServing([&] { return !rig.Burn->WriterBusy(); }, 10s));
    if (rig.Writer->TrackCount() > 0) {
        rig.Burn->StartBurn();
        ASSERT_TRUE(rig.Dispatcher.WaitServing([&] { return !rig.Burn->WriterBusy(); }, 10s));
    }

    std::vector<std::string> kept, written;
    for (int row = 0; row < rig.Main->List().Count(); ++row)
        kept.push_back(rig.Main->List().Row(row).Data->FileName);
    ASSERT_EQ(kept.size(), 7u) << "the 1 s song is dropped";
    for (const auto& disc : rig.Discs) {
        EXPECT_FALSE(disc.empty());
        written.insert(written.end(), disc.begin(), disc.end());
    }
    EXPECT_EQ(written, kept);
    EXPECT_GE(rig.Discs.size(), 3u);
    for (const auto& shown : rig.Dialogs.Shown())
        EXPECT_EQ(shown.Text, "Writing completed!");
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

} // namespace
} // namespace kestrune
