#pragma once

#include "burn/IBurnView.h"
#include "burn/ICdWriter.h"
#include "burn/TCdFigures.h"
#include "pipeline/EACSException.h"

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrune::test {

// A CD writer without drives of its own: the drives, the disc in each and
// the length of every file it accepts are set by the test, and it records
// what it was asked. Its events are raised by the test (on the window thread,
// as the real writer's arrive there).
class TFakeCdWriter final : public ICdWriter {
public:
    struct TDrive {
        std::string Text1, Text2, Text3;
        int MaxSpeed = 48;
    };
    struct TDisc {
        int State = 1;  // 0 none, 1 usable, 2 unrecognised
        int Type = 1;   // CD-R; -1 a medium of another kind, named by MediaNames
        int Status = 0; // blank
        long long Used = 0;
        long long Capacity = 80 * 60 * TCdFigures::PerSecond;
    };

    std::vector<TDrive> DriveList{{"Image", "/tmp/a.cue", ""}};
    std::vector<TDisc> Discs{TDisc{}};
    // The drive's own name of each drive's medium; none unless set.
    std::map<int, std::string> MediaNames;
    // Seconds of audio of every file the writer reads; others are refused,
    // or measured by Measure when it is set (a negative answer refuses).
    std::map<std::string, int> Lengths;
    std::function<int(const std::string&)> Measure;
    // Called by WriteDisc once the write has begun (to finish it later).
    std::function<void()> OnWrite;

    // The scan: Initialize waits while Hold is set, then raises ScanFailure
    // when it is not empty, after PostScanError (if set) has been called.
    bool Hold = false;
    std::string ScanFailure;
    std::function<void()> PostScanError;
    std::thread::id ScanThread;

    // What the writer was asked.
    std::vector<std::string> Queue;
    int Speed = 0;
    bool Close = false;
    int Method = 0;
    int DriveMethod = 0;
    bool Simulate = false;
    int Writes = 0;
    int Erases = 0;
    int Cancels = 0;
    int Refreshes = 0;
    int Ejects = 0;
    int Loads = 0;
    bool ShutDown = false;
    std::vector<std::string> WrittenQueue;
    std::string WriteFailure; // WriteDisc raises with it when set

    int Operation = opNone;
    int Phase = wpAnalysing;
    std::string Item;
    ICdWriterEvents* Events = nullptr;

    void Release()
    {
        std::lock_guard lock(Mutex);
        Hold = false;
        Changed.notify_all();
    }

    void SetEvents(ICdWriterEvents* E) override { Events = E; }
    void Initialize() override
    {
        std::unique_lock lock(Mutex);
        ScanThread = std::this_thread::get_id();
        Changed.wait(lock, [this] { return !Hold; });
        if (PostScanError)
            PostScanError();
        if (!ScanFailure.empty())
            throw EACSException(ScanFailure);
    }
    int DriveCount() const override { return static_cast<int>(DriveList.size()); }
    int CurrentDrive() const override { return Current; }
    void SetCurrentDrive(int Drive) override
    {
        if (Drive < 1 || Drive > DriveCount())
            throw EACSException("no drive " + std::to_string(Drive));
        Current = Drive;
    }
    std::string DriveText1() const override { return Drive().Text1; }
    std::string DriveText2() const override { return Drive().Text2; }
    std::string DriveText3() const override { return Drive().Text3; }
    void SetWriteSpeed(int S) override { Speed = std::min(S, Drive().MaxSpeed); }
    int WriteSpeed() const override { return Speed; }

    void Refresh() override { ++Refreshes; }
    int DiscState() const override { return Disc().State; }
    int MediaType() const override { return Disc().Type; }
    int DiscStatus() const override { return Disc().Status; }
    std::string MediaName() const override
    {
        const auto found = MediaNames.find(Current);
        return found == MediaNames.end() ? std::string() : found->second;
    }
    // As the burn window expects of a disc that holds tracks: the size of the
    // compilation counts what is on the disc already.
    long long CompilationSize() const override
    {
        long long size = Disc().Status > 0 ? Disc().Used : 0;
        for (const std::string& name : Queue)
            size += Lengths.at(name) * TCdFigures::PerSecond;
        return size;
    }
    long long UsedSpace() const override { return Disc().Used; }
    long long DiscCapacity() const override { return Disc().Capacity; }

    void AddTrack(const std::string& FileName) override
    {
        if (!Lengths.count(FileName) && Measure && Measure(FileName) >= 0)
            Lengths[FileName] = Measure(FileName);
        if (!Lengths.count(FileName))
            throw EACSException("not an audio file we can read");
        Queue.push_back(FileName);
    }
    void RemoveTrack(int Index) override { Queue.erase(Queue.begin() + Index); }
    void ClearTracks() override { Queue.clear(); }
    int TrackCount() const override { return static_cast<int>(Queue.size()); }

    void SetCloseDisc(bool C) override { Close = C; }
    void SetWriteMethod(int M) override { Method = M; }
    int WriteMethod() const override { return Method; }
    int DriveWriteMethod() const override { return DriveMethod; }
    void SetSimulate(bool S) override { Simulate = S; }

    void WriteDisc() override
    {
        if (!WriteFailure.empty())
            throw EACSException(WriteFailure);
        ++Writes;
        WrittenQueue = Queue;
        Operation = opWrite;
        if (OnWrite)
            OnWrite();
    }
    void EraseDisc(bool) override
    {
        ++Erases;
        Operation = opErase;
    }
    void CancelWrite() override { ++Cancels; }
    int CurrentOperation() const override { return Operation; }
    int WritePhase() const override { return Phase; }
    std::string CurrentItemName() const override { return Item; }
    void Eject() override { ++Ejects; }
    void LoadTray() override { ++Loads; }
    void Shutdown() override { ShutDown = true; }

    // The end of a write as the writer reports it: finalising up to 100.
    void Complete()
    {
        Operation = opFinalise;
        Events->OnOperationProgress(50);
        Events->OnOperationProgress(100);
    }

    TDisc& CurrentDisc() { return Discs.at(static_cast<std::size_t>(Current - 1)); }

private:
    const TDrive& Drive() const { return DriveList.at(static_cast<std::size_t>(Current - 1)); }
    const TDisc& Disc() const { return Discs.at(static_cast<std::size_t>(Current - 1)); }

    int Current = 1;
    std::mutex Mutex;
    std::condition_variable Changed;
};

// The burn window as the controller sees it: the last of everything it was
// told, and every status text in order.
class TFakeBurnView final : public IBurnView {
public:
    std::vector<std::string> DriveEntries;
    int DriveChosen = -2;
    std::vector<std::string> SpeedEntries;
    int SpeedChosen = -2;
    std::vector<std::string> Statuses;
    std::string Description;
    std::string Space;
    bool Overfull = false;
    std::vector<TBurnRow> Rows;
    bool ControlsOn = true;
    std::string BurnCaption = "BURN CD!";
    bool BurnEnabled = true;
    bool ProgressShown = false;
    int Percent = 0;
    bool Busy = false;
    bool IsShown = true;

    void SetDrives(const std::vector<std::string>& E, int C) override
    {
        DriveEntries = E;
        DriveChosen = C;
    }
    void SetSpeeds(const std::vector<std::string>& E, int C) override
    {
        SpeedEntries = E;
        SpeedChosen = C;
    }
    void SetStatus(const std::string& Text) override { Statuses.push_back(Text); }
    void SetDescription(const std::string& Text) override { Description = Text; }
    void SetSpace(const std::string& Text, bool O) override
    {
        Space = Text;
        Overfull = O;
    }
    void SetRows(const std::vector<TBurnRow>& R) override { Rows = R; }
    void EnableControls(bool Enabled) override { ControlsOn = Enabled; }
    void SetBurnButton(const std::string& Caption, bool Enabled) override
    {
        BurnCaption = Caption;
        BurnEnabled = Enabled;
    }
    void ShowProgress(bool Visible, int P) override
    {
        ProgressShown = Visible;
        Percent = P;
    }
    void SetBusy(bool B) override { Busy = B; }
    bool Shown() const override { return IsShown; }

    std::string Status() const { return Statuses.empty() ? std::string() : Statuses.back(); }
};

} // namespace kestrune::test
