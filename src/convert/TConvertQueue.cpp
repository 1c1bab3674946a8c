#include "convert/TConvertQueue.h"

#include <algorithm>
#include <filesystem>

namespace kestrune {

namespace fs = std::filesystem;

TConvertQueue::TConvertQueue(TConvertController& S, TBatchConversion& B, IConvertQueueView& V, IDialogs& D,
                             IDispatcher& Disp)
    : Single(S), Batch(B), View(V), Dialogs(D), Dispatcher(Disp)
{
    Batch.Events().Subscribe(this);
}

TConvertQueue::~TConvertQueue()
{
    Batch.Events().Unsubscribe(this);
}

void TConvertQueue::Settle(bool WasSeveral)
{
    if (Count() == 1) {
        const std::string file = Batch.Items().front().InFile;
        Batch.Clear();
        View.ShowInFileName(file);
    }
    if (Several() != WasSeveral)
        View.ShowQueue(Several());
}

void TConvertQueue::Choose(const std::vector<std::string>& Files)
{
    if (Running() || Files.empty())
        return;
    const bool wasSeveral = Several();
    Batch.Clear();
    if (Files.size() == 1) {
        View.ShowInFileName(Files.front());
    } else {
        // Chosen files are queued as they are, a folder among them too.
        for (const std::string& file : Files)
            Batch.Add(file);
    }
    Settle(wasSeveral);
}

void TConvertQueue::Add(const std::vector<std::string>& FilesOrFolders)
{
    if (Running() || FilesOrFolders.empty())
        return;
    const bool wasSeveral = Several();
    std::error_code error;
    // The file already chosen stays first.
    if (Count() == 0 && fs::is_regular_file(Single.InFileName(), error))
        Batch.Add(Single.InFileName());
    for (const std::string& name : FilesOrFolders)
        Batch.Add(name);
    Settle(wasSeveral);
}

void TConvertQueue::Clear()
{
    if (Running() || Count() == 0)
        return;
    Batch.Clear();
    View.ShowQueue(false);
}

void TConvertQueue::Convert()
{
    if (!Several()) {
        Single.Convert();
        return;
    }
    if (Running() || Single.Converting() || Single.Playing())
        return;
    if (Single.OutputIndex() < 0) {
        Dialogs.Warning("Output format missing");
        return;
    }
    // A queue that ran before runs again from the start: every file anew.
    const std::vector<TBatchItem>& items = Batch.Items();
    if (std::any_of(items.begin(), items.end(),
                    [](const TBatchItem& I) { return I.State != TBatchItem::TState::bsQueued; })) {
        std::vector<std::string> files;
        for (const TBatchItem& item : items)
            files.push_back(item.InFile);
        Batch.Clear();
        for (const std::string& file : files)
            Batch.Add(file);
    }
    Batch.SetJobs(0);
    Batch.SetOutputFormat(Single.OutputIndex());
    Batch.SetOutDir(FOutDir);
    Batch.SetEncoderSettings(Single.EncoderSettings());
    // Files of the user's under output names are replaced only when the
    // user says so, asked once for the whole queue; otherwise those files
    // fail with the reason and stay as they are.
    std::size_t existing = 0;
    for (const TBatchItem& item : Batch.Items()) {
        std::error_code error;
        existing += std::filesystem::is_regular_file(item.OutFile, error) ? 1 : 0;
    }
    Batch.SetOverwrite(existing > 0 && Dialogs.Confirm(ReplaceQuestion(existing), TDialogButtons::dbYesNo));
    Batch.Start();
}

std::string TConvertQueue::ReplaceQuestion(std::size_t Count)
{
    return Count == 1 ? std::string("One output file already exists. Do you want to replace it?")
                      : std::to_string(Count) + " output files already exist. Do you want to replace them?";
}

bool TConvertQueue::Cancel()
{
    if (Running()) {
        Batch.Cancel();
        return false;
    }
    return Single.Cancel();
}

void TConvertQueue::StopForClosing()
{
    if (!Running())
        return;
    FClosing = true;
    Batch.Cancel();
    Dispatcher.WaitServing([this] { return !Running(); }, FCloseTimeout);
    FClosing = false;
}

void TConvertQueue::Shortcut(TConvertFollowUp Next)
{
    StopForClosing();
    Single.Shortcut(Next);
}

void TConvertQueue::Close()
{
    StopForClosing();
    Single.Close();
}

std::string TConvertQueue::QueuedText() const
{
    return std::to_string(Count()) + " files to convert";
}

std::string TConvertQueue::StateText(const TBatchItem& Item)
{
    switch (Item.State) {
    case TBatchItem::TState::bsQueued:
        return "Waiting";
    case TBatchItem::TState::bsRunning:
        return "Converting";
    case TBatchItem::TState::bsDone:
        return "Done";
    case TBatchItem::TState::bsFailed:
        return Item.Error.empty() ? "Failed" : "Failed: " + Item.Error;
    case TBatchItem::TState::bsCancelled:
        return "Canceled";
    }
    return "";
}

std::string TConvertQueue::Summary() const
{
    const std::vector<TBatchItem>& items = Batch.Items();
    const auto done = std::count_if(items.begin(), items.end(),
                                    [](const TBatchItem& I) { return I.State == TBatchItem::TState::bsDone; });
    std::string text = std::to_string(done) + " of " + std::to_string(items.size()) + " files converted.";
    bool first = true;
    for (const TBatchItem& item : items) {
        if (item.State != TBatchItem::TState::bsFailed)
            continue;
        text += first ? "\nThese failed:" : "";
        first = false;
        text += "\n" + fs::path(item.InFile).filename().string() + ": " + item.Error;
    }
    return text;
}

void TConvertQueue::JobStarted(TJobKind, const std::string&)
{
    View.ShowStatusBar(true);
}

void TConvertQueue::JobFinished(TJobKind, TJobOutcome Outcome, const std::string&)
{
    // A queue refused before it started (no format) never showed the bar.
    View.ShowStatusBar(false);
    if (FClosing)
        return;
    switch (Outcome) {
    case TJobOutcome::joSucceeded:
        Dialogs.Information(Summary());
        break;
    case TJobOutcome::joFailed:
        Dialogs.Warning(Summary());
        break;
    case TJobOutcome::joCancelled:
        Dialogs.Information("Conversion canceled");
        break;
    }
}

} // namespace kestrune
