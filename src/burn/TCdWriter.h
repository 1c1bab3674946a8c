#pragma once

#include "burn/IBurnDrive.h"
#include "burn/ICdWriter.h"
#include "common/IDispatcher.h"
#include "common/TLifetime.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kestrune {

// The program's CD writer: the drives the scans find (real burners through
// libburn first, then the image drive), the disc in the current one, the
// queue, and writing and erasing on a worker thread of its own. The worker
// reports through the dispatcher; the events reach the listener on the window
// thread, with CurrentOperation, WritePhase and CurrentItemName telling where
// the operation stood when the event was raised.
//
// A write ends with OnOperationProgress(100) during opFinalise, an erase with
// OnOperationProgress(100) during opErase; either may instead end with
// OnErrorEx: ecCancelled after CancelWrite, ecRefused when the drive cannot
// do the job (its reason as the text), ecFailed with the reason otherwise
// (a queued file that cannot be read, a full disc, a drive failure).
class TCdWriter final : public ICdWriter {
public:
    TCdWriter(IDispatcher& Dispatcher, std::vector<TBurnDriveScan> Scans);
    ~TCdWriter() override;
    TCdWriter(const TCdWriter&) = delete;
    TCdWriter& operator=(const TCdWriter&) = delete;

    // The writer of the desktop program and the command line: the burners
    // libburn finds (or, when Devices names some, those: "/dev/sr0",
    // "stdio:FILE"), then the image drive writing ImagePath with a disc of
    // ImageMinutes.
    static std::shared_ptr<TCdWriter> Standard(IDispatcher& Dispatcher, const std::filesystem::path& ImagePath,
                                               double ImageMinutes, std::vector<std::string> Devices = {});

    void SetEvents(ICdWriterEvents* Events) override { FEvents = Events; }

    // A scan that failed while another found drives is not an error of
    // Initialize; its reason is kept here.
    const std::string& ScanProblem() const { return FScanProblem; }
    void Initialize() override;
    int DriveCount() const override { return static_cast<int>(FDrives.size()); }
    int CurrentDrive() const override { return FCurrent; }
    void SetCurrentDrive(int Drive) override;
    std::string DriveText1() const override;
    std::string DriveText2() const override;
    std::string DriveText3() const override;
    void SetWriteSpeed(int Speed) override;
    int WriteSpeed() const override { return FSpeed; }

    void Refresh() override;
    int DiscState() const override { return FDisc.DiscState; }
    int MediaType() const override { return FDisc.MediaType; }
    int DiscStatus() const override { return FDisc.DiscStatus; }
    std::string MediaName() const override { return FDisc.MediaName; }
    long long CompilationSize() const override;
    long long UsedSpace() const override;
    long long DiscCapacity() const override;

    void AddTrack(const std::string& FileName) override;
    void RemoveTrack(int Index) override;
    void ClearTracks() override { FQueue.clear(); }
    int TrackCount() const override { return static_cast<int>(FQueue.size()); }

    void SetCloseDisc(bool Close) override { FCloseDisc = Close; }
    void SetWriteMethod(int Method) override;
    int WriteMethod() const override { return FMethod; }
    int DriveWriteMethod() const override;
    void SetSimulate(bool Simulate) override { FSimulate = Simulate; }
    void SetGapSeconds(int Seconds) override;

    void WriteDisc() override;
    void EraseDisc(bool Quick) override;
    void CancelWrite() override;
    bool Running() const { return FRunning; }

    int CurrentOperation() const override { return FOperation; }
    int WritePhase() const override { return FPhase; }
    std::string CurrentItemName() const override { return FItemName; }

    void Eject() override;
    void LoadTray() override;
    void Shutdown() override;
    std::string LastImage() const override;

private:
    struct TQueued {
        std::string FileName;
        std::int64_t Sectors = 0;
    };

    IBurnDrive& Drive() const;
    void CheckIdle() const;
    std::int64_t QueueSectors() const;
    // Runs Work on the worker; its steps and its end come back as events.
    void Start(int Operation, std::function<bool(IBurnDrive&, const TBurnStepFn&, const std::atomic<bool>&)> Work);
    void StepArrived(unsigned Generation, const TBurnStep& Step);
    void WorkEnded(unsigned Generation, int Operation, int Code, const std::string& Text);
    void JoinWorker();

    IDispatcher& FDispatcher;
    std::vector<TBurnDriveScan> FScans;
    ICdWriterEvents* FEvents = nullptr;

    std::vector<std::unique_ptr<IBurnDrive>> FDrives;
    std::string FScanProblem;
    int FCurrent = 0;
    int FSpeed = 0;
    int FMaxSpeed = 0;
    TBurnDisc FDisc;
    std::vector<TQueued> FQueue;
    bool FCloseDisc = true;
    int FMethod = 0;
    bool FSimulate = false;
    int FGapSectors = TImageWriter::DefaultGapSectors;

    // The running operation, window thread only. A generation tells the
    // events of the current operation from those of one cancelled before.
    bool FRunning = false;
    unsigned FGeneration = 0;
    int FOperation = opNone;
    int FPhase = wpAnalysing;
    std::string FItemName;
    std::thread FWorker;
    // Set to stop the running operation; cleared before the next starts.
    std::atomic<bool> FStop{false};

    TLifetime Life;
};

} // namespace kestrune
