#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "mocks/TFakeMainView.h"
#include "mocks/TNoDevices.h"
#include "recognition/TFakeLookupService.h"
#include "recording/TRecognitionController.h"
#include "recording/TRecorder.h"
#include "settings/TOptions.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

using namespace kestrune;
using namespace kestrune::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// The chooser as a script: double-clicks a row, or closes without one.
struct TScriptedChooser final : ITrackChooserView {
    void SetRows(const std::vector<TTrackInfo>& R) override { Rows = R; }
    void ShowModal(TTrackChooser& Chooser) override
    {
        Shown = true;
        if (Pick >= 0)
            Chooser.RowDoubleClicked(Pick);
    }
    void Close() override { Closed = true; }
    std::vector<TTrackInfo> Rows;
    int Pick = -1;
    bool Shown = false, Closed = false;
};

// Songs of different lengths (tones with changing notes) with quiet gaps.
std::vector<std::int16_t> Program(const std::vector<int>& SongSeconds, int Rate)
{
    std::vector<std::int16_t> out;
    const double notes[] = {220, 277, 330, 392, 440, 523};
    int song = 0;
    for (int seconds : SongSeconds) {
        if (seconds == 0) {
            out.insert(out.end(), 2 * static_cast<size_t>(Rate) * 2, 0);
            continue;
        }
        for (int f = 0; f < seconds * Rate; ++f) {
            const double t = static_cast<double>(f) / Rate;
            const double hz = notes[(f / (Rate / 4) + song) % 6];
            const auto s = static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * hz * t));
            out.push_back(s);
            out.push_back(s);
        }
        out.insert(out.end(), 2 * static_cast<size_t>(Rate) * 2, 0);
        ++song;
    }
    return out;
}

// A recorder with recognition against the fake service; the service names
// each song after the duration it is asked about.
struct TRig {
    TFakeLookupService Service;
    TTempDir Dir;
    TNoDevices Platform;
    TPlainDispatcher Dispatcher;
    TPlainDialogs Dialogs;
    TFakeMainView View;
    std::unique_ptr<TOptions> Options;
    std::unique_ptr<TRecordingsList> List;
    std::unique_ptr<TRecognitionController> Recognition;
    std::unique_ptr<TRecorder> Recorder;
    int Recognised = 0;
    int Failed = 0;

    explicit TRig(const std::vector<std::int16_t>& Capture, const std::string& Key = "key")
    {
        WriteWholeFile(Dir.File("capture.wav"), PcmWavImage(Capture, 2, 22050));
        Options = std::make_unique<TOptions>(Dir.File("kestrune.ini"), Platform,
                                             TOptions::TDefaults{Dir.Path().string() + "/Records/"});
        Options->Format = "WAV";
        Options->SamplesPerSec = 22050;
        Options->BitsPerSample = 16;
        Options->Channels = 2;
        Options->SilenceLg = 1000;
        Options->MinLength = 2;
        Options->DriverNames = {"virtual:" + Dir.File("capture.wav")};
        Options->DriverIndex = 0;
        Options->RecognitionServer = Service.Url();
        Options->RecognitionKey = Key;
        List = std::make_unique<TRecordingsList>(View);
        Recognition = std::make_unique<TRecognitionController>(*List, Dispatcher);
        Recognition->OnRowRecognised = [this](int) { ++Recognised; };
        Recognition->OnQueryFailed = [this](int, const std::string&) { ++Failed; };
        TRecognitionSettings settings = TRecognitionController::SettingsFrom(*Options);
        settings.Timeout = 3s;
        Recognition->Open(settings);
        Recorder = std::make_unique<TRecorder>(*Options, *List, View, Dialogs, Dispatcher);
        Recorder->SetRecognition(Recognition.get());
        Recorder->Job().Subscribe(&View);
        Recognition->Job().Subscribe(&View);
        Recorder->AudioIn1().SetRealTime(false);
        Recorder->SetAlbumName("Live");
    }

    void Record()
    {
        Recorder->StartRecording();
        ASSERT_TRUE(Dispatcher.WaitServing([&] { return !Recorder->Recording(); }, 60s));
    }

    void AnswerByDuration(int Matches)
    {
        Service.SetAnswer([Matches](const TFakeLookupService::TRequest& R) {
            std::vector<std::vector<std::string>> songs;
            const std::string d = R.Fields.count("duration") ? R.Fields.at("duration") : "?";
            for (int i = 0; i < Matches; ++i)
                songs.push_back(
                    {"Song " + d + (i ? " take " + std::to_string(i + 1) : ""), "Band " + d, i == 0 ? "Album" : ""});
            return TFakeLookupService::TAnswer{200, TFakeLookupService::Matches(songs), false, 300ms};
        });
    }
};

std::string NameOf(const TRecordingRow& Row)
{
    return fs::path(Row.Data->FileName).filename().string();
}

} // namespace

TEST(RecognitionFlow, SeveralMatchesRecogniseTagRenameAndOfferTheAlternates)
{
    TRig rig(Program({4, 6}, 22050));
    ASSERT_TRUE(rig.Recognition->ClientOpen());
    rig.AnswerByDuration(3);
    rig.Record();
    ASSERT_EQ(rig.List->Count(), 2);
    EXPECT_EQ(rig.List->Row(1).Artist, "Querying online database...");
    ASSERT_TRUE(rig.Recognition->WaitForWorkers(20s));
    EXPECT_EQ(rig.Service.Requests().size(), 2u);

    const TRecordingRow& row = rig.List->Row(0);
    EXPECT_EQ(row.Caption, "Song 4");
    EXPECT_EQ(row.Artist, "Band 4");
    EXPECT_EQ(row.Album, "Album");
    EXPECT_EQ(row.State, TRowState::rsSeveralMatches);
    EXPECT_EQ(row.Data->Candidates.size(), 3u);
    EXPECT_EQ(row.Data->TrmId, "00000001-0000-4000-8000-000000000001");
    EXPECT_FALSE(row.Data->Trm);
    EXPECT_EQ(NameOf(row), "Band 4 - Song 4.WAV");
    EXPECT_TRUE(fs::exists(row.Data->FileName));
    EXPECT_EQ(rig.List->Row(1).Caption, "Song 6");

    // The popup of a row with several matches offers the alternates.
    auto entries = rig.Recognition->PopupEntries(0);
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries.back(), "Choose an alternate track");
    TScriptedChooser closed;
    rig.Recognition->ChooseAlternateTrack(closed);
    EXPECT_TRUE(closed.Shown);
    EXPECT_EQ(closed.Rows.size(), 3u);
    EXPECT_EQ(rig.List->Row(0).Caption, "Song 4");

    rig.Recognition->PopupEntries(0);
    TScriptedChooser chooser;
    chooser.Pick = 1;
    rig.Recognition->ChooseAlternateTrack(chooser);
    EXPECT_TRUE(chooser.Closed);
    EXPECT_EQ(rig.List->Row(0).Caption, "Song 4 take 2");
    EXPECT_EQ(rig.List->Row(0).Album, "");
    EXPECT_EQ(rig.List->Row(0).State, TRowState::rsSeveralMatches);
    EXPECT_EQ(NameOf(rig.List->Row(0)), "Band 4 - Song 4 take 2.WAV");
    EXPECT_EQ(rig.List->Row(0).Data->Candidates.size(), 3u);
    // Without a popup on an alternate row there is nothing to choose.
    TScriptedChooser unused;
    rig.Recognition->ChooseAlternateTrack(unused);
    EXPECT_FALSE(unused.Shown);
}

TEST(RecognitionFlow, OneMatchNoMatchAndFailedQuery)
{
    struct TCase {
        const char* Name;
        TFakeLookupService::TAnswer Answer;
        std::string Artist;
        TRowState State;
        size_t Entries;
        TJobOutcome Outcome; // of the track's recognition job
    };
    const std::vector<TCase> cases{
        {"one match",
         {200, TFakeLookupService::Matches({{"Only", "One", "LP"}})},
         "One",
         TRowState::rsOneMatch,
         4,
         TJobOutcome::joSucceeded},
        {"no match",
         {200, R"({"status":"ok","results":[]})"},
         "Unknown",
         TRowState::rsRecorded,
         4,
         TJobOutcome::joSucceeded},
        {"error status",
         {400, TFakeLookupService::Error(3, "invalid fingerprint")},
         "Querying online database...",
         TRowState::rsRecorded,
         4,
         TJobOutcome::joFailed},
        {"malformed",
         {200, "{\"status\":"},
         "Querying online database...",
         TRowState::rsRecorded,
         4,
         TJobOutcome::joFailed},
        {"never answers",
         {200, "", true},
         "Querying online database...",
         TRowState::rsRecorded,
         4,
         TJobOutcome::joFailed},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TRig rig(Program({4}, 22050));
        rig.Service.SetAnswer([&](const auto&) { return c.Answer; });
        rig.Record();
        ASSERT_TRUE(rig.Recognition->WaitForWorkers(20s));
        ASSERT_EQ(rig.List->Count(), 1);
        EXPECT_EQ(rig.List->Row(0).Artist, c.Artist);
        EXPECT_EQ(rig.List->Row(0).State, c.State);
        EXPECT_EQ(rig.View.RecognitionOutcomes, std::vector<TJobOutcome>{c.Outcome});
        EXPECT_EQ(rig.Recognition->PopupEntries(0).size(), c.Entries);
        EXPECT_EQ(rig.Service.Requests().size(), 1u);
        EXPECT_EQ(rig.Failed, c.Artist == "Querying online database..." ? 1 : 0);
        // A failed query leaves its reason on the row.
        const std::string& hint = rig.List->Row(0).Hint;
        if (c.Outcome == TJobOutcome::joFailed) {
            EXPECT_TRUE(hint.rfind("Recognition failed: ", 0) == 0 && hint.size() > 30) << hint;
        } else {
            EXPECT_EQ(hint, "");
        }
        if (std::string(c.Name) == "error status") {
            EXPECT_NE(hint.find("invalid fingerprint"), std::string::npos) << hint;
        }
    }
}

TEST(RecognitionFlow, SilenceIsNeverQueriedAndNoKeyIsSaidOnce)
{
    {
        TRig rig(std::vector<std::int16_t>(22050 * 2 * 4, 0));
        rig.Options->MinLength = 0;
        rig.Record();
        ASSERT_TRUE(rig.Recognition->WaitForWorkers(10s));
        ASSERT_EQ(rig.List->Count(), 1);
        EXPECT_EQ(rig.List->Row(0).Artist, "Unknown");
        EXPECT_EQ(rig.List->Row(0).Data->TrmId, "00000000-0000-0000-0000-000000000000");
        EXPECT_TRUE(rig.Service.Requests().empty());
    }
    TRig rig(Program({4}, 22050), "");
    EXPECT_FALSE(rig.Recognition->ClientOpen());
    EXPECT_NE(rig.Recognition->Notice().find("no application key"), std::string::npos);
    rig.Record();
    EXPECT_EQ(rig.List->Row(0).Artist, "Unknown");
    EXPECT_FALSE(rig.List->Row(0).Data->Trm);
    EXPECT_TRUE(rig.Service.Requests().empty());
}

// Rows deleted and moved while their workers run: each result lands on its
// own record, a deleted row's result goes nowhere.
TEST(RecognitionFlow, DeletesAndMovesDuringRecognition)
{
    TRig rig(Program({4, 5, 6, 7}, 22050));
    rig.AnswerByDuration(1);
    rig.Options->MinLength = 2;
    rig.Record();
    ASSERT_EQ(rig.List->Count(), 4);
    // Some workers are still waiting for the service (3 a second, 300 ms each).
    ASSERT_GT(rig.Recognition->RecognitionCount(), 0);
    const std::string deletedFile = rig.List->Row(1).Data->FileName;
    rig.List->Delete(1, 88200);
    rig.List->MoveDown(0);
    rig.List->MoveUp(2);
    ASSERT_TRUE(rig.Recognition->WaitForWorkers(20s));
    EXPECT_EQ(rig.Recognition->RecognitionCount(), 0);
    ASSERT_EQ(rig.List->Count(), 3);
    for (int i = 0; i < 3; ++i) {
        const TRecordingRow& row = rig.List->Row(i);
        const std::string seconds = std::to_string(row.Data->Duration);
        EXPECT_EQ(row.Caption, "Song " + seconds) << i;
        EXPECT_EQ(NameOf(row), "Band " + seconds + " - Song " + seconds + ".WAV");
    }
    EXPECT_FALSE(fs::exists(deletedFile));
    EXPECT_EQ(fs::directory_iterator(fs::path(deletedFile).parent_path()) == fs::directory_iterator(), false);
    int files = 0;
    for ([[maybe_unused]] const auto& f : fs::directory_iterator(fs::path(deletedFile).parent_path()))
        ++files;
    EXPECT_EQ(files, 3);
}

TEST(RecognitionFlow, ClosingWhileWorkersWaitEndsThemAll)
{
    TRig rig(Program({4, 5, 6}, 22050));
    rig.Service.SetAnswer([](const auto&) { return TFakeLookupService::TAnswer{200, "", true}; });
    TRecognitionSettings settings = TRecognitionController::SettingsFrom(*rig.Options);
    settings.Timeout = 60s;
    rig.Recognition->Open(settings);
    rig.Record();
    ASSERT_EQ(rig.Recognition->RecognitionCount(), 3);
    const auto start = std::chrono::steady_clock::now();
    rig.Recognition->Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(rig.Recognition->RecognitionCount(), 0);
    EXPECT_FALSE(rig.Recognition->ClientOpen());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(rig.List->Row(i).Artist, "Querying online database...");
}

TEST(RecognitionFlow, FileThatCannotBeTaggedEndsUnknown)
{
    TRig rig(Program({4}, 22050));
    rig.AnswerByDuration(2);
    rig.Record();
    ASSERT_EQ(rig.Recognition->RecognitionCount(), 1);
    // The file goes before the answer comes: the tag cannot be written.
    fs::remove(rig.List->Row(0).Data->FileName);
    ASSERT_TRUE(rig.Recognition->WaitForWorkers(20s));
    EXPECT_EQ(rig.List->Row(0).Artist, "Unknown");
    EXPECT_EQ(rig.List->Row(0).State, TRowState::rsRecorded);
    EXPECT_EQ(rig.Recognition->PopupEntries(0).size(), 4u);
}
