#include "recording/TRecognitionController.h"

#include "settings/TOptions.h"

#include <algorithm>

namespace kestrune {

TRecognitionController::TRecognitionController(TRecordingsList& L, IDispatcher& D) : List(L), Dispatcher(D) {}

TRecognitionController::~TRecognitionController()
{
    Close();
    Life.End();
}

TRecognitionSettings TRecognitionController::SettingsFrom(const TOptions& Options)
{
    TRecognitionSettings settings;
    settings.Server = Options.RecognitionServer;
    settings.Key = Options.RecognitionKey;
    settings.UseProxy = Options.UseProxy;
    settings.ProxyServer = Options.ProxyServer;
    settings.ProxyPort = Options.ProxyPort;
    return settings;
}

bool TRecognitionController::Open(const TRecognitionSettings& Settings)
{
    Close();
    if (Settings.Key.empty()) {
        // The service refuses every query without a key: better to say so
        // once than to leave every row waiting.
        if (!NoticeGiven)
            FNotice = "Song recognition is off: no application key is set ([Recognition] Key in the settings).";
        NoticeGiven = true;
        return false;
    }
    try {
        auto client = std::make_shared<TRecognitionClient>(Settings);
        if (!client->Library()->HasGenerator())
            return false;
        Client = std::move(client);
        return true;
    } catch (const std::exception&) {
        // Without the library the program works on, and nothing is recognised.
        return false;
    }
}

void TRecognitionController::Close(std::chrono::milliseconds Timeout)
{
    TerminateAll();
    // A terminated worker ends within moments (a transfer in progress is
    // aborted at once), but it may still be handing a step over: keep
    // serving meanwhile, so that joining it below finds it gone.
    if (!WaitForWorkers(Timeout)) {
        std::string names;
        for (const auto& outcome : Outcomes)
            names += (names.empty() ? "" : ", ") + outcome->Caption;
        FJob.Message(TJobMessageKind::jmError,
                     "Song recognition did not end within " +
                         std::to_string(std::chrono::duration_cast<std::chrono::seconds>(Timeout).count()) + " s: " +
                         std::to_string(FRecognitionCount) + " track(s) still being identified (" + names + ")");
    }
    // They hold the client themselves, so the library cannot go before them.
    Workers.clear();
    Outcomes.clear();
    FRecognitionCount = 0;
    Client.reset();
}

std::unique_ptr<TFingerprintGenerator> TRecognitionController::NewGenerator(int SampleRate, int Channels,
                                                                            int BitsPerSample) const
{
    if (!Client)
        return nullptr;
    try {
        return Client->NewGenerator(SampleRate, Channels, BitsPerSample);
    } catch (const std::exception&) {
        return nullptr;
    }
}

int TRecognitionController::AddRowRecognisedListener(std::function<void(int Row)> Listener)
{
    const int id = NextListenerId++;
    RowRecognisedListeners.emplace_back(id, std::move(Listener));
    return id;
}

void TRecognitionController::RemoveRowRecognisedListener(int Id)
{
    std::erase_if(RowRecognisedListeners, [Id](const auto& Entry) { return Entry.first == Id; });
}

void TRecognitionController::TellRowRecognised(int Row)
{
    if (OnRowRecognised)
        OnRowRecognised(Row);
    // A copy: a listener may add or take away listeners while it is told.
    const auto listeners = RowRecognisedListeners;
    for (const auto& [id, listener] : listeners) {
        const bool stillThere = std::any_of(RowRecognisedListeners.begin(), RowRecognisedListeners.end(),
                                            [id](const auto& Entry) { return Entry.first == id; });
        if (stillThere)
            listener(Row);
    }
}

void TRecognitionController::SetUnknown(int Row)
{
    if (Row < 0 || Row >= List.Count())
        return;
    TRecordingRow row = List.Row(Row);
    row.Artist = "Unknown";
    List.UpdateRow(Row, row);
    TellRowRecognised(Row);
}

void TRecognitionController::StartRecognition(int Row)
{
    if (Row < 0 || Row >= List.Count())
        return;
    const TTrackDataPtr track = List.Row(Row).Data;
    if (!track || !track->Trm || !Client) {
        if (track)
            track->Trm.reset();
        SetUnknown(Row);
        return;
    }
    // The worker needs its own pointer before it can be named in its steps.
    auto slot = std::make_shared<TRecognitionWorker*>(nullptr);
    auto outcome = std::make_shared<TOutcome>();
    outcome->Caption = List.Row(Row).Caption;
    TRecognitionWorker::TSteps steps;
    steps.ShowResult = [this, track, outcome](const TLookupResult& Result) {
        outcome->Outcome = TJobOutcome::joSucceeded;
        ShowResult(track, Result);
    };
    steps.ShowUnknown = [this, track, outcome](const std::string& Id) {
        outcome->Outcome = TJobOutcome::joSucceeded;
        ShowUnknown(track, Id);
    };
    steps.QueryFailed = [this, track, outcome](const std::string& Error) {
        outcome->Outcome = TJobOutcome::joFailed;
        outcome->Reason = Error;
        if (const int index = List.IndexOf(track.get()); index >= 0) {
            TRecordingRow row = List.Row(index);
            row.Hint = "Recognition failed: " + Error;
            List.UpdateRow(index, row);
        }
        if (OnQueryFailed)
            OnQueryFailed(List.IndexOf(track.get()), Error);
    };
    steps.Ended = [this, slot, outcome] { RecognitionEnded(*slot, *outcome); };
    try {
        auto worker = std::make_unique<TRecognitionWorker>(Client, std::move(track->Trm), track->Duration, Dispatcher,
                                                           Life.Token(), std::move(steps));
        // Ended is only ever posted, so it cannot run before this line.
        *slot = worker.get();
        Workers.push_back(std::move(worker));
        Outcomes.push_back(outcome);
    } catch (const std::exception&) {
        // No thread: nothing counted, the row stays as it was.
        return;
    }
    ++FRecognitionCount;
    FJob.Started("Querying online database... " + outcome->Caption);
}

void TRecognitionController::RecognitionEnded(TRecognitionWorker* Worker, const TOutcome& Outcome)
{
    const TOutcome ended = Outcome; // the steps that hold it go with the worker
    --FRecognitionCount;
    const auto it = std::find_if(Workers.begin(), Workers.end(), [&](const auto& W) { return W.get() == Worker; });
    if (it != Workers.end()) {
        Outcomes.erase(std::next(Outcomes.begin(), std::distance(Workers.begin(), it)));
        Workers.erase(it); // joins: the worker posted this as its last act
    }
    FJob.Finished(ended.Outcome, ended.Outcome == TJobOutcome::joCancelled ? "stopped" : ended.Reason);
}

void TRecognitionController::TerminateAll()
{
    for (const auto& worker : Workers)
        worker->Terminate();
}

bool TRecognitionController::WaitForWorkers(std::chrono::milliseconds Timeout)
{
    return Dispatcher.WaitServing([this] { return FRecognitionCount == 0; }, Timeout);
}

void TRecognitionController::ShowResult(const TTrackDataPtr& Track, const TLookupResult& Result)
{
    const int index = List.IndexOf(Track.get());
    if (!Result.BestId.empty())
        Track->TrmId = Result.BestId;
    if (index < 0)
        return; // the row was deleted meanwhile
    try {
        for (const TTrackInfo& info : Result.Candidates)
            if (!info.Artist.empty() || !info.Title.empty() || !info.Album.empty())
                Track->Candidates.push_back(info);
        if (Track->Candidates.empty()) {
            SetUnknown(index);
            return;
        }
        const TTrackInfo& first = Track->Candidates.front();
        TRecordingRow row = List.Row(index);
        const TRowState state = row.State;
        row.Caption = first.Title;
        row.Artist = first.Artist;
        row.Album = first.Album;
        // The icon goes with the texts, in one change of the row; a file that
        // cannot be tagged takes it back below.
        row.State = Track->Candidates.size() == 1 ? TRowState::rsOneMatch : TRowState::rsSeveralMatches;
        List.UpdateRow(index, row);
        try {
            List.TagAndRename(index);
        } catch (...) {
            row = List.Row(index);
            row.State = state;
            List.UpdateRow(index, row);
            throw;
        }
        TellRowRecognised(index);
    } catch (const std::exception&) {
        SetUnknown(index);
    }
}

void TRecognitionController::ShowUnknown(const TTrackDataPtr& Track, const std::string& Id)
{
    Track->TrmId = Id;
    SetUnknown(List.IndexOf(Track.get()));
}

std::vector<std::string> TRecognitionController::PopupEntries(int SelectedRow)
{
    std::vector<std::string> entries{"Edit Info", "Delete", "-", "Play"};
    AlternateRow.reset();
    if (SelectedRow >= 0 && SelectedRow < List.Count()) {
        const TRecordingRow& row = List.Row(SelectedRow);
        if (row.Data && row.State == TRowState::rsSeveralMatches) {
            entries.emplace_back("Choose an alternate track");
            AlternateRow = row.Data;
        }
    }
    return entries;
}

void TRecognitionController::ChooseAlternateTrack(ITrackChooserView& View)
{
    const TTrackDataPtr track = AlternateRow.lock();
    // The entry leaves the menu again whatever happens below.
    AlternateRow.reset();
    if (!track || track->Candidates.empty())
        return;
    if (List.IndexOf(track.get()) < 0)
        return;
    TTrackChooser chooser(View);
    const std::vector<TTrackInfo> candidates = track->Candidates;
    const int chosen = chooser.Choose(candidates);
    // The list may have changed while the window was open: find the row again.
    const int index = List.IndexOf(track.get());
    if (chosen < 0 || index < 0)
        return;
    TRecordingRow row = List.Row(index);
    row.Caption = candidates[static_cast<size_t>(chosen)].Title;
    row.Artist = candidates[static_cast<size_t>(chosen)].Artist;
    row.Album = candidates[static_cast<size_t>(chosen)].Album;
    List.UpdateRow(index, row);
    List.TagAndRename(index);
}

} // namespace kestrune
