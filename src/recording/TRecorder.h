#pragma once

#include "common/IDialogs.h"
#include "common/IDispatcher.h"
#include "devices/TAudioIn.h"
#include "formats/TMP3Out.h"
#include "formats/TWaveOut.h"
#include "pipeline/TAudioProcessor.h"
#include "recording/IRecorderView.h"
#include "recording/TRecognitionController.h"
#include "recording/TRecordingsList.h"
#include "recording/TTrackSplitter.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace kestrune {

class TOptions;

// The recorder of the main window: records the capture input into the album
// folder, one file per song, cutting where the level stayed under the noise
// level for the silence length, dropping tracks with too little sound, and
// starting the next track at once until the user stops it (or a virtual
// device's file ends).
//
// Chain: AudioIn1 -> AudioProcessor1 (the block handler) -> WaveOut1 or
// MP3Out1. Threads: every public call on the window thread; the block
// handler runs on the output's worker, and whatever it changes for the
// window reaches it through the dispatcher.
class TRecorder {
public:
    TRecorder(TOptions& Options, TRecordingsList& List, IRecorderView& View, IDialogs& Dialogs,
              IDispatcher& Dispatcher);
    ~TRecorder();
    TRecorder(const TRecorder&) = delete;
    TRecorder& operator=(const TRecorder&) = delete;

    void SetAlbumName(const std::string& Value) { AlbumName = Value; }
    const std::string& GetAlbumName() const { return AlbumName; }
    void SetGenre(const std::string& Value) { Genre = Value; }
    void SetTrackOffer(ITrackOffer* Offer) { TrackOffer = Offer; }
    // Song recognition of the main window, or none. While its client is open
    // every track gets a fingerprint generator, and every kept track is
    // handed to a recognition worker. The controller outlives the recorder.
    void SetRecognition(TRecognitionController* Value) { Recognition = Value; }

    void StartRecording();
    void StopRecording();
    // The close request: true when the window may close now; otherwise the
    // recording is being stopped and the window closes by itself afterwards.
    bool CloseQuery();
    bool Recording() const;

    TAudioIn& AudioIn1() { return FAudioIn1; }
    TWaveOut& WaveOut1() { return FWaveOut1; }
    TMP3Out& MP3Out1() { return FMP3Out1; }
    std::int64_t SilenceBytes() const { return FSilenceBytes; }
    std::int64_t MinTrackBytes() const { return FMinTrackBytes; }

private:
    TACSFileOut& RecordingOutput();
    void OpenTrack();
    void FinishTrack();
    void TrackFailed(const std::string& Message);
    void KeepOrDropTrack();
    void OnGetData(void* Data, int& N);
    void RunOutput();

    TOptions& Options;
    TRecordingsList& List;
    IRecorderView& View;
    IDialogs& Dialogs;
    IDispatcher& Dispatcher;
    ITrackOffer* TrackOffer = nullptr;
    TRecognitionController* Recognition = nullptr;

    TAudioIn FAudioIn1;
    TAudioProcessor FAudioProcessor1;
    TWaveOut FWaveOut1;
    TMP3Out FMP3Out1;

    std::string AlbumName;
    std::string Genre;
    TTrackSplitter Splitter;
    std::int64_t FSilenceBytes = 0;
    std::int64_t FMinTrackBytes = 0;
    std::int64_t BytesPerSecond = 0;
    int TrackNumber = 0;
    std::atomic<bool> SplitPending{false};
    bool Closing = false;
    bool Running = false;
    TTrackDataPtr CurrentTrack;
    std::string LastTimeText; // worker only
    // Ended first in the destructor: work posted for the recorder is dropped.
    TLifetime Life;
};

} // namespace kestrune
