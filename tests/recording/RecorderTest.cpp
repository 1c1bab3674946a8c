#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "formats/TWaveIn.h"
#include "recording/TRecorder.h"
#include "settings/TOptions.h"
#include "mocks/TFakeMainView.h"
#include "mocks/TNoDevices.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kestrune;
using namespace kestrune::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// Songs of the given seconds (a loud tone; 0 is a quiet gap of the next length).
std::vector<std::int16_t> Program(const std::vector<std::pair<double, bool>>& Parts, int Rate)
{
    std::vector<std::int16_t> out;
    for (const auto& [seconds, loud] : Parts) {
        const int frames = static_cast<int>(seconds * Rate);
        const auto part = loud ? Sine16(frames, 2, Rate, 440, 12000) : Noise16(frames, 2, 3, 200);
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

struct TRig {
    TTempDir Dir;
    TNoDevices Platform;
    TPlainDispatcher Dispatcher;
    TPlainDialogs Dialogs;
    TFakeMainView View;
    std::unique_ptr<TOptions> Options;
    std::unique_ptr<TRecordingsList> List;
    std::unique_ptr<TRecorder> Recorder;

    explicit TRig(const std::vector<std::int16_t>& Capture, const std::string& Format = "WAV")
    {
        WriteWholeFile(Dir.File("capture.wav"), PcmWavImage(Capture, 2, 22050));
        Options = std::make_unique<TOptions>(Dir.File("kestrune.ini"), Platform,
                                             TOptions::TDefaults{Dir.Path().string() + "/Records/"});
        Options->Format = Format;
        Options->SamplesPerSec = 22050;
        Options->BitsPerSample = 16;
        Options->Channels = 2;
        Options->SilenceLg = 1000;
        Options->MinLength = 2;
        Options->DriverNames = {"virtual:" + Dir.File("capture.wav")};
        Options->DriverIndex = 0;
        List = std::make_unique<TRecordingsList>(View);
        Recorder = std::make_unique<TRecorder>(*Options, *List, View, Dialogs, Dispatcher);
        Recorder->AudioIn1().SetRealTime(false);
        Recorder->SetAlbumName("Live");
        Recorder->SetGenre("Rock");
        Recorder->Job().Subscribe(&View);
    }

    // Records to the end, reading the level meter as a window would.
    void Record()
    {
        Recorder->StartRecording();
        ASSERT_TRUE(Dispatcher.WaitServing(
            [&] {
                MaxPeak = std::max(MaxPeak, Recorder->CurrentLevel().Peak);
                return !Recorder->Recording();
            },
            60s));
    }
    int MaxPeak = 0;

    std::string Album() const { return Options->Folder + "Live"; }
};

} // namespace

TEST(Recorder, DefaultFigures)
{
    TRig rig({0, 0});
    rig.Options->SilenceLg = 1500;
    rig.Options->MinLength = 15;
    rig.Recorder->StartRecording();
    EXPECT_EQ(rig.Recorder->SilenceBytes(), 132300);
    EXPECT_EQ(rig.Recorder->MinTrackBytes(), 1323000);
    rig.Recorder->StopRecording();
    ASSERT_TRUE(rig.Dispatcher.WaitServing([&] { return !rig.Recorder->Recording(); }, 10s));
}

TEST(Recorder, SplitsAtSilencesDropsShortTracksAndStopsAtEndOfFile)
{
    // 3 s song, 1.5 s quiet, 1 s blip (too short), 1.5 s quiet, 4 s song, end of the file.
    TRig rig(Program({{0.5, false}, {3, true}, {1.5, false}, {1, true}, {1.5, false}, {4, true}}, 22050));
    rig.Record();

    EXPECT_EQ(rig.View.Status, "Recording Finished");
    EXPECT_TRUE(rig.View.ControlsEnabled);
    EXPECT_EQ(rig.View.DroppedTracks, 1);
    ASSERT_EQ(rig.List->Count(), 2);
    EXPECT_EQ(rig.List->Row(0).Caption, "Track0.WAV");
    EXPECT_EQ(rig.List->Row(0).Artist, "Unknown");
    EXPECT_EQ(rig.List->Row(0).Time, "00:03");
    EXPECT_EQ(rig.List->Row(1).Time, "00:04");
    EXPECT_EQ(rig.List->Row(1).Genre, "Rock");
    EXPECT_EQ(rig.List->TotalSeconds(), 7);
    EXPECT_GT(rig.MaxPeak, 11000);

    // Each kept file holds its song and about a second of quiet; the header matches.
    const std::int64_t first = FramesIn<TWaveIn>(rig.List->Row(0).Data->FileName);
    EXPECT_GE(first, 3 * 22050);
    EXPECT_LE(first, 3 * 22050 + 22050 + 2048);
    const auto bytes = ReadWholeFile(rig.List->Row(0).Data->FileName);
    EXPECT_EQ(static_cast<std::int64_t>(bytes.size()), 44 + first * 4);
    // The dropped blip's file is gone and its number reused by the next track.
    EXPECT_EQ(fs::path(rig.List->Row(1).Data->FileName).filename(), "Track1.WAV");
    EXPECT_FALSE(fs::exists(rig.Album() + "/Track2.WAV"));
}

TEST(Recorder, RefusesWithoutAlbumAndNumbersAfterExistingFiles)
{
    TRig rig(Program({{3, true}}, 22050));
    rig.Recorder->SetAlbumName("");
    rig.Recorder->StartRecording();
    EXPECT_EQ(rig.Dialogs.Shown().back().Text, "Please enter an Album Name.");
    EXPECT_TRUE(rig.View.Focused);
    EXPECT_FALSE(rig.Recorder->Recording());

    rig.Recorder->SetAlbumName("Live");
    fs::create_directories(rig.Album());
    WriteWholeFile(rig.Album() + "/Track0.WAV", {1});
    WriteWholeFile(rig.Album() + "/Track1.WAV", {1});
    rig.Record();
    ASSERT_EQ(rig.List->Count(), 1);
    EXPECT_EQ(rig.List->Row(0).Caption, "Track2.WAV");
}

TEST(Recorder, AlbumNameNeverLeavesTheRecordsFolder)
{
    TRig rig(Program({{3, true}}, 22050));
    rig.Recorder->SetAlbumName("../../etc");
    rig.Record();
    ASSERT_EQ(rig.List->Count(), 1);
    const fs::path file = rig.List->Row(0).Data->FileName;
    EXPECT_EQ(file.parent_path().parent_path(), fs::path(rig.Options->Folder).parent_path());
}

TEST(Recorder, DeviceThatCannotOpenEndsWithError)
{
    TRig rig(Program({{3, true}}, 22050));
    rig.Options->DriverNames = {"virtual:" + rig.Dir.File("missing.wav")};
    rig.Record();
    EXPECT_EQ(rig.View.Status.rfind("Error ", 0), 0u) << rig.View.Status;
    EXPECT_TRUE(rig.View.ControlsEnabled);
    EXPECT_EQ(rig.List->Count(), 0); // the empty track was dropped
}

TEST(Recorder, CloseRequestWhileRecordingStopsFirst)
{
    TRig rig(Program({{30, true}}, 22050));
    rig.Recorder->AudioIn1().SetRealTime(true);
    rig.Options->MinLength = 0;
    rig.Recorder->StartRecording();
    rig.Dispatcher.WaitServing([] { return false; }, 300ms);
    EXPECT_FALSE(rig.Recorder->CloseQuery());
    ASSERT_TRUE(rig.Dispatcher.WaitServing([&] { return !rig.Recorder->Recording(); }, 10s));
    EXPECT_EQ(rig.View.Status, "Recording Finished");
    EXPECT_TRUE(rig.Recorder->CloseQuery());
    ASSERT_EQ(rig.List->Count(), 1);
    EXPECT_GT(FramesIn<TWaveIn>(rig.List->Row(0).Data->FileName), 0);
}
