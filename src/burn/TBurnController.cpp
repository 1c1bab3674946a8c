#include "burn/TBurnController.h"

#include "burn/TCdFigures.h"
#include "common/MediaKinds.h"
#include "settings/TOptions.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <utility>

namespace kestrune {

namespace {

constexpr const char* IdleText = "IDLE";
constexpr const char* BurnCaption = "BURN CD!";
constexpr const char* StopCaption = "STOP";
constexpr const char* BusyText = "The CDWriter is busy!";
constexpr const char* NoValidDiscText = "Please insert a valid disc";
constexpr const char* NoDiscText = "No disc";
constexpr const char* UnrecognizedText = "Unrecognized disc";

// What a figure of the writer's is in whole seconds, rounded up as the space
// line shows it. A negative figure (a writer that reports nothing) is none.
int SecondsOf(double Figure)
{
    if (Figure <= 0)
        return 0;
    return static_cast<int>(TCdFigures::SecondsOfFigure(static_cast<std::int64_t>(Figure + 0.5)));
}

// "80:3": minutes and seconds without leading zeros.
// "80:00": minutes, and seconds with two digits, as every player shows a time.
std::string SpaceTime(int Seconds)
{
    const int seconds = Seconds % 60;
    return std::to_string(Seconds / 60) + (seconds < 10 ? ":0" : ":") + std::to_string(seconds);
}

// "03:25": each part with at least two digits.
std::string RowTime(int Seconds)
{
    auto two = [](int v) { return v < 10 ? "0" + std::to_string(v) : std::to_string(v); };
    return two(Seconds / 60) + ":" + two(Seconds % 60);
}

std::string Extension(const std::string& FileName, bool Upper)
{
    std::string ext = std::filesystem::path(FileName).extension().string();
    if (Upper)
        std::transform(ext.begin(), ext.end(), ext.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return ext;
}

std::string MediaName(int Type)
{
    const std::string name = MediaKindName(Type);
    return name.empty() ? "Unknown" : name;
}

std::string StatusName(int Status)
{
    static const char* const names[] = {"Blank", "Open", "Closed", "Unknown"};
    return Status >= 0 && Status < 4 ? names[Status] : "Unknown";
}

// The write method the writer gets for the settings' choice: 1 Track at
// Once, 2 Disc at Once, 3 Session at Once. A single audio session written
// at once is what a disc at once is, so 3 asks the writer for the same.
int WriterMethodOf(int OptionsMethod)
{
    switch (OptionsMethod) {
    case 1:
        return 1;
    case 2:
    case 3:
        return 2;
    default:
        return 0;
    }
}

std::string WriteStatus(int DriveMethod, int Method, int OptionsMethod)
{
    if (DriveMethod != 0)
        return "Write (current drive write method set to METHOD " + std::to_string(DriveMethod) + ")";
    switch (Method) {
    case 1:
        return "Write (Track-At-Once)";
    case 2:
        return OptionsMethod == 3 ? "Write (Session-At-Once)" : "Write (Disc-At-Once)";
    default:
        return "Write (current drive write method set to AUTO)";
    }
}

} // namespace

TBurnController::TBurnController(IBurnView& View_, IDialogs& Dialogs_, IDispatcher& Dispatcher_,
                                 std::shared_ptr<ICdWriter> Writer_, TOptions& Options_)
    : View(View_), Dialogs(Dialogs_), Dispatcher(Dispatcher_), Writer(std::move(Writer_)), Options(Options_)
{
    Writer->SetEvents(this);
}

TBurnController::~TBurnController()
{
    Life.End();
    JoinScan();
    Writer->SetEvents(nullptr);
}

void TBurnController::JoinScan()
{
    if (FScan.joinable())
        FScan.join();
}

void TBurnController::StartScan()
{
    if (FScanning || FScan.joinable())
        return; // there is one scan in a run
    View.SetStatus("Accessing CD-drive(s). Wait, please ...");
    View.SetBusy(true);
    View.EnableControls(false);
    FWriterBusy = true;
    FWriterError = false;
    FWriterAvailable = false;
    FScanning = true;
    FOperation = TOperation::opScan;
    if (MainStatus)
        MainStatus("Loading CD drives...");
    FCapacityFigure = 0;
    // Only Initialize runs on the scan's thread; nothing else touches the
    // writer until ThreadDone has run on the window thread.
    std::shared_ptr<ICdWriter> writer = Writer;
    IDispatcher& dispatcher = Dispatcher;
    const TLifetimeToken token = Life.Token();
    FScan = std::thread([this, writer, &dispatcher, token] {
        std::string failure;
        try {
            writer->Initialize();
        } catch (const std::exception& e) {
            failure = e.what();
            if (failure.empty())
                failure = "the CD drives could not be read";
        }
        dispatcher.Post(token, [this, failure] { ThreadDone(failure); });
    });
}

void TBurnController::ThreadDone(const std::string& Failure)
{
    JoinScan();
    FScanning = false;
    if (FOperation == TOperation::opScan)
        FOperation = TOperation::opNone;
    if (MainStatus)
        MainStatus("");
    if (!FWriterError && !Failure.empty()) {
        // The writer raised without an error event: said here, as the event
        // would have said it.
        Dialogs.Error(Failure);
        FWriterError = true;
    }
    if (FWriterError) {
        FWriterError = false;
        FWriterAvailable = false;
        FWriterBusy = false;
        View.EnableControls(true);
        View.SetBusy(false);
        View.SetStatus(IdleText);
        return;
    }
    FDrives.clear();
    try {
        const int count = Writer->DriveCount();
        for (int n = 1; n <= count; ++n) {
            Writer->SetCurrentDrive(n);
            FDrives.push_back(Writer->DriveText1() + " " + Writer->DriveText2() + " " + Writer->DriveText3());
        }
    } catch (const std::exception& e) {
        Dialogs.Error(e.what());
        FDrives.clear();
    }
    // A scan that found no writer leaves the program without one, so that
    // the Burn command says so instead of opening a window that cannot work.
    FWriterAvailable = !FDrives.empty();
    FWriterBusy = false;
    if (FDrives.empty()) {
        View.SetDrives(FDrives, -1);
    } else {
        const auto found = std::find(FDrives.begin(), FDrives.end(), Options.WriterDrive);
        ChangeDrive(found == FDrives.end() ? 0 : static_cast<int>(found - FDrives.begin()));
    }
    View.EnableControls(true);
    View.SetBusy(false);
    View.SetStatus(IdleText);
}

void TBurnController::ChangeDrive(int Index)
{
    if (FScanning || Index < 0 || Index >= static_cast<int>(FDrives.size()))
        return;
    // The drive of a running write or erase stays the current one.
    if (FWriterBusy) {
        View.SetDrives(FDrives, FCurrentDrive);
        return;
    }
    FCurrentDrive = Index;
    View.SetDrives(FDrives, Index);
    try {
        Writer->SetCurrentDrive(Index + 1);
        FillSpeeds();
    } catch (const std::exception& e) {
        View.SetStatus(e.what());
        return;
    }
    RefreshDiscInfo();
}

void TBurnController::FillSpeeds()
{
    FSpeeds.clear();
    Writer->SetWriteSpeed(64);
    const int highest = Writer->WriteSpeed();
    // A drive that names no speed (an image) has no list to choose from.
    if (highest > 0) {
        FSpeeds.push_back(std::to_string(highest) + "x");
        const int k = highest / 4 - (highest % 4 == 0 ? 1 : 0);
        for (int i = k; i >= 1; --i)
            FSpeeds.push_back(std::to_string(4 * i) + "x");
    }
    const auto found = std::find(FSpeeds.begin(), FSpeeds.end(), std::to_string(Options.WriterSpeed) + "x");
    View.SetSpeeds(FSpeeds, FSpeeds.empty() ? -1 : found == FSpeeds.end() ? 0 : static_cast<int>(found - FSpeeds.begin()));
}

void TBurnController::ChangeSpeed(int Index)
{
    if (Index < 0 || Index >= static_cast<int>(FSpeeds.size()))
        return;
    const std::string& text = FSpeeds[static_cast<std::size_t>(Index)];
    Options.WriterSpeed = std::stoi(text.substr(0, text.size() - 1));
}

void TBurnController::RefreshDiscInfo()
{
    // While the writer scans or works, the disc is not read again: the
    // figures keep the values of the queue being written.
    if (FScanning || FOperation != TOperation::opNone)
        return;
    View.SetStatus("Reading disc info...");
    int state = 0, type = 0, status = 0;
    double queued = 0, used = 0, capacity = 0;
    std::string media;
    try {
        Writer->Refresh();
        state = Writer->DiscState();
        type = Writer->MediaType();
        status = Writer->DiscStatus();
        media = MediaName(type);
        // A medium of none of the kinds (a pseudo-drive's file) goes by the
        // drive's own name for it.
        if (const std::string own = type < 0 ? Writer->MediaName() : std::string(); !own.empty())
            media = own;
        if (state != 0 && state != 2) {
            queued = static_cast<double>(Writer->CompilationSize());
            used = static_cast<double>(Writer->UsedSpace());
            capacity = static_cast<double>(Writer->DiscCapacity());
        }
    } catch (const std::exception& e) {
        View.SetStatus(e.what());
        return;
    }
    FDiscState = state;
    if (state == 0 || state == 2) {
        View.SetDescription(state == 0 ? NoDiscText : UnrecognizedText);
        View.SetSpace("", FOverfull);
        View.SetStatus(IdleText);
        return;
    }
    // On a disc that holds tracks already, the writer's size of the
    // compilation counts them too.
    if (status > 0)
        queued = std::max(0.0, queued - used);
    FCapacityFigure = capacity == 0 ? 702 : capacity;
    FQueuedSeconds = SecondsOf(queued);
    FUsedSeconds = SecondsOf(used);
    FCapacitySeconds = SecondsOf(FCapacityFigure);
    View.SetDescription(media + " | " + StatusName(status));
    FOverfull = FCapacityFigure < queued + used;
    ShowSpace();
    View.SetStatus(IdleText);
}

void TBurnController::ShowSpace()
{
    View.SetSpace("Used space: " + SpaceTime(FUsedSeconds) + " | To be written: " + SpaceTime(FQueuedSeconds) +
                      " | Disc capacity: " + SpaceTime(FCapacitySeconds),
                  FOverfull);
}

bool TBurnController::CanAddFiles()
{
    if (FWriterBusy) {
        Dialogs.Warning(BusyText);
        return false;
    }
    if (FDiscState == 0 || FDiscState == 2) {
        Dialogs.Warning(NoValidDiscText);
        return false;
    }
    return true;
}

bool TBurnController::AddOne(const std::string& FileName, const std::string& Type, std::vector<std::string>& Refused)
{
    try {
        Writer->AddTrack(FileName);
    } catch (const std::exception& e) {
        Refused.push_back(FileName + ": " + e.what());
        return false;
    }
    const int before = FQueuedSeconds;
    RefreshDiscInfo();
    FRows.push_back({Type, FileName, RowTime(std::max(0, FQueuedSeconds - before))});
    return true;
}

void TBurnController::RefuseFiles(const std::vector<std::string>& Refused)
{
    if (Refused.empty())
        return;
    std::string text = Refused.size() == 1 ? "This file cannot be written to a CD and was left out:"
                                           : "These files cannot be written to a CD and were left out:";
    for (const std::string& line : Refused)
        text += "\n" + line;
    Dialogs.Warning(text);
}

void TBurnController::AddFiles(const std::vector<std::string>& FileNames)
{
    if (FWriterBusy) {
        Dialogs.Warning(BusyText);
        return;
    }
    std::vector<std::string> refused;
    for (const std::string& name : FileNames)
        AddOne(name, Extension(name, true), refused);
    View.SetRows(FRows);
    RefuseFiles(refused);
}

void TBurnController::LoadQueue(const std::vector<std::string>& FileNames)
{
    // A write running hidden (the automatic mode) keeps its queue.
    if (FWriterBusy) {
        Dialogs.Warning(BusyText);
        return;
    }
    FRows.clear();
    std::vector<std::string> refused;
    try {
        Writer->ClearTracks();
    } catch (const std::exception& e) {
        View.SetStatus(e.what());
    }
    for (const std::string& name : FileNames) {
        try {
            Writer->AddTrack(name);
            FRows.push_back({Extension(name, false), name, ""});
        } catch (const std::exception& e) {
            refused.push_back(name + ": " + e.what());
        }
    }
    View.SetRows(FRows);
    RefreshDiscInfo();
    RefuseFiles(refused);
}

void TBurnController::DeleteRow(int Index)
{
    if (Index < 0 || Index >= static_cast<int>(FRows.size()))
        return;
    if (FWriterBusy) {
        Dialogs.Warning(BusyText);
        return;
    }
    try {
        Writer->RemoveTrack(Index);
    } catch (const std::exception& e) {
        View.SetStatus(e.what());
        return;
    }
    FRows.erase(FRows.begin() + Index);
    View.SetRows(FRows);
    RefreshDiscInfo();
}

void TBurnController::ClearAll()
{
    if (FWriterBusy) {
        Dialogs.Warning(BusyText);
        return;
    }
    FRows.clear();
    View.SetRows(FRows);
    try {
        Writer->ClearTracks();
    } catch (const std::exception& e) {
        View.SetStatus(e.what());
        return;
    }
    RefreshDiscInfo();
}

void TBurnController::StartBurn()
{
    if (FOperation == TOperation::opWrite) {
        View.SetStatus("Canceling...");
        FEvents.SetStopping();
        ++FCancelsPending;
        try {
            Writer->CancelWrite();
        } catch (const std::exception&) {
            // The write is given up either way; the writer reports its end.
        }
        FOperation = TOperation::opNone;
        View.SetStatus(IdleText);
        View.SetBurnButton(BurnCaption, true);
        View.ShowProgress(false, 0);
        View.EnableControls(true);
        FWriterBusy = false;
        FEvents.Finished(TJobOutcome::joCancelled, "");
        return;
    }
    if (FWriterBusy) {
        Dialogs.Warning(BusyText);
        return;
    }
    int tracks = 0;
    try {
        tracks = Writer->TrackCount();
    } catch (const std::exception& e) {
        View.SetStatus(e.what());
        return;
    }
    if (tracks == 0) {
        Dialogs.Warning("Please add at least a track to write!");
        return;
    }
    if (FOverfull) {
        Dialogs.Warning("The disk capacity is smaller then needed! \r\nPlease delete some files or insert a bigger "
                        "disk.");
        return;
    }
    std::string status;
    try {
        Writer->SetWriteSpeed(Options.WriterSpeed);
        Writer->SetCloseDisc(Options.CloseAtEnd);
        Writer->SetWriteMethod(WriterMethodOf(Options.WriterMethod));
        View.ShowProgress(true, 0);
        Writer->Refresh();
        const char* refusal = nullptr;
        const int type = Writer->MediaType();
        // A medium of another kind (a pseudo-drive's file) is not turned
        // away here: asking for a CD-R would not tell the user why it cannot
        // take audio. The drive judges it when the job starts, and its
        // reason comes back as the write's error.
        if (Writer->DiscState() == 0)
            refusal = "There is no disc in the drive! Please insert a CD-R or CD-RW disc";
        else if (type >= 0 && type != 1 && type != 2)
            refusal = "Disc is not writable by this control! Please insert a CD-R or CD-RW disc";
        else if (Writer->DiscStatus() != 0 && Writer->DiscStatus() != 1)
            refusal = "Disc is closed or not writable! Please insert a writable CD-R or CD-RW disc";
        if (refusal) {
            View.ShowProgress(false, 0);
            Dialogs.Warning(refusal);
            return;
        }
        status = WriteStatus(Writer->DriveWriteMethod(), Writer->WriteMethod(), Options.WriterMethod);
    } catch (const std::exception& e) {
        View.ShowProgress(false, 0);
        View.SetStatus(e.what());
        return;
    }
    FOperation = TOperation::opWrite;
    View.EnableControls(false);
    View.SetBurnButton(StopCaption, true);
    FWriterBusy = true;
    FWriterError = false;
    View.SetStatus(status);
    FEvents.Started(status);
    try {
        Writer->WriteDisc();
    } catch (const std::exception& e) {
        // Refused before it began: the writer's reason, plainly.
        OperationFailed(e.what(), e.what(), false);
    }
}

void TBurnController::QuickErase()
{
    if (FWriterBusy) {
        Dialogs.Warning(BusyText);
        return;
    }
    try {
        Writer->Refresh();
        if (Writer->MediaType() != 2) {
            Dialogs.Warning("Disc is not erasable by this control! Please insert a CD-RW disc");
            return;
        }
    } catch (const std::exception& e) {
        View.SetStatus(e.what());
        return;
    }
    View.SetStatus("Erasing Disc...");
    View.ShowProgress(true, 0);
    View.SetBurnButton(BurnCaption, false);
    View.EnableControls(false);
    FWriterError = false;
    FWriterBusy = true;
    FOperation = TOperation::opErase;
    FEvents.Started("Erasing Disc...");
    View.SetBusy(true);
    try {
        Writer->EraseDisc(true);
    } catch (const std::exception& e) {
        OperationFailed(e.what(), e.what(), false);
    }
    View.SetBusy(false);
}

void TBurnController::Eject()
{
    if (FWriterBusy) {
        Dialogs.Warning(BusyText);
        return;
    }
    try {
        Writer->Eject();
    } catch (const std::exception& e) {
        View.SetStatus(e.what());
        return;
    }
    RefreshDiscInfo();
}

void TBurnController::LoadTray()
{
    if (FWriterBusy) {
        Dialogs.Warning(BusyText);
        return;
    }
    try {
        Writer->LoadTray();
    } catch (const std::exception& e) {
        View.SetStatus(e.what());
        return;
    }
    RefreshDiscInfo();
}

void TBurnController::Shutdown()
{
    // A scan still running finishes first: the writer is not released under it.
    JoinScan();
    try {
        Writer->Shutdown();
    } catch (const std::exception&) {
        // Ending the program goes on whatever the drive says.
    }
}

void TBurnController::OnOperationProgress(int Percent)
{
    const int p = std::clamp(Percent, 0, 100);
    if (FOperation == TOperation::opErase) {
        View.ShowProgress(true, p);
        FEvents.Progress(p / 100.0, "Erasing Disc...");
        if (p == 100)
            EraseCompleted();
        return;
    }
    if (FOperation != TOperation::opWrite)
        return; // what a stopped write still reported
    int operation = ICdWriter::opWrite;
    try {
        operation = Writer->CurrentOperation();
    } catch (const std::exception&) {
    }
    if (operation == ICdWriter::opFinalise) {
        View.ShowProgress(true, 100);
        View.SetStatus("Finalising CD. Please wait...");
        FEvents.Progress(1.0, "Finalising CD. Please wait...");
        if (p == 100)
            WriteCompleted();
        return;
    }
    std::string status;
    try {
        const bool trackwise = Options.WriterMethod == 1;
        const std::string item = Writer->CurrentItemName();
        switch (Writer->WritePhase()) {
        case ICdWriter::wpAnalysing:
            status = "Analysing: " + item;
            break;
        case ICdWriter::wpReading:
            status = trackwise ? "Reading: " + item : std::string("Caching files to the memory");
            break;
        case ICdWriter::wpWriting:
            status = trackwise ? "Writing: " + item : std::string("Writing: Audio session");
            break;
        default:
            status = "Closing: " + item;
            break;
        }
    } catch (const std::exception& e) {
        status = e.what();
    }
    View.SetStatus(status);
    View.ShowProgress(true, p);
    FEvents.Progress(p / 100.0, status);
}

void TBurnController::EraseCompleted()
{
    FOperation = TOperation::opNone;
    Dialogs.Information("Erasing Completed");
    View.EnableControls(true);
    View.SetBurnButton(BurnCaption, true);
    FWriterBusy = false;
    View.SetStatus(IdleText);
    View.ShowProgress(false, 0);
    View.SetBusy(false);
    FEvents.Finished(TJobOutcome::joSucceeded, "");
    RefreshDiscInfo();
}

void TBurnController::WriteCompleted()
{
    FOperation = TOperation::opNone;
    // An image drive names what it wrote: the disc is a file the user has
    // to find again.
    std::string image;
    try {
        image = Writer->LastImage();
    } catch (const std::exception&) {
        // A drive that cannot say wrote a disc, not a file.
    }
    std::string status = IdleText;
    try {
        Writer->ClearTracks();
    } catch (const std::exception& e) {
        status = e.what();
    }
    // The window is at rest before the message says so: no "Finalising"
    // beside a STOP button behind "Writing completed!".
    FRows.clear();
    View.SetRows(FRows);
    View.SetBurnButton(BurnCaption, true);
    View.EnableControls(true);
    FWriterBusy = false;
    View.SetStatus(status);
    View.ShowProgress(false, 0);
    FEvents.Finished(TJobOutcome::joSucceeded, "");
    RefreshDiscInfo();
    if (!image.empty())
        View.SetStatus("Image written: " + image);
    Dialogs.Information(image.empty() ? std::string("Writing completed!") : "Writing completed! The image is " + image);
    // Burnt hidden: the automatic mode goes on with the recordings made
    // meanwhile.
    if (!View.Shown() && FRecordings)
        WriteRecordings(FRecordings->LastFinishedRow());
}

void TBurnController::OnErrorEx(int Code, const std::string& Text)
{
    // The report of a write stopped by the user: the window is idle already.
    if (Code == ICdWriter::ecCancelled && FCancelsPending > 0) {
        --FCancelsPending;
        return;
    }
    if (FOperation == TOperation::opNone && !FScanning)
        return; // nothing runs that could have failed
    const bool quiet = Code == ICdWriter::ecCancelled || Code == ICdWriter::ecNoDisc;
    OperationFailed(quiet ? std::string() : "Error: " + std::to_string(Code) + ". " + Text,
                    Text.empty() ? "Error: " + std::to_string(Code) : Text, Code == ICdWriter::ecCancelled);
}

void TBurnController::OperationFailed(const std::string& Shown, const std::string& Reason, bool Cancelled)
{
    if (!Shown.empty())
        Dialogs.Error(Shown);
    const bool erasing = FOperation == TOperation::opErase;
    if (erasing)
        Dialogs.Warning("Error Erasing Disc");
    FWriterError = true;
    View.EnableControls(true);
    View.SetBurnButton(BurnCaption, true);
    FWriterBusy = false;
    View.ShowProgress(false, 0);
    View.SetBusy(false);
    // A failed scan is finished by ThreadDone, which reads the flag.
    if (FOperation == TOperation::opWrite || erasing) {
        FOperation = TOperation::opNone;
        FWriterError = false;
        View.SetStatus(IdleText);
        FEvents.Finished(Cancelled ? TJobOutcome::joCancelled : TJobOutcome::joFailed, Cancelled ? "" : Reason);
    }
}

void TBurnController::OnMediaChange()
{
    RefreshDiscInfo();
}

void TBurnController::OfferTrack(int Row)
{
    if (!FWriterAvailable || !FRecordings || Row < 0)
        return;
    WriteRecordings(std::max(Row, FRecordings->LastFinishedRow()));
}

int TBurnController::FirstUnwrittenRow() const
{
    if (!FRecordings)
        return 0;
    const int last = FRecordings->LastFinishedRow();
    int row = 0;
    while (row <= last && FRecordings->Handled(row))
        ++row;
    return row;
}

void TBurnController::WriteRecordings(int Last)
{
    if (FWalking)
        return;
    FWalking = true;
    std::vector<std::string> refused;
    // Every finished recording goes to exactly one disc, in order: the walk
    // passes the ones already dealt with (a mark on the recording, not a row
    // number, since rows may be moved or deleted meanwhile) and stops at the
    // first one that must wait (the writer busy, no usable disc, or a burn
    // of what is queued started to make room).
    for (int row = 0; row <= Last; ++row) {
        if (FRecordings->Handled(row))
            continue;
        RefreshDiscInfo();
        if (FWriterBusy || FCapacitySeconds <= 0 || FDiscState == 0 || FDiscState == 2)
            break;
        const int seconds = FRecordings->DurationSeconds(row);
        const std::string name = FRecordings->FileName(row);
        if (FCapacitySeconds >= FQueuedSeconds + FUsedSeconds + seconds) {
            if (!AddOne(name, Extension(name, true), refused) || !FOverfull) {
                FRecordings->MarkHandled(row);
                continue;
            }
            // A recording's file is longer than its sound (it ends with the
            // quiet that ended it): measured by the writer it does not fit
            // after all, and goes on the next disc.
            try {
                Writer->RemoveTrack(static_cast<int>(FRows.size()) - 1);
            } catch (const std::exception& e) {
                View.SetStatus(e.what());
                break;
            }
            FRows.pop_back();
            RefreshDiscInfo();
        }
        if (!FRows.empty()) {
            View.SetRows(FRows);
            StartBurn();
            break;
        }
        // Not even an empty disc holds it: it is left to be burnt by hand
        // instead of holding up every recording after it.
        refused.push_back(name + ": longer than the disc holds");
        FRecordings->MarkHandled(row);
    }
    View.SetRows(FRows);
    FWalking = false;
    RefuseFiles(refused);
}

} // namespace kestrune
