#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "mocks/TFakeMainView.h"
#include "mocks/TNoDevices.h"
#include "recognition/TFakeLookupService.h"
#include "recording/TRecognitionController.h"
#include "recording/TRecorder.h"
#include "recording/TSessionGuard.h"
#include "settings/TOptions.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

using namespace kestrune;
using namespace kestrune::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// The desktop session as a log of what it was asked, in order.
struct TFakeSession final : IDesktopSession {
    void Inhibit(const std::string& Reason) override
    {
        Calls.push_back("inhibit " + Reason);
        Held = true;
    }
    void Release() override
    {
        Calls.push_back("release");
        Held = false;
    }
    bool Inhibited() const override { return Held; }
    void Notify(std::uint64_t Key, const std::string& Summary, const std::string& Body) override
    {
        Calls.push_back("notify " + std::to_string(Key) + " " + Summary + " | " + Body);
    }
    std::vector<std::string> Calls;
    bool Held = false;
};

// Songs of the given seconds (a loud tone; false is a quiet gap).
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

// A recorder reading a file as its device, with recognition against the fake
// service when asked, and the guard on a fake session.
struct TRig {
    TFakeLookupService Service;
    TTempDir Dir;
    TNoDevices Platform;
    TPlainDispatcher Dispatcher;
    TPlainDialogs Dialogs;
    TFakeMainView View;
    TFakeSession Session;
    std::unique_ptr<TOptions> Options;
    std::unique_ptr<TRecordingsList> List;
    std::unique_ptr<TRecognitionController> Recognition;
    std::unique_ptr<TRecorder> Recorder;
    std::unique_ptr<TSessionGuard> Guard;
    int CommandLineTold = 0;

    explicit TRig(const std::vector<std::int16_t>& Capture, bool Recognise = false)
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
        Options->RecognitionKey = "key";
        List = std::make_unique<TRecordingsList>(View);
        Recognition = std::make_unique<TRecognitionController>(*List, Dispatcher);
        // The command line's callback: the guard must not take it away.
        Recognition->OnRowRecognised = [this](int) { ++CommandLineTold; };
        if (Recognise) {
            TRecognitionSettings settings = TRecognitionController::SettingsFrom(*Options);
            settings.Timeout = 3s;
            Recognition->Open(settings);
        }
        Recorder = std::make_unique<TRecorder>(*Options, *List, View, Dialogs, Dispatcher);
        Recorder->SetRecognition(Recognition.get());
        Recorder->AudioIn1().SetRealTime(false);
        Recorder->SetAlbumName("Live");
        Guard = std::make_unique<TSessionGuard>(*Recorder, *Recognition, *List, Session);
    }

    void Record()
    {
        Recorder->StartRecording();
        ASSERT_TRUE(Dispatcher.WaitServing([&] { return !Recorder->Recording(); }, 60s));
    }

    std::string Album() const { return Options->Folder + "Live"; }
};

const auto ThreeSongsOneTooShort =
    Program({{0.5, false}, {3, true}, {1.5, false}, {1, true}, {1.5, false}, {4, true}}, 22050);

} // namespace

// Awake from the start to the end of the recording; each kept track is
// announced once, a dropped one never.
TEST(SessionGuard, KeepsTheSessionAwakeWhileRecordingAndAnnouncesKeptTracks)
{
    TRig rig(ThreeSongsOneTooShort);
    rig.Record();
    const std::vector<std::string> expected{
        "inhibit Recording...",
        "notify 1 Track0.WAV | Recorded, 00:03",
        "notify 2 Track1.WAV | Recorded, 00:04",
        "release",
    };
    EXPECT_EQ(rig.Session.Calls, expected);

    // A second recording announces only its own tracks, under new keys.
    rig.Session.Calls.clear();
    WriteWholeFile(rig.Dir.File("again.wav"), PcmWavImage(ThreeSongsOneTooShort, 2, 22050));
    rig.Options->DriverNames = {"virtual:" + rig.Dir.File("again.wav")};
    rig.Record();
    ASSERT_EQ(rig.List->Count(), 4);
    const std::vector<std::string> again{
        "inhibit Recording...",
        "notify 3 Track2.WAV | Recorded, 00:03",
        "notify 4 Track3.WAV | Recorded, 00:04",
        "release",
    };
    EXPECT_EQ(rig.Session.Calls, again);
}

// However the recording ends, the session is let go.
TEST(SessionGuard, ReleasesOnStopAndOnEveryFailure)
{
    struct TCase {
        const char* Name;
        std::function<void(TRig&)> Arrange;
        bool StopAtOnce;
        TJobOutcome Outcome;
    };
    const std::vector<TCase> cases{
        {"stopped by the user", [](TRig&) {}, true, TJobOutcome::joSucceeded},
        {"device that cannot be opened",
         [](TRig& Rig) { Rig.Options->DriverNames = {"virtual:" + Rig.Dir.File("missing.wav")}; }, false,
         TJobOutcome::joFailed},
        {"track file that cannot be created",
         [](TRig& Rig) {
             fs::create_directories(Rig.Album());
             fs::create_symlink(Rig.Dir.File("no/such/folder/x.wav"), Rig.Album() + "/Track1.WAV");
         },
         false, TJobOutcome::joFailed},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TRig rig(ThreeSongsOneTooShort);
        rig.Recorder->Job().Subscribe(&rig.View);
        c.Arrange(rig);
        rig.Recorder->StartRecording();
        if (c.StopAtOnce) {
            EXPECT_TRUE(rig.Session.Inhibited());
            rig.Recorder->StopRecording();
        }
        ASSERT_TRUE(rig.Dispatcher.WaitServing([&] { return !rig.Recorder->Recording(); }, 60s));
        EXPECT_EQ(rig.View.Outcomes, std::vector<TJobOutcome>{c.Outcome});
        ASSERT_FALSE(rig.Session.Calls.empty());
        EXPECT_EQ(rig.Session.Calls.front(), "inhibit Recording...");
        EXPECT_EQ(rig.Session.Calls.back(), "release");
        EXPECT_FALSE(rig.Session.Inhibited());
    }
}

// A recognised track's note is replaced (same key) by one with its title;
// "Unknown" leaves the note as it was; the command line is still told.
TEST(SessionGuard, RecognisedTrackReplacesItsNotification)
{
    TRig rig(Program({{3, true}, {1.5, false}, {4, true}}, 22050), true);
    ASSERT_TRUE(rig.Recognition->ClientOpen());
    rig.Service.SetAnswer([](const TFakeLookupService::TRequest& R) {
        const std::string d = R.Fields.count("duration") ? R.Fields.at("duration") : "?";
        if (d == "4")
            return TFakeLookupService::TAnswer{200, TFakeLookupService::Matches({})};
        return TFakeLookupService::TAnswer{200, TFakeLookupService::Matches({{"Song " + d, "Band " + d, "LP"}})};
    });
    rig.Record();
    ASSERT_TRUE(rig.Recognition->WaitForWorkers(20s));
    ASSERT_EQ(rig.List->Count(), 2);
    EXPECT_EQ(rig.List->Row(1).Artist, "Unknown");
    EXPECT_EQ(rig.CommandLineTold, 2);
    // The first track may be recognised before or after the second is
    // finished; its replacement always follows its own note.
    const auto at = [&](const std::string& Call) {
        return std::find(rig.Session.Calls.begin(), rig.Session.Calls.end(), Call) - rig.Session.Calls.begin();
    };
    ASSERT_EQ(rig.Session.Calls.size(), 5u);
    EXPECT_EQ(rig.Session.Calls.front(), "inhibit Recording...");
    EXPECT_LT(at("notify 1 Track0.WAV | Recorded, 00:03"), at("notify 1 Song 3 | Band 3 - LP, 00:03"));
    EXPECT_LT(at("notify 1 Song 3 | Band 3 - LP, 00:03"), 5);
    EXPECT_LT(at("notify 1 Track0.WAV | Recorded, 00:03"), at("notify 2 Track1.WAV | Recorded, 00:04"));
    EXPECT_LT(at("notify 2 Track1.WAV | Recorded, 00:04"), at("release"));
    EXPECT_LT(at("release"), 5);
}

// Built while a recording runs, the guard keeps the session awake at once;
// gone before the recording ends, it lets the session go and hears nothing
// more.
TEST(SessionGuard, BuiltOrDestroyedDuringARecording)
{
    TRig rig(ThreeSongsOneTooShort);
    rig.Guard.reset();
    rig.Recorder->StartRecording();
    rig.Guard = std::make_unique<TSessionGuard>(*rig.Recorder, *rig.Recognition, *rig.List, rig.Session);
    EXPECT_TRUE(rig.Session.Inhibited());
    rig.Guard.reset();
    EXPECT_FALSE(rig.Session.Inhibited());
    const auto calls = rig.Session.Calls;
    ASSERT_TRUE(rig.Dispatcher.WaitServing([&] { return !rig.Recorder->Recording(); }, 60s));
    EXPECT_EQ(rig.Session.Calls, calls);
    EXPECT_GT(rig.List->Count(), 0);
}

// Listeners to recognised rows come and go without disturbing each other or
// the one callback; one may leave while it is told.
TEST(SessionGuard, RecognisedRowListeners)
{
    TRig rig(ThreeSongsOneTooShort);
    rig.Guard.reset();
    rig.Record();
    ASSERT_EQ(rig.List->Count(), 2);
    std::vector<std::string> told;
    int once = 0;
    once = rig.Recognition->AddRowRecognisedListener([&](int Row) {
        told.push_back("once " + std::to_string(Row));
        rig.Recognition->RemoveRowRecognisedListener(once);
    });
    const int every =
        rig.Recognition->AddRowRecognisedListener([&](int Row) { told.push_back("every " + std::to_string(Row)); });
    // Rows without a fingerprint end as "Unknown" at once, and are told.
    rig.Recognition->StartRecognition(0);
    rig.Recognition->StartRecognition(1);
    rig.Recognition->RemoveRowRecognisedListener(every);
    rig.Recognition->StartRecognition(0);
    const std::vector<std::string> expected{"once 0", "every 0", "every 1"};
    EXPECT_EQ(told, expected);
    EXPECT_EQ(rig.CommandLineTold, 3);
}
