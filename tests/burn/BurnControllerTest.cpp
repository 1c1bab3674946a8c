#include "burn/TBurnController.h"
#include "burn/TFakeCdWriter.h"
#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "mocks/TNoDevices.h"
#include "settings/TOptions.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>

namespace kestrune {
namespace {

using test::TFakeBurnView;
using test::TFakeCdWriter;

constexpr long long Second = TCdFigures::PerSecond;

// What a job said, in order, as one line each.
struct TJobLog final : TJobListenerBase {
    std::vector<std::string> Lines;
    void JobStarted(TJobKind, const std::string& Title) override { Lines.push_back("started " + Title); }
    void JobFinished(TJobKind, TJobOutcome Outcome, const std::string& Reason) override
    {
        const char* names[] = {"succeeded", "failed", "cancelled"};
        Lines.push_back(std::string(names[static_cast<int>(Outcome)]) + (Reason.empty() ? "" : " " + Reason));
    }
};

struct TRig {
    test::TTempDir Dir;
    test::TNoDevices Platform;
    TPlainDispatcher Dispatcher;
    TPlainDialogs Dialogs;
    TFakeBurnView View;
    std::shared_ptr<TFakeCdWriter> Writer = std::make_shared<TFakeCdWriter>();
    TOptions Options{Dir.File("kestrune.ini"), Platform, {Dir.Path().string() + "/"}};
    std::unique_ptr<TBurnController> Burn;
    TJobLog Job;

    TRig()
    {
        Writer->Lengths = {{"/m/a.wav", 200}, {"/m/b.mp3", 100}, {"/m/c.ogg", 60}, {"/m/big.flac", 5000}};
    }
    TBurnController& Make()
    {
        Burn = std::make_unique<TBurnController>(View, Dialogs, Dispatcher, Writer, Options);
        Burn->Events().Subscribe(&Job);
        return *Burn;
    }
    // Made, scanned and idle.
    TBurnController& Ready()
    {
        Make().StartScan();
        Serve([this] { return !Burn->Scanning(); });
        return *Burn;
    }
    void Serve(const std::function<bool()>& Done)
    {
        ASSERT_TRUE(Dispatcher.WaitServing(Done, std::chrono::seconds(10)));
    }
    std::vector<std::string> Boxes(TDialogKind Kind) const
    {
        std::vector<std::string> texts;
        for (const auto& shown : Dialogs.Shown())
            if (shown.Kind == Kind)
                texts.push_back(shown.Text);
        return texts;
    }
    std::vector<std::string> Boxes() const
    {
        std::vector<std::string> texts;
        for (const auto& shown : Dialogs.Shown())
            texts.push_back(shown.Text);
        return texts;
    }
};

using TStrings = std::vector<std::string>;

// The scan runs Initialize on a thread of its own while the window says so
// and has its controls off; its end lists the drives and chooses the stored
// one, or the first when the stored one is not there.
TEST(BurnController, ScanListsTheDrivesOnItsOwnThreadAndChoosesTheStoredOne)
{
    for (const auto& [stored, expected] : std::vector<std::pair<std::string, int>>{
             {"ACME Burner 1.0", 0}, {"LITE-ON DVDRW SHW-160 KS0B", 1}, {"gone drive", 0}}) {
        TRig rig;
        rig.Writer->DriveList = {{"ACME", "Burner", "1.0", 48}, {"LITE-ON", "DVDRW SHW-160", "KS0B", 16}};
        rig.Writer->Discs = {{}, {}};
        rig.Writer->Hold = true;
        rig.Options.WriterDrive = stored;
        std::vector<std::string> mainStatus;
        rig.Make().SetMainStatus([&](const std::string& s) { mainStatus.push_back(s); });
        rig.Burn->StartScan();
        EXPECT_EQ(rig.View.Status(), "Accessing CD-drive(s). Wait, please ...");
        EXPECT_FALSE(rig.View.ControlsOn);
        EXPECT_TRUE(rig.View.Busy);
        EXPECT_TRUE(rig.Burn->WriterBusy());
        EXPECT_FALSE(rig.Burn->Available());
        rig.Burn->StartBurn();
        EXPECT_EQ(rig.Boxes(), TStrings{"The CDWriter is busy!"});
        rig.Writer->Release();
        rig.Serve([&] { return !rig.Burn->Scanning(); });

        EXPECT_NE(rig.Writer->ScanThread, std::this_thread::get_id());
        EXPECT_EQ(mainStatus, (TStrings{"Loading CD drives...", ""}));
        EXPECT_TRUE(rig.Burn->Available());
        EXPECT_EQ(rig.Burn->Drives(), (TStrings{"ACME Burner 1.0", "LITE-ON DVDRW SHW-160 KS0B"}));
        EXPECT_EQ(rig.Burn->CurrentDrive(), expected) << stored;
        EXPECT_EQ(rig.View.DriveChosen, expected);
        EXPECT_EQ(rig.Writer->CurrentDrive(), expected + 1);
        EXPECT_EQ(rig.View.Status(), "IDLE");
        EXPECT_TRUE(rig.View.ControlsOn);
        EXPECT_FALSE(rig.View.Busy);
        EXPECT_FALSE(rig.Burn->WriterBusy());
        EXPECT_EQ(rig.View.Description, "CD-R | Blank");

        // The settings window cannot take the drive from under a write.
        rig.Burn->AddFiles({"/m/a.wav"});
        rig.Burn->StartBurn();
        ASSERT_TRUE(rig.Burn->BurnStarted());
        rig.Burn->ChangeDrive(1 - expected);
        EXPECT_EQ(rig.Burn->CurrentDrive(), expected);
        EXPECT_EQ(rig.View.DriveChosen, expected);
        EXPECT_EQ(rig.Writer->CurrentDrive(), expected + 1);
    }
}

// A scan that fails, by the writer's error event or by raising, says why
// once and leaves the program without a writer; so does one that finds none.
TEST(BurnController, FailedOrEmptyScanLeavesNoWriter)
{
    struct TCase {
        const char* Name;
        bool Event;
        std::string Raise;
        bool NoDrives;
        TStrings Errors;
    };
    for (const TCase& c : std::vector<TCase>{
             {"event and raise", true, "cannot open /dev/sr0", false, {"Error: -5. Permission denied"}},
             {"raise only", false, "cannot open /dev/sr0", false, {"cannot open /dev/sr0"}},
             {"no drives", false, "", true, {}}}) {
        TRig rig;
        rig.Make();
        if (c.Event)
            rig.Writer->PostScanError = [&] {
                TFakeCdWriter& w = *rig.Writer;
                rig.Dispatcher.Post(TLifetimeToken::Unowned(), [&w] { w.Events->OnErrorEx(-5, "Permission denied"); });
            };
        rig.Writer->ScanFailure = c.Raise;
        if (c.NoDrives)
            rig.Writer->DriveList.clear();
        rig.Burn->StartScan();
        rig.Serve([&] { return !rig.Burn->Scanning(); });
        EXPECT_EQ(rig.Boxes(TDialogKind::dkError), c.Errors) << c.Name;
        EXPECT_FALSE(rig.Burn->WriterAvailable()) << c.Name;
        EXPECT_TRUE(rig.Burn->Drives().empty()) << c.Name;
        EXPECT_FALSE(rig.Burn->WriterBusy()) << c.Name;
        EXPECT_TRUE(rig.View.ControlsOn) << c.Name;
        EXPECT_FALSE(rig.View.Busy) << c.Name;
    }
}

// The speed list counts down in fours from the drive's highest speed and
// chooses the stored speed; choosing another stores it.
TEST(BurnController, SpeedListFromTheHighestSpeed)
{
    struct TCase {
        int Max;
        int Stored;
        TStrings Speeds;
        int Chosen;
    };
    for (const TCase& c : std::vector<TCase>{
             {48, 24, {"48x", "44x", "40x", "36x", "32x", "28x", "24x", "20x", "16x", "12x", "8x", "4x"}, 6},
             {16, 4, {"16x", "12x", "8x", "4x"}, 3},
             {10, 6, {"10x", "8x", "4x"}, 0},
             {4, 4, {"4x"}, 0},
             {0, 4, {}, -1}}) {
        TRig rig;
        rig.Writer->DriveList[0].MaxSpeed = c.Max;
        rig.Options.WriterSpeed = c.Stored;
        rig.Ready();
        EXPECT_EQ(rig.Burn->Speeds(), c.Speeds) << c.Max;
        EXPECT_EQ(rig.View.SpeedEntries, c.Speeds) << c.Max;
        EXPECT_EQ(rig.View.SpeedChosen, c.Chosen) << c.Max;
    }
    TRig rig;
    rig.Ready().ChangeSpeed(2);
    EXPECT_EQ(rig.Options.WriterSpeed, 40);
}

// The space line in minutes and seconds of figures rounded up, red when the
// queue does not fit; a disc that holds tracks counts only the queue as to
// be written; a missing disc empties the line and keeps the figures.
TEST(BurnController, DiscFiguresAndTheSpaceLine)
{
    struct TCase {
        const char* Name;
        TFakeCdWriter::TDisc Disc;
        TStrings Queue;
        std::string Description;
        std::string Space;
        bool Red;
    };
    for (const TCase& c : std::vector<TCase>{
             {"blank 80 minutes", {1, 1, 0, 0, 737280000}, {}, "CD-R | Blank",
              "Used space: 0:00 | To be written: 0:00 | Disc capacity: 80:03", false},
             {"capacity 0", {1, 2, 0, 0, 0}, {}, "CD-RW | Blank",
              "Used space: 0:00 | To be written: 0:00 | Disc capacity: 0:01", false},
             {"capacity 0 with a track", {1, 2, 0, 0, 0}, {"/m/c.ogg"}, "CD-RW | Blank",
              "Used space: 0:00 | To be written: 1:00 | Disc capacity: 0:01", true},
             {"open disc", {1, 1, 1, 600 * Second + 1, 1200 * Second}, {"/m/a.wav", "/m/b.mp3"}, "CD-R | Open",
              "Used space: 10:01 | To be written: 5:00 | Disc capacity: 20:00", false},
             {"just over", {1, 1, 1, 900 * Second + 1, 1200 * Second}, {"/m/a.wav", "/m/b.mp3"}, "CD-R | Open",
              "Used space: 15:01 | To be written: 5:00 | Disc capacity: 20:00", true},
             {"just fits", {1, 1, 1, 900 * Second, 1200 * Second}, {"/m/a.wav", "/m/b.mp3"}, "CD-R | Open",
              "Used space: 15:00 | To be written: 5:00 | Disc capacity: 20:00", false},
             {"closed DVD", {1, 6, 2, 0, 1200 * Second}, {}, "DVD-R | Closed",
              "Used space: 0:00 | To be written: 0:00 | Disc capacity: 20:00", false}}) {
        TRig rig;
        rig.Writer->Discs = {c.Disc};
        rig.Ready();
        rig.Burn->AddFiles(c.Queue);
        EXPECT_EQ(rig.View.Description, c.Description) << c.Name;
        EXPECT_EQ(rig.View.Space, c.Space) << c.Name;
        EXPECT_EQ(rig.View.Overfull, c.Red) << c.Name;
        EXPECT_EQ(rig.Burn->Overfull(), c.Red) << c.Name;
    }

    TRig rig;
    rig.Writer->Discs[0].Capacity = 0;
    rig.Ready().AddFiles({"/m/c.ogg"});
    ASSERT_TRUE(rig.View.Overfull);
    for (const auto& [state, text] : std::vector<std::pair<int, std::string>>{{0, "No disc"}, {2, "Unrecognized disc"}}) {
        rig.Writer->Discs[0].State = state;
        rig.Burn->RefreshDiscInfo();
        EXPECT_EQ(rig.View.Description, text);
        EXPECT_EQ(rig.View.Space, "");
        EXPECT_TRUE(rig.View.Overfull) << "the colour stays";
        EXPECT_EQ(rig.Burn->QueuedSeconds(), 60) << "the figures stay";
        EXPECT_EQ(rig.Burn->CapacitySeconds(), 1);
        EXPECT_EQ(rig.View.Status(), "IDLE");
    }
}

// Adding files: a row each, its duration the growth of "To be written";
// a file the writer cannot read is named in one warning and left out;
// deleting the second row takes the second track out of the writer's queue.
TEST(BurnController, QueueRowsFollowTheWritersQueue)
{
    TRig rig;
    rig.Ready();
    ASSERT_TRUE(rig.Burn->CanAddFiles());
    rig.Burn->AddFiles({"/m/a.wav", "/m/missing.wav", "/m/b.mp3", "/m/x.txt", "/m/c.ogg"});
    EXPECT_EQ(rig.View.Rows, (std::vector<TBurnRow>{{".WAV", "/m/a.wav", "03:20"},
                                                    {".MP3", "/m/b.mp3", "01:40"},
                                                    {".OGG", "/m/c.ogg", "01:00"}}));
    EXPECT_EQ(rig.Writer->Queue, (TStrings{"/m/a.wav", "/m/b.mp3", "/m/c.ogg"}));
    EXPECT_EQ(rig.Boxes(TDialogKind::dkWarning),
              TStrings{"These files cannot be written to a CD and were left out:\n"
                       "/m/missing.wav: not an audio file we can read\n/m/x.txt: not an audio file we can read"});
    EXPECT_EQ(rig.Burn->QueuedSeconds(), 360);

    rig.Burn->DeleteRow(1);
    EXPECT_EQ(rig.Writer->Queue, (TStrings{"/m/a.wav", "/m/c.ogg"}));
    EXPECT_EQ(rig.View.Rows.size(), 2u);
    EXPECT_EQ(rig.View.Rows[1].Name, "/m/c.ogg");
    EXPECT_EQ(rig.View.Space, "Used space: 0:00 | To be written: 4:20 | Disc capacity: 80:00");

    // The main window's Burn: the queue becomes its recordings, the type in
    // the file's own letter case.
    rig.Burn->LoadQueue({"/m/b.mp3", "/m/c.ogg"});
    EXPECT_EQ(rig.View.Rows, (std::vector<TBurnRow>{{".mp3", "/m/b.mp3", ""}, {".ogg", "/m/c.ogg", ""}}));
    EXPECT_EQ(rig.Writer->Queue, (TStrings{"/m/b.mp3", "/m/c.ogg"}));
    EXPECT_EQ(rig.Burn->QueuedSeconds(), 160);

    rig.Burn->ClearAll();
    EXPECT_TRUE(rig.View.Rows.empty());
    EXPECT_TRUE(rig.Writer->Queue.empty());
    EXPECT_EQ(rig.Burn->QueuedSeconds(), 0);

    rig.Writer->Discs[0].State = 0;
    rig.Burn->RefreshDiscInfo();
    EXPECT_FALSE(rig.Burn->CanAddFiles());
    EXPECT_EQ(rig.Boxes(TDialogKind::dkWarning).back(), "Please insert a valid disc");
}

// Every check of "BURN CD!" that refuses: its warning, nothing written, the
// window idle; once the cause is gone the next click writes.
TEST(BurnController, BurnChecksRefuseWithTheirTexts)
{
    struct TCase {
        const char* Name;
        TStrings Queue;
        std::function<void(TFakeCdWriter::TDisc&)> Change;
        std::string Warning;
    };
    for (const TCase& c : std::vector<TCase>{
             {"empty queue", {}, nullptr, "Please add at least a track to write!"},
             {"too big", {"/m/big.flac"}, nullptr,
              "The disk capacity is smaller then needed! \r\nPlease delete some files or insert a bigger disk."},
             {"no disc", {"/m/a.wav"}, [](auto& d) { d.State = 0; },
              "There is no disc in the drive! Please insert a CD-R or CD-RW disc"},
             {"DVD", {"/m/a.wav"}, [](auto& d) { d.Type = 7; },
              "Disc is not writable by this control! Please insert a CD-R or CD-RW disc"},
             {"closed", {"/m/a.wav"}, [](auto& d) { d.Status = 2; },
              "Disc is closed or not writable! Please insert a writable CD-R or CD-RW disc"}}) {
        TRig rig;
        rig.Ready().AddFiles(c.Queue);
        if (c.Change)
            c.Change(rig.Writer->Discs[0]);
        rig.Burn->StartBurn();
        EXPECT_EQ(rig.Boxes(), TStrings{c.Warning}) << c.Name;
        EXPECT_EQ(rig.Writer->Writes, 0) << c.Name;
        EXPECT_FALSE(rig.Burn->BurnStarted()) << c.Name;
        EXPECT_FALSE(rig.Burn->WriterBusy()) << c.Name;
        EXPECT_EQ(rig.View.BurnCaption, "BURN CD!") << c.Name;
        EXPECT_FALSE(rig.View.ProgressShown) << c.Name;
        EXPECT_TRUE(rig.View.ControlsOn) << c.Name;

        rig.Writer->Discs[0] = {};
        if (c.Queue.empty() || c.Queue[0] == "/m/big.flac")
            rig.Burn->LoadQueue({"/m/a.wav"});
        rig.Burn->StartBurn();
        EXPECT_EQ(rig.Writer->Writes, 1) << c.Name;
        EXPECT_TRUE(rig.Burn->BurnStarted()) << c.Name;
    }
}

// A write: the settings go to the writer, the status names the method, the
// phases name the file written track by track or the session otherwise, and
// the end empties both queues with "Writing completed!".
TEST(BurnController, WriteRunsThroughItsPhasesToCompletion)
{
    struct TCase {
        int OptionsMethod;
        int DriveMethod;
        int WriterMethod;
        std::string Status;
        TStrings Phases;
    };
    for (const TCase& c : std::vector<TCase>{
             {1, 0, 1, "Write (Track-At-Once)",
              {"Analysing: /m/b.mp3", "Reading: /m/b.mp3", "Writing: /m/b.mp3", "Closing: /m/b.mp3"}},
             {2, 0, 2, "Write (Disc-At-Once)",
              {"Analysing: /m/b.mp3", "Caching files to the memory", "Writing: Audio session", "Closing: /m/b.mp3"}},
             {3, 0, 2, "Write (Session-At-Once)",
              {"Analysing: /m/b.mp3", "Caching files to the memory", "Writing: Audio session", "Closing: /m/b.mp3"}},
             {2, 3, 2, "Write (current drive write method set to METHOD 3)",
              {"Analysing: /m/b.mp3", "Caching files to the memory", "Writing: Audio session", "Closing: /m/b.mp3"}}}) {
        TRig rig;
        rig.Options.WriterMethod = c.OptionsMethod;
        rig.Options.WriterSpeed = 16;
        rig.Options.CloseAtEnd = false;
        rig.Writer->DriveMethod = c.DriveMethod;
        rig.Ready().AddFiles({"/m/a.wav", "/m/b.mp3"});
        rig.Burn->StartBurn();
        EXPECT_EQ(rig.Writer->Method, c.WriterMethod);
        EXPECT_EQ(rig.Writer->Speed, 16);
        EXPECT_FALSE(rig.Writer->Close);
        EXPECT_EQ(rig.View.Status(), c.Status);
        EXPECT_EQ(rig.View.BurnCaption, "STOP");
        EXPECT_TRUE(rig.View.BurnEnabled);
        EXPECT_FALSE(rig.View.ControlsOn);
        EXPECT_TRUE(rig.View.ProgressShown);
        EXPECT_EQ(rig.Writer->WrittenQueue, (TStrings{"/m/a.wav", "/m/b.mp3"}));

        rig.Writer->Item = "/m/b.mp3";
        TStrings phases;
        for (int phase = 0; phase < 4; ++phase) {
            rig.Writer->Phase = phase;
            rig.Writer->Events->OnOperationProgress(20 + phase * 10);
            phases.push_back(rig.View.Status());
            EXPECT_EQ(rig.View.Percent, 20 + phase * 10);
        }
        EXPECT_EQ(phases, c.Phases);
        // A media change while writing does not read the disc under the write.
        const int refreshes = rig.Writer->Refreshes;
        rig.Writer->Events->OnMediaChange();
        EXPECT_EQ(rig.Writer->Refreshes, refreshes);

        rig.Writer->Operation = ICdWriter::opFinalise;
        rig.Writer->Events->OnOperationProgress(40);
        EXPECT_EQ(rig.View.Status(), "Finalising CD. Please wait...");
        EXPECT_EQ(rig.View.Percent, 100);
        EXPECT_TRUE(rig.Boxes().empty());
        rig.Writer->Events->OnOperationProgress(100);
        EXPECT_EQ(rig.Boxes(TDialogKind::dkInformation), TStrings{"Writing completed!"});
        EXPECT_TRUE(rig.Writer->Queue.empty());
        EXPECT_TRUE(rig.View.Rows.empty());
        EXPECT_FALSE(rig.Burn->BurnStarted());
        EXPECT_FALSE(rig.Burn->WriterBusy());
        EXPECT_EQ(rig.View.BurnCaption, "BURN CD!");
        EXPECT_TRUE(rig.View.ControlsOn);
        EXPECT_FALSE(rig.View.ProgressShown);
        EXPECT_EQ(rig.View.Status(), "IDLE");
        EXPECT_EQ(rig.Job.Lines, (TStrings{"started " + c.Status, "succeeded"}));
    }
}

// STOP returns to idle at once and keeps the queue; the writer's report of
// the cancel that follows shows nothing and does not touch the next write.
TEST(BurnController, StopCancelsAndTheLateReportIsQuiet)
{
    TRig rig;
    rig.Ready().AddFiles({"/m/a.wav"});
    rig.Burn->StartBurn();
    rig.Burn->StartBurn();
    EXPECT_EQ(rig.Writer->Cancels, 1);
    EXPECT_EQ(rig.View.Statuses.back(), "IDLE");
    EXPECT_EQ(rig.View.Statuses[rig.View.Statuses.size() - 2], "Canceling...");
    EXPECT_FALSE(rig.Burn->BurnStarted());
    EXPECT_FALSE(rig.Burn->WriterBusy());
    EXPECT_EQ(rig.View.BurnCaption, "BURN CD!");
    EXPECT_TRUE(rig.View.ControlsOn);
    EXPECT_FALSE(rig.View.ProgressShown);
    EXPECT_EQ(rig.Writer->Queue, TStrings{"/m/a.wav"});
    EXPECT_EQ(rig.Job.Lines.back(), "cancelled");

    rig.Burn->StartBurn();
    ASSERT_TRUE(rig.Burn->BurnStarted());
    rig.Writer->Events->OnErrorEx(ICdWriter::ecCancelled, "cancelled");
    EXPECT_TRUE(rig.Burn->BurnStarted()) << "the stopped write's report ended the new one";
    EXPECT_TRUE(rig.Boxes().empty());
}

// The writer's errors: -101 and -104 return to idle without a message, any
// other code shows "Error: " with the code and the writer's words; an erase
// error adds its own warning.
TEST(BurnController, WriterErrorsReturnToIdle)
{
    struct TCase {
        bool Erase;
        int Code;
        TStrings Boxes;
        std::string Job;
    };
    for (const TCase& c : std::vector<TCase>{
             {false, -101, {}, "cancelled"},
             {false, -104, {}, "failed the disc was taken out"},
             {false, -7, {"Error: -7. the disc was taken out"}, "failed the disc was taken out"},
             {true, -7, {"Error: -7. the disc was taken out", "Error Erasing Disc"}, "failed the disc was taken out"}}) {
        TRig rig;
        rig.Writer->Discs[0].Type = 2;
        rig.Ready().AddFiles({"/m/a.wav"});
        if (c.Erase)
            rig.Burn->QuickErase();
        else
            rig.Burn->StartBurn();
        ASSERT_TRUE(rig.Burn->WriterBusy());
        rig.Writer->Events->OnErrorEx(c.Code, "the disc was taken out");
        EXPECT_EQ(rig.Boxes(), c.Boxes) << c.Code;
        EXPECT_EQ(rig.Job.Lines.back(), c.Job) << c.Code;
        EXPECT_FALSE(rig.Burn->WriterBusy());
        EXPECT_FALSE(rig.Burn->BurnStarted());
        EXPECT_EQ(rig.View.BurnCaption, "BURN CD!");
        EXPECT_TRUE(rig.View.BurnEnabled);
        EXPECT_TRUE(rig.View.ControlsOn);
        EXPECT_FALSE(rig.View.ProgressShown);
        EXPECT_EQ(rig.View.Status(), "IDLE");
        EXPECT_EQ(rig.Writer->Queue, TStrings{"/m/a.wav"});
    }

    // A writer that refuses the job when asked: its reason, plainly.
    TRig rig;
    rig.Writer->WriteFailure = "audio track prohibited by non-CD";
    rig.Ready().AddFiles({"/m/a.wav"});
    rig.Burn->StartBurn();
    EXPECT_EQ(rig.Boxes(), TStrings{"audio track prohibited by non-CD"});
    EXPECT_EQ(rig.Job.Lines.back(), "failed audio track prohibited by non-CD");
    EXPECT_FALSE(rig.Burn->WriterBusy());
    EXPECT_EQ(rig.View.Status(), "IDLE");
}

// A medium of none of the known kinds (the file behind a pseudo-drive) goes
// by the drive's name for it, takes a queue, and is left to the drive to
// judge: the drive's refusal is the write's error, shown with its reason,
// and the window is idle again. Erasing it gets the plain warning.
TEST(BurnController, AMediumOfAnotherKindIsJudgedByTheDrive)
{
    TRig rig;
    rig.Writer->Discs[0] = {1, -1, 0, 0, 90 * 60 * Second};
    rig.Writer->MediaNames[1] = "stdio file";
    rig.Ready();
    EXPECT_EQ(rig.View.Description, "stdio file | Blank");
    ASSERT_TRUE(rig.Burn->CanAddFiles());
    rig.Burn->AddFiles({"/m/a.wav"});
    EXPECT_EQ(rig.View.Space, "Used space: 0:00 | To be written: 3:20 | Disc capacity: 90:00");

    rig.Burn->StartBurn();
    EXPECT_EQ(rig.Writer->Writes, 1);
    ASSERT_TRUE(rig.Burn->BurnStarted());
    rig.Writer->Events->OnErrorEx(ICdWriter::ecRefused,
                                  "The drive refuses this job: audio track prohibited by non-CD.");
    EXPECT_EQ(rig.Boxes(), TStrings{"Error: -102. The drive refuses this job: audio track prohibited by non-CD."});
    EXPECT_EQ(rig.Job.Lines.back(), "failed The drive refuses this job: audio track prohibited by non-CD.");
    EXPECT_FALSE(rig.Burn->BurnStarted());
    EXPECT_FALSE(rig.Burn->WriterBusy());
    EXPECT_EQ(rig.View.BurnCaption, "BURN CD!");
    EXPECT_TRUE(rig.View.ControlsOn);
    EXPECT_EQ(rig.View.Status(), "IDLE");
    EXPECT_EQ(rig.Writer->Queue, TStrings{"/m/a.wav"});

    rig.Burn->QuickErase();
    EXPECT_EQ(rig.Boxes().back(), "Disc is not erasable by this control! Please insert a CD-RW disc");
    EXPECT_EQ(rig.Writer->Erases, 0);
}

// Quick erase: only a CD-RW, the burn button off while it runs, and
// "Erasing Completed" at 100.
TEST(BurnController, QuickEraseOnlyACdRw)
{
    TRig rig;
    rig.Ready();
    rig.Burn->QuickErase();
    EXPECT_EQ(rig.Boxes(), TStrings{"Disc is not erasable by this control! Please insert a CD-RW disc"});
    EXPECT_EQ(rig.Writer->Erases, 0);

    rig.Writer->Discs[0] = {1, 2, 2, 4000 * Second, 4800 * Second};
    rig.Burn->QuickErase();
    EXPECT_EQ(rig.Writer->Erases, 1);
    EXPECT_EQ(rig.View.Status(), "Erasing Disc...");
    EXPECT_FALSE(rig.View.BurnEnabled);
    EXPECT_FALSE(rig.View.ControlsOn);
    EXPECT_TRUE(rig.Burn->WriterBusy());
    rig.Burn->QuickErase();
    rig.Burn->AddFiles({"/m/a.wav"});
    EXPECT_EQ(rig.Boxes(TDialogKind::dkWarning).size(), 3u);
    EXPECT_EQ(rig.Boxes(TDialogKind::dkWarning).back(), "The CDWriter is busy!");

    rig.Writer->Events->OnOperationProgress(60);
    EXPECT_EQ(rig.View.Percent, 60);
    EXPECT_TRUE(rig.Burn->WriterBusy());
    rig.Writer->Discs[0] = {1, 2, 0, 0, 4800 * Second};
    rig.Writer->Events->OnOperationProgress(100);
    EXPECT_EQ(rig.Boxes(TDialogKind::dkInformation), TStrings{"Erasing Completed"});
    EXPECT_FALSE(rig.Burn->WriterBusy());
    EXPECT_TRUE(rig.View.BurnEnabled);
    EXPECT_TRUE(rig.View.ControlsOn);
    EXPECT_FALSE(rig.View.ProgressShown);
    EXPECT_EQ(rig.View.Description, "CD-RW | Blank");
    EXPECT_EQ(rig.Job.Lines, (TStrings{"started Erasing Disc...", "succeeded"}));
}

// The main window's recordings as the automatic mode sees them.
struct TFakeRecordings final : IAutoWriteRecordings {
    struct TRow {
        std::string Name;
        int Seconds = 0;
        bool Handled = false;
    };
    std::vector<TRow> Rows;
    bool Recording = true;
    int LastFinishedRow() const override
    {
        return static_cast<int>(Rows.size()) - (Recording ? 2 : 1);
    }
    std::string FileName(int Row) const override { return At(Row).Name; }
    int DurationSeconds(int Row) const override { return At(Row).Seconds; }
    bool Handled(int Row) const override { return At(Row).Handled; }
    void MarkHandled(int Row) override { Rows.at(static_cast<std::size_t>(Row)).Handled = true; }
    const TRow& At(int Row) const { return Rows.at(static_cast<std::size_t>(Row)); }
};

// The automatic mode: each finished recording is queued until the next
// would not fit; then what is queued is burnt, and once it is written (the
// window hidden) the recordings made meanwhile go on the next disc. Every
// recording lands in exactly one burnt queue, in order.
TEST(BurnController, AutomaticModeWritesEveryRecordingOnceInOrder)
{
    TRig rig;
    rig.View.IsShown = false;
    rig.Writer->Discs[0].Capacity = 10 * 60 * Second;
    TFakeRecordings recordings;
    rig.Ready().SetRecordings(&recordings);
    std::vector<TStrings> discs;
    const int lengths[] = {200, 250, 100, 300, 280, 90, 330, 120};
    auto finish = [&](int row) {
        const std::string name = "/r/Track" + std::to_string(row) + ".WAV";
        rig.Writer->Lengths[name] = lengths[row];
        recordings.Rows.push_back({name, lengths[row]});
        rig.Burn->OfferTrack(row);                  // as the recorder offers it
        recordings.Rows.push_back({"/r/next", 0}); // the next track being recorded
    };
    auto complete = [&] {
        discs.push_back(rig.Writer->WrittenQueue);
        rig.Writer->Complete();
    };
    for (int row = 0; row < 3; ++row) {
        finish(row);
        recordings.Rows.pop_back();
    }
    EXPECT_EQ(rig.Writer->Writes, 0);
    EXPECT_EQ(rig.View.Rows.size(), 3u);
    finish(3); // 550 s queued, 300 more do not fit on 600
    recordings.Rows.pop_back();
    EXPECT_EQ(rig.Writer->Writes, 1);
    EXPECT_EQ(rig.Burn->FirstUnwrittenRow(), 3);
    // Finished while the first disc burns: they wait.
    finish(4);
    recordings.Rows.pop_back();
    finish(5);
    EXPECT_EQ(rig.Writer->Queue.size(), 3u);
    complete(); // Track3 and 4 queued; Track5 does not fit (670 > 600): 3 and 4 burn
    EXPECT_EQ(rig.Writer->Writes, 2);
    EXPECT_EQ(rig.Burn->FirstUnwrittenRow(), 5);
    complete(); // the walk after it queues Track5 on the third disc
    recordings.Rows.pop_back();
    finish(6);
    recordings.Rows.pop_back();
    recordings.Recording = false;
    finish(7);
    recordings.Rows.pop_back();
    EXPECT_EQ(rig.Writer->Queue,
              (TStrings{"/r/Track5.WAV", "/r/Track6.WAV", "/r/Track7.WAV"}));
    rig.Burn->StartBurn();
    complete();

    EXPECT_EQ(discs, (std::vector<TStrings>{{"/r/Track0.WAV", "/r/Track1.WAV", "/r/Track2.WAV"},
                                            {"/r/Track3.WAV", "/r/Track4.WAV"},
                                            {"/r/Track5.WAV", "/r/Track6.WAV", "/r/Track7.WAV"}}));
    EXPECT_EQ(rig.Boxes(TDialogKind::dkInformation).size(), 3u);
    EXPECT_TRUE(rig.Boxes(TDialogKind::dkWarning).empty());
}

// A disc that cannot take the burn (closed, with nobody there to change it)
// keeps the recordings waiting instead of passing them by; one longer than
// any disc is named and left for writing by hand.
TEST(BurnController, AutomaticModeKeepsRecordingsWhileTheDiscCannotTakeThem)
{
    TRig rig;
    rig.View.IsShown = false;
    rig.Writer->Discs[0].Capacity = 10 * 60 * Second;
    TFakeRecordings recordings;
    recordings.Recording = false;
    rig.Ready().SetRecordings(&recordings);
    rig.Writer->Lengths = {{"/r/0", 400}, {"/r/1", 300}, {"/r/2", 100}, {"/r/3", 900}, {"/r/4", 50}};
    recordings.Rows = {{"/r/0", 400}};
    rig.Burn->OfferTrack(0);
    rig.Writer->Discs[0].Status = 2; // closed behind our back
    recordings.Rows.push_back({"/r/1", 300});
    rig.Burn->OfferTrack(1);
    EXPECT_EQ(rig.Writer->Writes, 0);
    EXPECT_EQ(rig.Boxes(TDialogKind::dkWarning),
              TStrings{"Disc is closed or not writable! Please insert a writable CD-R or CD-RW disc"});
    EXPECT_EQ(rig.Burn->FirstUnwrittenRow(), 1);
    recordings.Rows.push_back({"/r/2", 100});
    rig.Writer->Discs[0].Status = 0; // a fresh disc
    rig.Burn->OfferTrack(2);
    EXPECT_EQ(rig.Writer->Writes, 1);
    EXPECT_EQ(rig.Writer->WrittenQueue, TStrings{"/r/0"});
    rig.Writer->Complete();
    EXPECT_EQ(rig.Writer->Queue, (TStrings{"/r/1", "/r/2"}));

    recordings.Rows.push_back({"/r/3", 900});
    recordings.Rows.push_back({"/r/4", 50});
    rig.Burn->LoadQueue({});
    rig.Burn->OfferTrack(4);
    EXPECT_EQ(rig.Writer->Queue, (TStrings{"/r/4"}));
    EXPECT_EQ(rig.Boxes(TDialogKind::dkWarning).back(),
              "This file cannot be written to a CD and was left out:\n/r/3: longer than the disc holds");
}

// Rows of the recordings list may be deleted or moved while the mode runs:
// what was queued is known by the recording, not by its row, so nothing is
// passed by and nothing queued twice.
TEST(BurnController, AutomaticModeFollowsRecordingsThroughDeletedAndMovedRows)
{
    TRig rig;
    rig.View.IsShown = false;
    rig.Writer->Discs[0].Capacity = 10 * 60 * Second;
    TFakeRecordings recordings;
    recordings.Recording = false;
    rig.Ready().SetRecordings(&recordings);
    rig.Writer->Lengths = {{"/r/a", 100}, {"/r/b", 100}, {"/r/c", 100}, {"/r/d", 100}};
    recordings.Rows = {{"/r/a", 100}, {"/r/b", 100}};
    rig.Burn->OfferTrack(1);
    EXPECT_EQ(rig.Burn->FirstUnwrittenRow(), 2);
    recordings.Rows.erase(recordings.Rows.begin()); // "/r/a" deleted from the list
    recordings.Rows.push_back({"/r/c", 100});
    rig.Burn->OfferTrack(1);
    EXPECT_EQ(rig.Writer->Queue, (TStrings{"/r/a", "/r/b", "/r/c"}));
    std::swap(recordings.Rows[0], recordings.Rows[1]); // "/r/c" moved up
    recordings.Rows.push_back({"/r/d", 100});
    rig.Burn->OfferTrack(2);
    EXPECT_EQ(rig.Writer->Queue, (TStrings{"/r/a", "/r/b", "/r/c", "/r/d"}));
    EXPECT_EQ(rig.Burn->FirstUnwrittenRow(), 3);
}

// The controller can go while its scan still runs: the scan's end is
// dropped, nothing touches the dead controller.
TEST(BurnController, DestroyedDuringTheScan)
{
    TRig rig;
    rig.Writer->Hold = true;
    rig.Make().StartScan();
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        rig.Writer->Release();
    });
    rig.Burn.reset();
    release.join();
    // The scan's end was posted, and is dropped (ASan and TSan watch it).
    EXPECT_EQ(rig.Dispatcher.ProcessPending(), 1);
    EXPECT_EQ(rig.Writer->Events, nullptr);
}

} // namespace
} // namespace kestrune
