#pragma once

#include "common/IDialogs.h"
#include "common/IDispatcher.h"
#include "common/TJob.h"
#include "devices/TAudioIn.h"
#include "formats/TMP3Out.h"
#include "formats/TWaveOut.h"
#include "pipeline/TAudioProcessor.h"
#include "recording/IRecorderView.h"
#include "recording/TRecognitionController.h"
#include "recording/TRecordingsList.h"
#include "recording/TTrackLoop.h"

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
// MP3Out1. The capture device is opened once when the recording starts and
// closed when it ends; between two tracks only the file changes, and the
// audio of that moment goes into the next track. Threads: every public call
// on the window thread, except CurrentLevel (any thread); the block handler
// runs on the output's worker, and whatever it changes for the window
// reaches it through the dispatcher.
//
// The recording is a job (jkRecording): Started "Recording...", Progress with
// the running time of the track, a Message for every track kept or dropped,
// and Finished: succeeded when the user stopped it or the device's audio
// ended, failed with the reason otherwise.
class TRecorder : private TJobListenerBase {
public:
    TRecorder(TOptions& Options, TRecordingsList& List, IRecorderView& View, IDialogs& Dialogs,
              IDispatcher& Dispatcher);
    ~TRecorder() override;
    TRecorder(const TRecorder&) = delete;
    TRecorder& operator=(const TRecorder&) = delete;

    void SetAlbumName(const std::string& Value) { AlbumName = Value; }
    const std::string& GetAlbumName() const { return AlbumName; }
    void SetGenre(const std::string& Value) { Genre = Value; }
    const std::string& GetGenre() const { return Genre; }
    void SetTrackOffer(ITrackOffer* Offer) { TrackOffer = Offer; }
    // Song recognition of the main window, or none. While its client is open
    // every track gets a fingerprint generator, and every kept track is
    // handed to a recognition worker. The controller outlives the recorder.
    void SetRecognition(TRecognitionController* Value);

    // Records from an open-able file input instead of the capture device
    // (null: the device again): the split of an existing recording. The
    // capture format follows the file's, and its end ends the recording.
    // The input outlives the recording.
    void SetSource(TACSInput* Source);

    void StartRecording();
    void StopRecording();
    // The close request: true when the window may close now; otherwise the
    // recording is being stopped, and CloseWindow follows once it has ended
    // and the recognition workers are gone.
    bool CloseQuery();
    bool Recording() const;

    TJobEvents& Job() { return FJob; }
    // Tracks of the last recording kept and dropped so far.
    int KeptTracks() const { return Loop.KeptTracks(); }
    int DroppedTracks() const { return Loop.DroppedTracks(); }
    // The status line's text for a finished recording.
    static std::string StatusText(TJobOutcome Outcome, const std::string& Reason);

    // The input level for the meter, published by the audio thread with
    // every block: read it at display rate.
    struct TLevel {
        int Peak = 0;                  // largest sample magnitude of the last block
        int FullScale = 32768;         // of the capture depth
        std::int64_t QuietBytes = 0;   // the quiet run after the last sound
        std::int64_t SilenceBytes = 0; // the run that ends a track
        int NoiseLevel = 0;            // samples under it are quiet (same scale as Peak)
        std::int64_t TrackBytes = 0;   // audio of the current track so far
        int Track = 0;                 // counts the tracks of the recording from 1
    };
    TLevel CurrentLevel() const;

    TAudioIn& AudioIn1() { return FAudioIn1; }
    TWaveOut& WaveOut1() { return FWaveOut1; }
    TMP3Out& MP3Out1() { return FMP3Out1; }
    std::int64_t SilenceBytes() const { return FSilenceBytes; }
    // Bytes per second of the recording's capture format.
    std::int64_t CaptureBytesPerSecond() const { return BytesPerSecond; }
    std::int64_t MinTrackBytes() const { return FMinTrackBytes; }

private:
    TACSFileOut& RecordingOutput();
    void OpenTrack();
    void FinishTrack();
    void TrackFailed(const std::string& Message);
    void KeepOrDropTrack();
    void OnGetData(void* Data, int& N);
    void RunOutput();
    void CloseCapture();
    void EndRecording(TJobOutcome Outcome, std::string Reason);
    void CloseWhenDone();
    void JobFinished(TJobKind Kind, TJobOutcome Outcome, const std::string& Reason) override;

    TOptions& Options;
    TRecordingsList& List;
    IRecorderView& View;
    IDialogs& Dialogs;
    IDispatcher& Dispatcher;
    ITrackOffer* TrackOffer = nullptr;
    TRecognitionController* Recognition = nullptr;
    TJobEvents FJob{TJobKind::jkRecording};

    TAudioIn FAudioIn1;
    TAudioProcessor FAudioProcessor1;
    // What the processor reads: AudioIn1, or a file being split.
    TACSInput* Source = &FAudioIn1;
    // A file source's audio has ended (worker; read once its run is over).
    std::atomic<bool> SourceEnded{false};
    TWaveOut FWaveOut1;
    TMP3Out FMP3Out1;

    std::string AlbumName;
    std::string Genre;
    // Split on the worker while a track runs; kept or dropped on the window
    // thread after its run ended.
    TTrackLoop Loop;
    std::int64_t FSilenceBytes = 0;
    std::int64_t FMinTrackBytes = 0;
    std::int64_t BytesPerSecond = 0;
    int TrackNumber = 0;
    std::atomic<bool> SplitPending{false};
    std::atomic<int> LevelPeak{0};
    std::atomic<std::int64_t> LevelQuiet{0};
    std::atomic<int> LevelFullScale{32768};
    std::atomic<std::int64_t> LevelSilence{0};
    std::atomic<int> LevelNoise{0};
    std::atomic<std::int64_t> LevelTrackBytes{0};
    std::atomic<int> LevelTrack{0};
    bool Closing = false;
    bool CloseSent = false;
    bool Running = false;
    bool UserStopped = false;
    bool CaptureOpen = false;
    // The current track's file was created and its run began.
    bool TrackBegun = false;
    TTrackDataPtr CurrentTrack;
    std::string LastTimeText; // worker only
    // Ended first in the destructor: work posted for the recorder is dropped.
    TLifetime Life;
};

} // namespace kestrune
