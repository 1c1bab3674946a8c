#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "formats/TRiffInfoTag.h"
#include "formats/TWaveIn.h"
#include "formats/WavTestHelpers.h"
#include "mocks/TFakeMainView.h"
#include "mocks/TNoDevices.h"
#include "pipeline/TMemoryStream.h"
#include "recording/TRecorder.h"
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
                const TRecorder::TLevel level = Recorder->CurrentLevel();
                MaxPeak = std::max(MaxPeak, level.Peak);
                MaxTrack = std::max(MaxTrack, level.Track);
                MaxTrackBytes = std::max(MaxTrackBytes, level.TrackBytes);
                Noise = level.NoiseLevel;
                return !Recorder->Recording();
            },
            60s));
    }
    int MaxPeak = 0;
    int MaxTrack = 0;
    std::int64_t MaxTrackBytes = 0;
    int Noise = -1;

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
    // What the level strip reads: the track now running (three were opened:
    // the blip's number was taken too), its audio so far, the noise level.
    EXPECT_EQ(rig.MaxTrack, 3);
    EXPECT_GT(rig.MaxTrackBytes, 3 * 22050 * 4);
    EXPECT_EQ(rig.Noise, rig.Options->Level16.load());

    // Each kept file holds its song and about a second of quiet; the header matches.
    const std::int64_t first = FramesIn<TWaveIn>(rig.List->Row(0).Data->FileName);
    EXPECT_GE(first, 3 * 22050);
    EXPECT_LE(first, 3 * 22050 + 22050 + 2048);
    const auto bytes = ReadWholeFile(rig.List->Row(0).Data->FileName);
    EXPECT_EQ(Le32At(bytes, 40), first * 4);
    EXPECT_EQ(Le32At(bytes, 4), bytes.size() - 8);
    // Each kept track carries the album, the genre and its number in the
    // recording (the dropped blip has none).
    for (int row = 0; row < 2; ++row) {
        TMemoryStream file(ReadWholeFile(rig.List->Row(row).Data->FileName));
        const std::vector<std::pair<std::string, std::string>> want{
            {"INAM", ""}, {"IART", ""}, {"IPRD", "Live"}, {"IGNR", "Rock"}, {"IPRT", std::to_string(row + 1)}};
        EXPECT_EQ(ReadInfoChunk(&file), want) << row;
    }
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
    EXPECT_FALSE(rig.View.CloseAsked);
    ASSERT_TRUE(rig.Dispatcher.WaitServing([&] { return !rig.Recorder->Recording(); }, 10s));
    EXPECT_EQ(rig.View.Status, "Recording Finished");
    EXPECT_TRUE(rig.View.CloseAsked) << "the close request ends with the window told to close";
    EXPECT_TRUE(rig.Recorder->CloseQuery());
    ASSERT_EQ(rig.List->Count(), 1);
    EXPECT_GT(FramesIn<TWaveIn>(rig.List->Row(0).Data->FileName), 0);
}

namespace {

// A capture whose every frame says where it stands: the right channel and the
// low part of the left one carry the frame's index, the left one's offset
// makes it loud or quiet (|s| < 1500 is quiet).
constexpr int IndexBase = 2000;

std::vector<std::int16_t> NumberedFrames(const std::vector<bool>& Loud)
{
    std::vector<std::int16_t> out;
    for (size_t i = 0; i < Loud.size(); ++i) {
        const auto high = static_cast<int>(i / IndexBase);
        out.push_back(static_cast<std::int16_t>(Loud[i] ? 10000 + high : high - 1000));
        out.push_back(static_cast<std::int16_t>(static_cast<int>(i % IndexBase) - 1000));
    }
    return out;
}

std::int64_t FrameIndex(std::int16_t Left, std::int16_t Right)
{
    const int high = Left >= 5000 ? Left - 10000 : Left + 1000;
    return static_cast<std::int64_t>(high) * IndexBase + (Right + 1000);
}

} // namespace

// Every captured frame lands in exactly one track, in order, or in quiet that
// was dropped; the loud ones all land somewhere (but for the first frames of
// a song that a window too little of which sounds calls quiet). The gaps step
// through every offset against the blocks, so that some songs begin in the
// very block whose quiet ends the track before.
TEST(Recorder, EveryFrameLandsInOneTrackOrInDroppedQuiet)
{
    constexpr int Rate = 22050;
    constexpr int Silence = Rate / 5; // 200 ms
    std::vector<bool> loud(Rate / 2, false);
    // Quiet longer than the silence by a block (1024 frames) and a window
    // ends a track whatever the blocks do; shorter gaps may or may not.
    int sureSplits = 0;
    for (int offset = 0; offset < 2200; offset += 37) {
        loud.insert(loud.end(), Rate / 10, true);
        loud.insert(loud.end(), static_cast<size_t>(Silence) + static_cast<size_t>(offset), false);
        sureSplits += offset >= 1024 + Rate / 100;
    }
    TRig rig(NumberedFrames(loud));
    rig.Options->SilenceLg = 200;
    rig.Options->MinLength = 0;
    rig.Record();
    ASSERT_EQ(rig.View.Status, "Recording Finished");

    std::vector<std::int64_t> landed;
    int tracksWithSound = 0;
    for (int row = 0; row < rig.List->Count(); ++row) {
        const auto bytes = ReadWholeFile(rig.List->Row(row).Data->FileName);
        // The data chunk, without the tag list that follows it.
        const auto samples =
            AsSamples16(std::vector<std::uint8_t>(bytes.begin() + 44, bytes.begin() + 44 + Le32At(bytes, 40)));
        bool sound = false;
        if (samples.size() >= 2) {
            EXPECT_TRUE(loud.at(static_cast<size_t>(FrameIndex(samples[0], samples[1]))))
                << "a track starts at its first sound";
        }
        for (size_t i = 0; i + 1 < samples.size(); i += 2) {
            landed.push_back(FrameIndex(samples[i], samples[i + 1]));
            sound = sound || loud.at(static_cast<size_t>(landed.back()));
        }
        tracksWithSound += sound;
    }
    EXPECT_GT(tracksWithSound, sureSplits);
    for (size_t i = 1; i < landed.size(); ++i)
        ASSERT_LT(landed[i - 1], landed[i]) << "frames out of order or twice";
    // Loud frames missing from every track: at most an eighth of a 10 ms
    // window at a song's start.
    std::vector<bool> present(loud.size(), false);
    for (std::int64_t f : landed)
        present.at(static_cast<size_t>(f)) = true;
    int missingRun = 0;
    for (size_t f = 0; f < loud.size(); ++f) {
        if (loud[f] && !present[f]) {
            ++missingRun;
            ASSERT_LE(missingRun, Rate / 100 / 8) << "loud frame " << f << " lost";
        } else if (!loud[f]) {
            missingRun = 0;
        }
    }
}

// A line that is digital silence between songs (the monitor of a desktop's
// sound server) measures a noise level of 0; its silences still end tracks.
TEST(Recorder, NoiseLevelZeroStillSplitsAtDigitalSilence)
{
    std::vector<std::int16_t> capture = Sine16(22050 * 3, 2, 22050, 440, 12000);
    capture.resize(capture.size() + 2 * 22050 * 2, 0);
    const std::vector<std::int16_t> song = Sine16(22050 * 3, 2, 22050, 330, 9000);
    capture.insert(capture.end(), song.begin(), song.end());
    TRig rig(capture);
    rig.Options->Level16 = 0;
    rig.Record();
    EXPECT_EQ(rig.View.Status, "Recording Finished");
    ASSERT_EQ(rig.List->Count(), 2);
    EXPECT_EQ(rig.List->Row(0).Time, "00:03");
    EXPECT_EQ(rig.List->Row(1).Time, "00:03");
}

// The first seconds of a device's audio that stay near silence or clip are
// told once, with what to do; a normal level says nothing.
TEST(Recorder, WarnsOnceWhenTheInputStaysNearSilenceOrClips)
{
    auto clipped = Sine16(22050 * 4, 2, 22050, 440, 12000);
    for (std::int16_t& s : clipped)
        s = s > 8000 ? 32767 : (s < -8000 ? -32768 : static_cast<std::int16_t>(s * 4));
    const struct {
        const char* Name;
        std::vector<std::int16_t> Capture;
        TInputLevelWarning Warning;
    } cases[] = {
        {"quiet line", Noise16(22050 * 4, 2, 5, 20), TInputLevelWarning::ilNearSilence},
        {"clipping", clipped, TInputLevelWarning::ilClipping},
        {"normal level", Program({{4, true}}, 22050), TInputLevelWarning::ilNone},
    };
    for (const auto& c : cases) {
        TRig rig(c.Capture);
        rig.Options->MinLength = 0;
        std::int64_t clips = 0;
        rig.Recorder->StartRecording();
        ASSERT_TRUE(rig.Dispatcher.WaitServing(
            [&] {
                clips = std::max(clips, rig.Recorder->CurrentLevel().Clips);
                return !rig.Recorder->Recording();
            },
            60s));
        int levelWarnings = 0;
        for (const std::string& message : rig.View.Messages)
            for (const bool noise : {false, true})
                for (const TInputLevelWarning w : {TInputLevelWarning::ilNearSilence, TInputLevelWarning::ilClipping})
                    if (message == TInputLevelCheck::Text(w, noise)) {
                        ++levelWarnings;
                        EXPECT_EQ(w, c.Warning) << c.Name;
                        EXPECT_FALSE(noise) << c.Name;
                    }
        EXPECT_EQ(levelWarnings, c.Warning == TInputLevelWarning::ilNone ? 0 : 1) << c.Name;
        EXPECT_EQ(clips > 0, c.Warning == TInputLevelWarning::ilClipping) << c.Name;
    }
}

// A track file that cannot be created ends the recording with the reason and
// leaves no row behind; the track before it is counted once.
TEST(Recorder, TrackFileThatCannotBeCreatedEndsWithoutARow)
{
    TRig rig(Program({{3, true}, {1.5, false}, {3, true}}, 22050));
    fs::create_directories(rig.Album());
    // Track1 looks free but leads into a folder that does not exist.
    fs::create_symlink(rig.Dir.File("no/such/folder/x.wav"), rig.Album() + "/Track1.WAV");
    rig.Record();
    EXPECT_EQ(rig.View.Status.rfind("Error ", 0), 0u) << rig.View.Status;
    EXPECT_GT(rig.View.Status.size(), 6u) << "the reason is given";
    ASSERT_EQ(rig.List->Count(), 1);
    EXPECT_EQ(rig.List->Row(0).Caption, "Track0.WAV");
    EXPECT_EQ(rig.List->TotalSeconds(), 3);
    EXPECT_EQ(rig.View.KeptTracks, 1);
    EXPECT_EQ(rig.View.Outcomes, std::vector<TJobOutcome>{TJobOutcome::joFailed});
}

// Failures to start name their cause; without a capture device nothing is
// recorded and the user is told.
TEST(Recorder, StartFailuresSayWhy)
{
    TRig rig(Program({{3, true}}, 22050));
    WriteWholeFile(rig.Dir.File("plain"), {1});
    rig.Options->Folder = rig.Dir.File("plain") + "/Records/";
    rig.Record();
    const std::string prefix = "Error - Cannot start recorder: ";
    EXPECT_EQ(rig.View.Status.substr(0, prefix.size()), prefix);
    EXPECT_GT(rig.View.Status.size(), prefix.size());
    EXPECT_EQ(rig.List->Count(), 0);
    EXPECT_TRUE(rig.View.ControlsEnabled);

    TRig none(Program({{3, true}}, 22050));
    none.Options->DriverNames.clear();
    none.Recorder->StartRecording();
    EXPECT_FALSE(none.Recorder->Recording());
    ASSERT_FALSE(none.Dialogs.Shown().empty());
    EXPECT_EQ(none.Dialogs.Shown().back().Text, "No input driver available!");
    EXPECT_EQ(none.List->Count(), 0);
    EXPECT_FALSE(fs::exists(none.Album()));
}
