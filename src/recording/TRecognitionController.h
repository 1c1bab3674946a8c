#pragma once

#include "common/IDispatcher.h"
#include "common/TJob.h"
#include "recognition/TRecognitionClient.h"
#include "recognition/TRecognitionWorker.h"
#include "recording/ITrackChooserView.h"
#include "recording/TRecordingsList.h"
#include "recording/TTrackChooser.h"

#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kestrune {

class TOptions;

// Song recognition as the main window runs it: the process-wide client
// (`RecognitionClient`), the workers of the finished tracks
// (`RecognitionWorkers`, `RecognitionCount`), the result steps that write
// into the recordings list, and the alternate-track choice.
//
// Window thread only. Workers find their row again by its record, so rows
// moved or deleted while they run are never confused: a deleted row's result
// is dropped. Every track's recognition is a job (jkRecognition): Started
// when its worker starts, Finished when the worker has ended (succeeded with
// a result or "Unknown", failed when the query failed, cancelled when it was
// told to end).
class TRecognitionController {
public:
    TRecognitionController(TRecordingsList& List, IDispatcher& Dispatcher);
    // Closes the client (waiting for the workers, still serving the dispatcher).
    ~TRecognitionController();
    TRecognitionController(const TRecognitionController&) = delete;
    TRecognitionController& operator=(const TRecognitionController&) = delete;

    // What the client is opened with: server, key and the proxy settings.
    static TRecognitionSettings SettingsFrom(const TOptions& Options);

    // Opens the client (`OpenRecognitionClient`); a client already open is
    // closed first. False when none could be opened: without the library
    // nothing is said; without an application key Notice says so, once per
    // controller, for the status line or the command line.
    bool Open(const TRecognitionSettings& Settings);
    // Closes the client: asks the workers to terminate, waits for them while
    // carrying out what they hand over (at most Timeout; a job message names
    // the tracks whose workers had not ended by then), then lets the library
    // go.
    void Close(std::chrono::milliseconds Timeout = std::chrono::seconds(20));
    TJobEvents& Job() { return FJob; }
    bool ClientOpen() const { return Client != nullptr; }
    // The sentence to show once after Open, or empty.
    const std::string& Notice() const { return FNotice; }

    // A generator for a new track in the capture format, or null without a
    // client (or when the library refuses the format).
    std::unique_ptr<TFingerprintGenerator> NewGenerator(int SampleRate, int Channels, int BitsPerSample) const;

    // Starts a worker for the row (message 1125). A row without a generator
    // ends as "Unknown" at once.
    void StartRecognition(int Row);
    int RecognitionCount() const { return FRecognitionCount; }
    // Asks every worker to terminate; they end soon and leave their rows as
    // they were.
    void TerminateAll();
    // Serves the dispatcher until every worker has ended or Timeout passed;
    // true when none is left.
    bool WaitForWorkers(std::chrono::milliseconds Timeout);

    // The list's popup menu for the selected row (-1 none): "Edit Info",
    // "Delete", "-" (separator), "Play", and "Choose an alternate track" when
    // the row's recognition found several tracks.
    std::vector<std::string> PopupEntries(int SelectedRow);
    // The popup's "Choose an alternate track": shows the candidates of the
    // row the popup was opened on; the chosen one is written into the row
    // and its file. Tag errors reach the caller.
    void ChooseAlternateTrack(ITrackChooserView& View);

    // Told after recognition changed a row (result or "Unknown"): the one
    // callback of the window or the command line, then every listener added
    // below, in the order they were added.
    std::function<void(int Row)> OnRowRecognised;
    // Adds a listener to the recognised rows; the number it returns takes it
    // away again (a listener may take itself away while it is told).
    int AddRowRecognisedListener(std::function<void(int Row)> Listener);
    void RemoveRowRecognisedListener(int Id);
    // Told when a query failed; the row keeps "Querying online database...",
    // with the reason as its hint.
    std::function<void(int Row, const std::string& Error)> OnQueryFailed;

private:
    void ShowResult(const TTrackDataPtr& Track, const TLookupResult& Result);
    void ShowUnknown(const TTrackDataPtr& Track, const std::string& Id);
    struct TOutcome {
        TJobOutcome Outcome = TJobOutcome::joCancelled;
        std::string Reason;
        std::string Caption;
    };
    void RecognitionEnded(TRecognitionWorker* Worker, const TOutcome& Outcome);
    void SetUnknown(int Row);
    void TellRowRecognised(int Row);

    TRecordingsList& List;
    IDispatcher& Dispatcher;
    std::shared_ptr<TRecognitionClient> Client;
    std::string FNotice;
    bool NoticeGiven = false;
    std::list<std::unique_ptr<TRecognitionWorker>> Workers;
    std::list<std::shared_ptr<TOutcome>> Outcomes; // of the running workers, in the same order
    TJobEvents FJob{TJobKind::jkRecognition};
    int FRecognitionCount = 0;
    std::vector<std::pair<int, std::function<void(int Row)>>> RowRecognisedListeners;
    int NextListenerId = 1;
    std::weak_ptr<TTrackData> AlternateRow;
    TLifetime Life; // ended after the workers are gone: their steps are dropped from then on
};

} // namespace kestrune
