#pragma once

#include "common/IDispatcher.h"
#include "common/TJob.h"
#include "common/TLifetime.h"
#include "settings/TEncoderSettings.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrune {

// One file of a batch and where it stands.
struct TBatchItem {
    enum class TState { bsQueued, bsRunning, bsDone, bsFailed, bsCancelled };
    std::string InFile, OutFile;
    TState State = TState::bsQueued;
    double Progress = 0; // 0..1
    std::string Error;   // the cause, when failed
};

// Told about the rows of a batch; on the dispatcher's thread.
class IBatchListener {
public:
    virtual ~IBatchListener() = default;
    virtual void ItemAdded(std::size_t Index) = 0;
    virtual void ItemChanged(std::size_t Index) = 0; // state or progress
    virtual void ItemsCleared() = 0;
};

// A queue of files converted to one format, several at a time. Each file goes
// through its own conversion controller, so a file of a batch is converted,
// checked and cleaned up exactly as the single conversion does it; an error in
// one file is recorded with it and the others go on.
//
// Start takes the files queued at that moment; files added while it runs
// wait for the next Start. Before anything is written, a file whose output
// name another file of the run has already claimed (two songs.wav from two
// folders into one output folder), or whose output would replace an input of
// the run, fails with the reason instead of overwriting it. Cancel, and the
// destruction of a running batch, stop the running files and remove their
// incomplete outputs; the files still queued end cancelled.
//
// Threads: every public call on the dispatcher's thread; every event (the
// listeners' and the job's) arrives on that thread.
class TBatchConversion {
public:
    explicit TBatchConversion(IDispatcher& Dispatcher); // events on the dispatcher's thread
    ~TBatchConversion();
    TBatchConversion(const TBatchConversion&) = delete;
    TBatchConversion& operator=(const TBatchConversion&) = delete;

    void SetJobs(int N); // 0: one per core (std::thread::hardware_concurrency)
    void SetEncoderSettings(const TEncoderSettings& S);
    void SetOutputFormat(int FormatIndex);  // TConvertController::fi*
    void SetOutDir(const std::string& Dir); // empty: beside each input
    // An output file that exists already is replaced (off: the file fails
    // with the reason and the existing one stays). Off unless set.
    void SetOverwrite(bool Value) { FOverwrite = Value; }
    // Adds a file, or every audio file of a folder (sorted, not recursive); returns the count added.
    std::size_t Add(const std::string& FileOrFolder);
    void Clear(); // only while not running
    const std::vector<TBatchItem>& Items() const;
    void AddListener(IBatchListener*);
    void RemoveListener(IBatchListener*);
    void Start(); // runs every queued item, N at a time
    void Cancel();
    bool Running() const;
    TJobEvents& Events(); // jkConversion: Started, Progress (whole batch), Finished
                          // (succeeded when all done; failed with "N of M files failed")

private:
    class TSlot;

    std::string OutFileOf(const std::string& InFile) const;
    void RefreshOutFiles();
    void Check(std::size_t Index, const std::map<std::string, std::size_t>& Inputs,
               std::map<std::string, std::size_t>& Outputs);
    void StartNext(TSlot& Slot);
    void SlotProgress(TSlot& Slot, double Fraction, const std::string& Stage);
    void SlotFinished(TSlot& Slot, TJobOutcome Outcome, const std::string& Reason);
    void EndItem(std::size_t Index, TBatchItem::TState State, const std::string& Error);
    void ReportProgress();
    void FinishIfDone();
    void Changed(std::size_t Index);

    IDispatcher& Dispatcher;
    std::vector<TBatchItem> FItems;
    std::vector<IBatchListener*> Listeners;
    TJobEvents FEvents{TJobKind::jkConversion};

    int FJobs = 0;
    int FFormat = -1;
    std::string FOutDir;
    bool FOverwrite = false;
    std::optional<TEncoderSettings> FEncoderSettings;

    // The run: its items in order, their weights (input bytes) and the next
    // one to start.
    std::vector<std::size_t> Run;
    std::vector<std::int64_t> Weight;
    std::size_t NextInRun = 0;
    bool FRunning = false;
    bool FCancelling = false;
    int LastProgressMark = -1;

    // One conversion controller per running slot; the first also serves for
    // the format table while nothing runs.
    std::vector<std::unique_ptr<TSlot>> Slots;
    TLifetime Life;
};

} // namespace kestrune
