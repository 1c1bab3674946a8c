#include "convert/TBatchConversion.h"

#include "convert/TConvertController.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <thread>

namespace kestrune {

namespace fs = std::filesystem;

namespace {

// Nor any box to show: the job events carry every outcome and its reason, so
// the boxes the controller would show are answered without asking anyone.
// The one question a batch meets, whether to replace an existing output, is
// answered by the batch's Overwrite.
class TNoDialogs final : public IDialogs {
public:
    TDialogResult Show(TDialogKind, const std::string&, TDialogButtons Buttons) override
    {
        switch (Buttons) {
        case TDialogButtons::dbOK:
            return TDialogResult::drOK;
        case TDialogButtons::dbOKCancel:
            return TDialogResult::drCancel;
        case TDialogButtons::dbYesNo:
            break;
        }
        return Replace ? TDialogResult::drYes : TDialogResult::drNo;
    }
    bool Replace = false;
};

// One spelling for every way of naming a file: relative or absolute, with
// "." and "..", through a link to a folder. A file that does not exist yet
// is named by its folder's real path.
std::string FileKey(const std::string& Name)
{
    std::error_code error;
    fs::path path = fs::absolute(Name, error);
    if (error)
        return Name;
    const fs::path real = fs::weakly_canonical(path, error);
    return (error ? path.lexically_normal() : real).string();
}

std::string Quoted(const std::string& Name)
{
    return "\"" + Name + "\"";
}

} // namespace

// A conversion controller of its own, and the item it converts now.
class TBatchConversion::TSlot final : public TJobListenerBase {
public:
    TSlot(TBatchConversion& B, IDispatcher& Dispatcher) : Batch(B), Controller(View, Dialogs, Dispatcher)
    {
        Controller.Events().Subscribe(this);
    }

    void JobProgress(TJobKind, double Fraction, const std::string& Stage) override
    {
        Batch.SlotProgress(*this, Fraction, Stage);
    }
    void JobFinished(TJobKind, TJobOutcome Outcome, const std::string& Reason) override
    {
        Batch.SlotFinished(*this, Outcome, Reason);
    }

    TBatchConversion& Batch;
    TNoConvertView View; // a slot runs without a window
    TNoDialogs Dialogs;
    TConvertController Controller;
    std::optional<std::size_t> Item;
    // An MP3 source is decoded first; that is the first half of its progress.
    bool Decodes = false;
};

TBatchConversion::TBatchConversion(IDispatcher& D) : Dispatcher(D)
{
    Slots.push_back(std::make_unique<TSlot>(*this, Dispatcher));
}

TBatchConversion::~TBatchConversion()
{
    Life.End();
    // Each controller stops its workers and removes what it left half made.
    Slots.clear();
}

void TBatchConversion::SetJobs(int N)
{
    FJobs = std::max(0, N);
}

void TBatchConversion::SetEncoderSettings(const TEncoderSettings& S)
{
    FEncoderSettings = S;
}

void TBatchConversion::SetOutputFormat(int FormatIndex)
{
    if (FormatIndex < 0 || FormatIndex >= static_cast<int>(Slots.front()->Controller.Formats().size()))
        return;
    FFormat = FormatIndex;
    RefreshOutFiles();
}

void TBatchConversion::SetOutDir(const std::string& Dir)
{
    FOutDir = Dir;
    RefreshOutFiles();
}

std::string TBatchConversion::OutFileOf(const std::string& InFile) const
{
    if (FFormat < 0)
        return "";
    const fs::path in(InFile);
    const std::string name =
        in.stem().string() + Slots.front()->Controller.Formats()[static_cast<std::size_t>(FFormat)].Extension;
    return ((FOutDir.empty() ? in.parent_path() : fs::path(FOutDir)) / name).string();
}

// The names of the files still waiting follow the format and the folder.
void TBatchConversion::RefreshOutFiles()
{
    if (FRunning)
        return;
    for (std::size_t i = 0; i < FItems.size(); ++i) {
        if (FItems[i].State != TBatchItem::TState::bsQueued)
            continue;
        std::string out = OutFileOf(FItems[i].InFile);
        if (out == FItems[i].OutFile)
            continue;
        FItems[i].OutFile = std::move(out);
        Changed(i);
    }
}

std::size_t TBatchConversion::Add(const std::string& FileOrFolder)
{
    std::vector<std::string> files;
    std::error_code error;
    if (fs::is_directory(FileOrFolder, error)) {
        const TConvertController& formats = Slots.front()->Controller;
        for (const fs::directory_entry& entry : fs::directory_iterator(FileOrFolder, error)) {
            std::error_code typeError;
            if (entry.is_regular_file(typeError) && formats.FindFormat(entry.path().extension().string()) >= 0)
                files.push_back(entry.path().string());
        }
        std::sort(files.begin(), files.end());
    } else {
        // Any other name is queued as it is: a missing or unreadable file
        // fails at its turn with the reason, in its own row.
        files.push_back(FileOrFolder);
    }
    for (std::string& file : files) {
        TBatchItem item;
        item.OutFile = OutFileOf(file);
        item.InFile = std::move(file);
        FItems.push_back(std::move(item));
        for (IBatchListener* l : std::vector<IBatchListener*>(Listeners))
            l->ItemAdded(FItems.size() - 1);
    }
    return files.size();
}

void TBatchConversion::Clear()
{
    if (FRunning)
        return;
    FItems.clear();
    for (IBatchListener* l : std::vector<IBatchListener*>(Listeners))
        l->ItemsCleared();
}

const std::vector<TBatchItem>& TBatchConversion::Items() const
{
    return FItems;
}

void TBatchConversion::AddListener(IBatchListener* Listener)
{
    Listeners.push_back(Listener);
}

void TBatchConversion::RemoveListener(IBatchListener* Listener)
{
    std::erase(Listeners, Listener);
}

bool TBatchConversion::Running() const
{
    return FRunning;
}

TJobEvents& TBatchConversion::Events()
{
    return FEvents;
}

void TBatchConversion::Changed(std::size_t Index)
{
    for (IBatchListener* l : std::vector<IBatchListener*>(Listeners))
        l->ItemChanged(Index);
}

void TBatchConversion::Start()
{
    if (FRunning)
        return;
    if (FFormat < 0) {
        FEvents.Finished(TJobOutcome::joFailed, "Output format missing");
        return;
    }
    RefreshOutFiles();
    Run.clear();
    Weight.clear();
    for (std::size_t i = 0; i < FItems.size(); ++i) {
        if (FItems[i].State != TBatchItem::TState::bsQueued)
            continue;
        Run.push_back(i);
        // Progress is measured in input bytes; a file of no size still
        // counts when it is done.
        std::error_code error;
        const auto size = fs::file_size(FItems[i].InFile, error);
        Weight.push_back(error ? 1 : std::max<std::int64_t>(1, static_cast<std::int64_t>(size)));
    }
    NextInRun = 0;
    LastProgressMark = -1;
    FRunning = true;
    FCancelling = false;
    FEvents.Started("Converting");

    // Every name of the run spelled once (each spelling asks the file
    // system), then each file checked against the ones before it.
    // An input queued twice stands for neither of its items.
    std::map<std::string, std::size_t> inputs;
    for (std::size_t index : Run)
        if (const auto [at, added] = inputs.emplace(FileKey(FItems[index].InFile), index); !added)
            at->second = static_cast<std::size_t>(-1);
    std::map<std::string, std::size_t> outputs;
    std::size_t runnable = 0;
    for (std::size_t index : Run) {
        Check(index, inputs, outputs);
        if (FItems[index].State == TBatchItem::TState::bsQueued)
            ++runnable;
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t jobs = FJobs > 0 ? static_cast<std::size_t>(FJobs) : cores;
    const std::size_t slots = std::max<std::size_t>(1, std::min(jobs, runnable));
    while (Slots.size() < slots)
        Slots.push_back(std::make_unique<TSlot>(*this, Dispatcher));
    for (auto& slot : Slots) {
        slot->Dialogs.Replace = FOverwrite;
        if (FEncoderSettings)
            slot->Controller.SetEncoderSettings(*FEncoderSettings);
    }
    for (std::size_t s = 0; s < slots && FRunning; ++s)
        StartNext(*Slots[s]);
}

// What stops a file before its conversion: a type no reader takes, and an
// output that would destroy another file of the batch (a second input with
// the same name, or an output named like another input). Inputs holds every
// input of the run, Outputs the outputs claimed by the files checked before.
void TBatchConversion::Check(std::size_t Index, const std::map<std::string, std::size_t>& Inputs,
                             std::map<std::string, std::size_t>& Outputs)
{
    const TBatchItem& item = FItems[Index];
    const std::string extension = fs::path(item.InFile).extension().string();
    if (Slots.front()->Controller.FindFormat(extension) < 0)
        return EndItem(Index, TBatchItem::TState::bsFailed,
                       extension.empty() ? "Unknown file type (no extension)"
                                         : "Unknown file type " + Quoted(extension));
    const std::string out = FileKey(item.OutFile);
    if (const auto claimed = Outputs.find(out); claimed != Outputs.end())
        return EndItem(Index, TBatchItem::TState::bsFailed,
                       "The output file " + Quoted(item.OutFile) + " is already the output of " +
                           Quoted(FItems[claimed->second].InFile));
    // The item's own input is the controller's check, with its text.
    if (const auto input = Inputs.find(out); input != Inputs.end() && input->second != Index)
        return EndItem(Index, TBatchItem::TState::bsFailed,
                       "The output file " + Quoted(item.OutFile) + " would replace an input of this batch");
    Outputs.emplace(out, Index);
}

void TBatchConversion::StartNext(TSlot& Slot)
{
    if (Slot.Item)
        return;
    while (!FCancelling && NextInRun < Run.size()) {
        const std::size_t index = Run[NextInRun++];
        TBatchItem& item = FItems[index];
        if (item.State != TBatchItem::TState::bsQueued)
            continue; // refused by the checks at the start
        TConvertController& controller = Slot.Controller;
        if (!controller.WaitForWorkers(std::chrono::seconds(30))) {
            EndItem(index, TBatchItem::TState::bsFailed, "The previous conversion of this slot did not stop");
            continue;
        }
        Slot.Item = index;
        Slot.Decodes = controller.FindFormat(fs::path(item.InFile).extension().string()) == TConvertController::fiMp3;
        item.State = TBatchItem::TState::bsRunning;
        item.Progress = 0;
        Changed(index);
        controller.SetInFileName(item.InFile);
        controller.ChooseOutFormat(FFormat);
        controller.SetOutFileName(item.OutFile);
        // The run ends in SlotFinished: a refusal of the checks inside
        // Convert, a started one later from its workers.
        controller.Convert();
        if (Slot.Item == index && !controller.Converting()) {
            Slot.Item.reset();
            EndItem(index, TBatchItem::TState::bsFailed, "The conversion could not be started");
            continue;
        }
        return;
    }
    FinishIfDone();
}

void TBatchConversion::SlotProgress(TSlot& Slot, double Fraction, const std::string& Stage)
{
    if (!Slot.Item || Fraction < 0)
        return;
    double progress = std::clamp(Fraction, 0.0, 1.0);
    if (Slot.Decodes)
        progress = Stage == "Decoding MP3" ? progress / 2 : 0.5 + progress / 2;
    TBatchItem& item = FItems[*Slot.Item];
    if (progress == item.Progress)
        return;
    item.Progress = progress;
    Changed(*Slot.Item);
    ReportProgress();
}

void TBatchConversion::SlotFinished(TSlot& Slot, TJobOutcome Outcome, const std::string& Reason)
{
    if (!Slot.Item)
        return;
    const std::size_t index = *Slot.Item;
    Slot.Item.reset();
    switch (Outcome) {
    case TJobOutcome::joSucceeded:
        EndItem(index, TBatchItem::TState::bsDone, "");
        break;
    case TJobOutcome::joFailed:
        EndItem(index, TBatchItem::TState::bsFailed, Reason.empty() ? "Conversion error" : Reason);
        break;
    case TJobOutcome::joCancelled:
        EndItem(index, TBatchItem::TState::bsCancelled, "");
        break;
    }
    // The next file starts once the controller has left its own event.
    TSlot* slot = &Slot;
    Dispatcher.Post(Life.Token(), [this, slot] { StartNext(*slot); });
}

void TBatchConversion::EndItem(std::size_t Index, TBatchItem::TState State, const std::string& Error)
{
    TBatchItem& item = FItems[Index];
    item.State = State;
    item.Error = Error;
    if (State == TBatchItem::TState::bsDone)
        item.Progress = 1;
    Changed(Index);
    ReportProgress();
}

void TBatchConversion::ReportProgress()
{
    if (!FRunning)
        return;
    double total = 0, done = 0;
    std::size_t ended = 0;
    for (std::size_t k = 0; k < Run.size(); ++k) {
        const TBatchItem& item = FItems[Run[k]];
        const auto weight = static_cast<double>(Weight[k]);
        total += weight;
        switch (item.State) {
        case TBatchItem::TState::bsQueued:
            break;
        case TBatchItem::TState::bsRunning:
            done += weight * item.Progress;
            break;
        case TBatchItem::TState::bsDone:
        case TBatchItem::TState::bsFailed:
        case TBatchItem::TState::bsCancelled:
            done += weight;
            ++ended;
            break;
        }
    }
    const double fraction = total > 0 ? done / total : 1.0;
    // At most a thousand steps, and one for every file that ends.
    const int mark = static_cast<int>(std::lround(fraction * 1000)) * 100000 + static_cast<int>(ended);
    if (mark == LastProgressMark)
        return;
    LastProgressMark = mark;
    FEvents.Progress(fraction, std::to_string(ended) + " of " + std::to_string(Run.size()) + " files done");
}

void TBatchConversion::Cancel()
{
    if (!FRunning || FCancelling)
        return;
    FCancelling = true;
    FEvents.SetStopping();
    for (; NextInRun < Run.size(); ++NextInRun)
        if (FItems[Run[NextInRun]].State == TBatchItem::TState::bsQueued)
            EndItem(Run[NextInRun], TBatchItem::TState::bsCancelled, "");
    // Each running controller stops its workers and removes its incomplete
    // output; its end arrives as a cancelled run.
    for (auto& slot : Slots)
        if (slot->Item)
            slot->Controller.Cancel();
    FinishIfDone();
}

void TBatchConversion::FinishIfDone()
{
    if (!FRunning)
        return;
    if (std::any_of(Slots.begin(), Slots.end(), [](const auto& S) { return S->Item.has_value(); }))
        return;
    if (!FCancelling && NextInRun < Run.size())
        return;
    FRunning = false;
    const auto failed = std::count_if(
        Run.begin(), Run.end(), [this](std::size_t I) { return FItems[I].State == TBatchItem::TState::bsFailed; });
    if (FCancelling)
        FEvents.Finished(TJobOutcome::joCancelled, "Conversion canceled");
    else if (failed > 0)
        FEvents.Finished(TJobOutcome::joFailed,
                         std::to_string(failed) + " of " + std::to_string(Run.size()) + " files failed");
    else
        FEvents.Finished(TJobOutcome::joSucceeded, "");
}

} // namespace kestrune
