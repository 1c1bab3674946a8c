#pragma once

#include "burn/IBurnView.h"
#include "burn/ICdWriter.h"
#include "common/IDialogs.h"
#include "common/IDispatcher.h"
#include "common/TJob.h"
#include "common/TLifetime.h"
#include "settings/IBurnDrives.h"

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kestrune {

class TOptions;

// The recordings the automatic writing mode takes its tracks from: the main
// window's list. Window thread only.
class IAutoWriteRecordings {
public:
    virtual ~IAutoWriteRecordings() = default;
    // The last recording that is finished (the list's last row while it is
    // enabled, else the row before it); -1 when none.
    virtual int LastFinishedRow() const = 0;
    virtual std::string FileName(int Row) const = 0;
    virtual int DurationSeconds(int Row) const = 0;
    // Whether the recording was dealt with: handed to the writer for a disc,
    // or left out as longer than a disc. The mark stays with the recording
    // when rows are moved or deleted.
    virtual bool Handled(int Row) const = 0;
    virtual void MarkHandled(int Row) = 0;
};

// Everything the burn window does besides drawing: the drive scan on a
// thread of its own, the drive and speed lists, the disc figures and the
// space line, the queue, writing (StartBurn), stopping, quick erase, the
// writer's progress and errors, and the automatic writing mode with the
// recorder. It is also the settings window's view of the writer drives
// (IBurnDrives).
//
// A write is a job (jkBurn): Started, Progress, Finished succeeded ("Writing
// completed!"), failed (the writer's error) or cancelled. An erase is one too.
//
// Threads: every public call on the window thread; the writer's events and
// the scan's end arrive there through the dispatcher.
class TBurnController final : public IBurnDrives, private ICdWriterEvents {
public:
    TBurnController(IBurnView& View, IDialogs& Dialogs, IDispatcher& Dispatcher, std::shared_ptr<ICdWriter> Writer,
                    TOptions& Options);
    ~TBurnController() override;
    TBurnController(const TBurnController&) = delete;
    TBurnController& operator=(const TBurnController&) = delete;

    // The drive scan, started once when the window is made.
    void StartScan();
    // Where the main window's status line is written while the drives load
    // ("Loading CD drives...", emptied when done); none by default.
    void SetMainStatus(std::function<void(const std::string&)> Status) { MainStatus = std::move(Status); }
    // True while the scan's thread has not handed its result back.
    bool Scanning() const { return FScanning; }
    bool WriterAvailable() const { return FWriterAvailable; }
    bool WriterBusy() const { return FWriterBusy; }
    bool BurnStarted() const { return FOperation == TOperation::opWrite; }

    // IBurnDrives, for the settings window and the burn window's own list.
    bool Available() const override { return FWriterAvailable; }
    std::vector<std::string> Drives() const override { return FDrives; }
    int CurrentDrive() const override { return FCurrentDrive; }
    void ChangeDrive(int Index) override;
    std::vector<std::string> Speeds() const override { return FSpeeds; }
    // The user chose a speed (position in Speeds()).
    void ChangeSpeed(int Index);

    void RefreshDiscInfo();
    int QueuedSeconds() const { return FQueuedSeconds; }
    int UsedSeconds() const { return FUsedSeconds; }
    int CapacitySeconds() const { return FCapacitySeconds; }
    // The space line is drawn in the warning colour: the queue does not fit.
    bool Overfull() const { return FOverfull; }
    // The disc as the last refresh found it (0 none, 1 usable, 2 unrecognised).
    int DiscState() const { return FDiscState; }

    // "Add Files": false with the warning when files cannot be added now;
    // the window then opens no file dialog.
    bool CanAddFiles();
    // The files chosen, in order; a file the writer refuses is named in one
    // message and left out.
    void AddFiles(const std::vector<std::string>& FileNames);
    // The main window's Burn command: the queue becomes these files (not
    // while the writer works: a hidden write keeps its queue).
    void LoadQueue(const std::vector<std::string>& FileNames);
    const std::vector<TBurnRow>& Rows() const { return FRows; }
    void DeleteRow(int Index);
    void ClearAll();

    void StartBurn();
    void QuickErase();
    void Eject();
    void LoadTray();
    void Shutdown();

    // The automatic writing mode. Offers a finished recording (its row in the
    // main list): every finished recording from the first unwritten one on is
    // queued, until one does not fit (by its length, and then by the writer's
    // own figures); then what is queued is burnt and that recording stays the
    // first unwritten one. While the writer works, or without a usable disc,
    // they wait for the next offer or the end of the burn (when the window is
    // hidden).
    void SetRecordings(IAutoWriteRecordings* Recordings) { FRecordings = Recordings; }
    void OfferTrack(int Row);
    // The first finished recording not yet dealt with; past the last
    // finished one when all were.
    int FirstUnwrittenRow() const;

    TJobEvents& Events() { return FEvents; }

private:
    enum class TOperation { opNone, opScan, opWrite, opErase };

    void OnOperationProgress(int Percent) override;
    void OnErrorEx(int Code, const std::string& Text) override;
    void OnMediaChange() override;

    void ThreadDone(const std::string& Failure);
    void FillSpeeds();
    void ShowSpace();
    bool AddOne(const std::string& FileName, const std::string& Type, std::vector<std::string>& Refused);
    void RefuseFiles(const std::vector<std::string>& Refused);
    void WriteCompleted();
    void EraseCompleted();
    // Shown: the error box's text (none for a cancel or a vanished disc);
    // Reason: the job's.
    void OperationFailed(const std::string& Shown, const std::string& Reason, bool Cancelled);
    // The automatic mode's walk over the finished recordings from the first
    // unwritten one up to Last.
    void WriteRecordings(int Last);
    void JoinScan();

    IBurnView& View;
    IDialogs& Dialogs;
    IDispatcher& Dispatcher;
    std::shared_ptr<ICdWriter> Writer;
    TOptions& Options;
    IAutoWriteRecordings* FRecordings = nullptr;
    std::function<void(const std::string&)> MainStatus;

    bool FWriterAvailable = false;
    bool FWriterBusy = false;
    bool FWriterError = false;
    std::vector<std::string> FDrives;
    int FCurrentDrive = -1;
    std::vector<std::string> FSpeeds;
    std::vector<TBurnRow> FRows;
    double FCapacityFigure = 0;
    int FQueuedSeconds = 0;
    int FUsedSeconds = 0;
    int FCapacitySeconds = 0;
    int FDiscState = 0;
    bool FOverfull = false;
    bool FScanning = false;
    TOperation FOperation = TOperation::opNone;
    // Cancels asked for whose "cancelled" report has not come back yet.
    int FCancelsPending = 0;
    // Inside the automatic mode's walk: no second walk starts from it.
    bool FWalking = false;
    std::thread FScan;

    TJobEvents FEvents{TJobKind::jkBurn};
    TLifetime Life;
};

} // namespace kestrune
