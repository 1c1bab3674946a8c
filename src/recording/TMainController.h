#pragma once

#include "common/IDialogs.h"
#include "common/IDispatcher.h"
#include "formats/TGenreList.h"
#include "recording/IRecorderView.h"
#include "recording/IRecordingsView.h"
#include "recording/TAutoWriteRecordings.h"
#include "recording/TRecognitionController.h"
#include "recording/TRecorder.h"
#include "recording/TRecordingsList.h"
#include "settings/ISettingsHost.h"
#include "settings/TOptions.h"

#include <chrono>
#include <memory>
#include <string>

namespace kestrune {

// The main window without its drawing: what it creates at start-up and
// holds until the end (the options, the genre list, the recordings list,
// the song recognition and the recorder), the first-run check and the
// default album name. The desktop window and the command line are views of
// it. Window thread only.
class TMainController final : public ISettingsHost {
public:
    struct TViews {
        IRecorderView& Recorder;
        IRecordingsView& Recordings;
        IDialogs& Dialogs;
        IDispatcher& Dispatcher;
    };

    // Start-up of the main window with options already loaded from their
    // settings file (their mixer notifications posted to Views.Dispatcher):
    // warns when there is no capture device, loads the genre list from
    // GenreFile (none when empty or missing: the choosers stay empty) and
    // opens song recognition when it is switched on.
    TMainController(std::unique_ptr<TOptions> Options, TViews Views, TGenreList& Genres, const std::string& GenreFile);
    // Stops a recording still running, then closes song recognition, waiting
    // for its workers while serving their hand-overs.
    ~TMainController();
    TMainController(const TMainController&) = delete;
    TMainController& operator=(const TMainController&) = delete;

    // True when the settings file did not exist at start-up: the welcome and
    // the first-run settings pass follow.
    bool FirstRun() const override { return FFirstRun; }
    // A noise capture of the first-run settings pass finished.
    void ClearFirstRun() override { FFirstRun = false; }

    // Showing the main window: an empty album name gets the default one for
    // Today.
    void Show(std::chrono::year_month_day Today);
    // "Kestrune yyyy-mm-dd (N)" with the first N from 1 for which no folder
    // of that name exists in Folder.
    static std::string DefaultAlbumName(const std::string& Folder, std::chrono::year_month_day Today);

    // The settings changed whether songs are recognised: opens or closes the
    // client to match AutoRecognize. A client that cannot be opened is not
    // reported (Notice may still say why).
    void ApplyAutoRecognize() override;
    // The recognition service's server or key changed: a client open with
    // the old ones is opened again with the new ones.
    void RecognitionServiceChanged() override;

    TOptions& Options() { return *FOptions; }
    TGenreList& Genres() { return FGenres; }
    TRecordingsList& List() { return FList; }
    TRecognitionController& Recognition() { return FRecognition; }
    TRecorder& Recorder() { return FRecorder; }

    // The burn window for the automatic writing mode: every kept track is
    // offered to it while WriterMode is 1 and it found a writer. Null lets
    // go of it. Burn outlives this controller or is let go first.
    void SetBurn(TBurnController* Burn);

private:
    static constexpr const char* NoDriverText = TAudioIn::NoDriverText;

    bool FFirstRun;
    std::unique_ptr<TOptions> FOptions;
    TGenreList& FGenres;
    TRecordingsList FList;
    TRecognitionController FRecognition;
    TRecorder FRecorder;
    std::unique_ptr<TAutoWriteRecordings> FAutoWrite;
};

} // namespace kestrune
