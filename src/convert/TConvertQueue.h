#pragma once

#include "common/IDialogs.h"
#include "common/IDispatcher.h"
#include "common/TJob.h"
#include "convert/TBatchConversion.h"
#include "convert/TConvertController.h"

#include <chrono>
#include <string>
#include <vector>

namespace kestrune {

// What the conversion window asks of its window for a queue of files.
class IConvertQueueView {
public:
    virtual ~IConvertQueueView() = default;
    // One file or several: the single file's controls or the queue's list.
    virtual void ShowQueue(bool Several) = 0;
    // The input of the single conversion, after the queue went back to one
    // file.
    virtual void ShowInFileName(const std::string& Name) = 0;
    // The status bar with the gauge shows while the queue runs.
    virtual void ShowStatusBar(bool Visible) = 0;
};

// The conversion window with more than one file: the files chosen together
// in the file dialog, dropped on the window or added as a folder form a
// queue, converted several at a time into one format and one folder. With one
// file nothing changes: the single conversion runs as it always has.
//
// The queue holds either no file (the single conversion's input is the file)
// or two and more; when adding leaves one file, that file becomes the single
// input. The queue's end says how many files were converted and which failed
// with their reasons.
//
// Threads: every call on the window thread (the dispatcher's).
class TConvertQueue : private TJobListenerBase {
public:
    TConvertQueue(TConvertController& Single, TBatchConversion& Batch, IConvertQueueView& View, IDialogs& Dialogs,
                  IDispatcher& Dispatcher);
    ~TConvertQueue() override;
    TConvertQueue(const TConvertQueue&) = delete;
    TConvertQueue& operator=(const TConvertQueue&) = delete;

    // The file dialog's choice: these files and nothing else.
    void Choose(const std::vector<std::string>& Files);
    // Dropped files and folders, "Add folder...": added after what is
    // chosen already, the single input included.
    void Add(const std::vector<std::string>& FilesOrFolders);
    // Back to the single file (nothing while the queue runs).
    void Clear();

    std::size_t Count() const { return Batch.Items().size(); }
    bool Several() const { return Count() > 1; }
    bool Running() const { return Batch.Running(); }

    // Where the queue's files go; empty: beside each input.
    void SetOutDir(const std::string& Dir) { FOutDir = Dir; }
    const std::string& OutDir() const { return FOutDir; }

    // "CONVERT!": the single conversion, or the queue in the format chosen.
    // The question asked before a queue replaces existing output files.
    static std::string ReplaceQuestion(std::size_t Count);
    void Convert();
    // "Cancel": stops the queue; otherwise as the single conversion's
    // Cancel. True when the window should close.
    bool Cancel();
    // A picture button or Tools entry: the queue stops as on closing.
    void Shortcut(TConvertFollowUp Next);
    // Closing the window: a running queue is cancelled and waited for (at
    // most CloseTimeout), without a box; then the single conversion closes.
    void Close();
    void SetCloseTimeout(std::chrono::milliseconds Value) { FCloseTimeout = Value; }

    // The label over the input while several files are queued.
    std::string QueuedText() const;
    // A row's state in words.
    static std::string StateText(const TBatchItem& Item);
    // The end of a run: how many converted, and each failure with its cause.
    std::string Summary() const;

private:
    void JobStarted(TJobKind Kind, const std::string& Title) override;
    void JobFinished(TJobKind Kind, TJobOutcome Outcome, const std::string& Reason) override;
    // One file left in the queue becomes the single input.
    void Settle(bool WasSeveral);
    void StopForClosing();

    TConvertController& Single;
    TBatchConversion& Batch;
    IConvertQueueView& View;
    IDialogs& Dialogs;
    IDispatcher& Dispatcher;
    std::string FOutDir;
    bool FClosing = false;
    std::chrono::milliseconds FCloseTimeout{std::chrono::seconds(10)};
};

} // namespace kestrune
