#include "recording/TRecorder.h"

#include "common/PathNames.h"
#include "common/Rounding.h"
#include "formats/TGenreList.h"
#include "formats/TagTrackFile.h"
#include "settings/TOptions.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <stdexcept>

namespace kestrune {

namespace fs = std::filesystem;

namespace {

// A finished run's worker may still be on its way out when the window thread
// hears of the end; it has nothing left to do but return.
constexpr auto IdleWait = std::chrono::seconds(10);

} // namespace

TRecorder::TRecorder(TOptions& O, TRecordingsList& L, IRecorderView& V, IDialogs& D, IDispatcher& Disp)
    : Options(O), List(L), View(V), Dialogs(D), Dispatcher(Disp)
{
    FAudioIn1.SetBaseChannel(0);
    FAudioIn1.SetInBitsPerSample(16);
    FAudioIn1.SetInChannels(2);
    FAudioIn1.SetInSampleRate(22050);
    FAudioIn1.SetRecTime(-1);

    FAudioProcessor1.SetInput(&FAudioIn1);
    // The chain-opening handler: every run is a new track, measured from its
    // start. The capture device is already open and stays so.
    FAudioProcessor1.OnInit = [this](TComponent*, std::int64_t& TotalSize) {
        Loop.BeginTrack();
        LastTimeText.clear();
        TrackBegun = true;
        TotalSize = -1;
    };
    // The end of a track's run leaves the device open for the next track.
    FAudioProcessor1.OnFlush = [](TComponent*) {};
    FAudioProcessor1.OnGetData = [this](TComponent*, void* Data, int& N) { OnGetData(Data, N); };

    auto done = [this](TComponent*) { Dispatcher.Post(Life.Token(), [this] { FinishTrack(); }); };
    auto failed = [this](TComponent*, const std::exception& E) {
        const std::string message = E.what();
        Dispatcher.Post(Life.Token(), [this, message] { TrackFailed(message); });
    };
    for (TACSFileOut* out : {static_cast<TACSFileOut*>(&FWaveOut1), static_cast<TACSFileOut*>(&FMP3Out1)}) {
        out->SetInput(&FAudioProcessor1);
        out->SetFileMode(TFileOutputMode::foRewrite);
        // Each track gets a name no file has; one that appears meanwhile is
        // not replaced.
        out->SetOverwrite(false);
        out->SetSuspendWhenIdle(true);
        out->OnDone = done;
        out->OnThreadException = failed;
    }
    FMP3Out1.SetBitRate(TMP3BitRate::br128);
}

TRecorder::~TRecorder()
{
    Life.End();
    if (Recognition)
        Recognition->Job().Unsubscribe(this);
    for (TACSOutput* out : {static_cast<TACSOutput*>(&FWaveOut1), static_cast<TACSOutput*>(&FMP3Out1)}) {
        out->Stop();
        out->WaitForIdle(IdleWait);
    }
    CloseCapture();
}

void TRecorder::SetRecognition(TRecognitionController* Value)
{
    if (Recognition)
        Recognition->Job().Unsubscribe(this);
    Recognition = Value;
    if (Recognition)
        Recognition->Job().Subscribe(this);
}

void TRecorder::SetSource(TACSInput* Value)
{
    if (Running)
        return;
    Source = Value ? Value : &FAudioIn1;
    FAudioProcessor1.SetInput(Source);
}

bool TRecorder::Recording() const
{
    return Running;
}

std::string TRecorder::StatusText(TJobOutcome Outcome, const std::string& Reason)
{
    if (Outcome == TJobOutcome::joFailed)
        return "Error " + Reason;
    // A reason on success says what became of the last track.
    return Reason.empty() ? "Recording Finished" : "Recording Finished: " + Reason;
}

TRecorder::TLevel TRecorder::CurrentLevel() const
{
    TLevel level;
    level.Peak = LevelPeak.load(std::memory_order_relaxed);
    level.FullScale = LevelFullScale.load(std::memory_order_relaxed);
    level.QuietBytes = LevelQuiet.load(std::memory_order_relaxed);
    level.SilenceBytes = LevelSilence.load(std::memory_order_relaxed);
    level.NoiseLevel = LevelNoise.load(std::memory_order_relaxed);
    level.TrackBytes = LevelTrackBytes.load(std::memory_order_relaxed);
    level.Track = LevelTrack.load(std::memory_order_relaxed);
    level.Clips = LevelClips.load(std::memory_order_relaxed);
    return level;
}

TACSFileOut& TRecorder::RecordingOutput()
{
    if (Options.Format == "WAV")
        return FWaveOut1;
    return FMP3Out1;
}

void TRecorder::StartRecording()
{
    if (AlbumName.empty()) {
        Dialogs.Warning("Please enter an Album Name.");
        View.FocusAlbumName();
        return;
    }
    if (Running)
        return;
    const bool fromDevice = Source == &FAudioIn1;
    // Virtual devices are used only when named: without a real device and
    // none chosen there is nothing to record from.
    const std::string driver = fromDevice ? Options.ChosenDriver() : std::string();
    if (fromDevice && driver.empty()) {
        Dialogs.Warning(TAudioIn::NoDriverText);
        return;
    }
    try {
        View.EnableControls(false);
        Closing = CloseSent = UserStopped = false;
        SourceEnded = false;
        FJob.Started("Recording...");
        // A recording the user stops, or whose device fails, keeps the audio
        // it has. The split of a file is another matter: a track cut off by
        // an interruption did not end by the rules and leaves no file.
        for (TACSFileOut* out : {static_cast<TACSFileOut*>(&FWaveOut1), static_cast<TACSFileOut*>(&FMP3Out1)})
            out->SetKeepCutShort(fromDevice);
        if (fromDevice) {
            // MP3 is always recorded in stereo.
            if (Options.Channels == 1 && Options.Format == "MP3")
                Options.Channels = 2;
            FAudioIn1.SetDevice(driver);
            FAudioIn1.SetInBitsPerSample(Options.BitsPerSample);
            FAudioIn1.SetInSampleRate(Options.SamplesPerSec);
            FAudioIn1.SetInChannels(Options.Channels);
            FAudioIn1.OpenInput();
        } else {
            Source->OpenInput();
        }
        CaptureOpen = true;
        const int bits = Source->InBitsPerSample();
        const int channels = Source->InChannels();
        const int rate = Source->InSampleRate();
        const std::int64_t frameBytes = static_cast<std::int64_t>(channels) * (bits / 8);
        BytesPerSecond = rate * frameBytes;
        FSilenceBytes = static_cast<std::int64_t>(Options.SilenceLg) * BytesPerSecond / 1000;
        FMinTrackBytes = static_cast<std::int64_t>(Options.MinLength) * BytesPerSecond;
        Loop.Configure(bits, channels, rate, FSilenceBytes, FMinTrackBytes);
        LevelFullScale = bits == 8 ? 128 : (bits == 16 ? 32768 : 8388608);
        LevelPeak = 0;
        LevelQuiet = 0;
        LevelSilence = FSilenceBytes;
        LevelTrack = 0;
        LevelTrackBytes = 0;
        LevelClips = 0;
        // A file being split is what it is; only a device's level can be
        // mended. The demo card begins with quiet on purpose: a warning
        // about it would only puzzle someone trying the program out.
        if (fromDevice && driver != "virtual:demo")
            LevelCheck.Reset(bits, channels, rate);
        else
            LevelCheck.Reset(0, 0, 0);

        // The mixer follows the device that records.
        if (fromDevice)
            Options.SetUpMixer(FAudioIn1.DeviceName());

        TrackNumber = 0;
        DroppedNote.clear();
        MadeAlbumFolder.clear();
        OpenTrack();
        SplitPending = false;
        if (Options.Format != "WAV")
            FMP3Out1.SetBitRate(static_cast<TMP3BitRate>(std::clamp(Options.Bitrate, 0, MP3BitRateCount - 1)));
        Running = true;
        RunOutput();
    } catch (const std::exception& e) {
        // Nothing was recorded: a row already added for the first track goes.
        if (CurrentTrack) {
            List.Remove(List.IndexOf(CurrentTrack.get()));
            CurrentTrack.reset();
        }
        EndRecording(TJobOutcome::joFailed, std::string("- Cannot start recorder: ") + e.what());
    }
}

void TRecorder::RunOutput()
{
    // A failure to create the file comes back as a thread exception, posted
    // like any other, and ends the recording there.
    TrackBegun = false;
    RecordingOutput().Run();
}

void TRecorder::OpenTrack()
{
    // The album name comes from the user: it names one folder, never a path.
    const fs::path album = fs::path(Options.Folder) / CleanPathComponent(AlbumName);
    if (fs::create_directories(album))
        MadeAlbumFolder = album;
    const std::string extension = "." + Options.Format;
    while (fs::exists(album / ("Track" + std::to_string(TrackNumber) + extension)))
        ++TrackNumber;
    const std::string title = "Track" + std::to_string(TrackNumber) + extension;
    const std::string fileName = (album / title).string();
    if (extension == ".WAV")
        FWaveOut1.SetFileName(fileName);
    else
        FMP3Out1.SetFileName(fileName);

    TRecordingRow row;
    row.Caption = title;
    row.Artist = "Recording...";
    row.Album = AlbumName;
    row.Genre = Genre;
    row.Time = "00:00";
    row.State = TRowState::rsRecorded;
    row.Data = std::make_shared<TTrackData>();
    row.Data->FileName = fileName;
    // One fingerprint generator per track while a recognition client exists;
    // it is fed on the output's worker with what goes into the file.
    if (Recognition && Recognition->ClientOpen())
        row.Data->Trm =
            Recognition->NewGenerator(Source->InSampleRate(), Source->InChannels(), Source->InBitsPerSample());
    CurrentTrack = row.Data;
    List.Append(std::move(row));
    LevelTrack.fetch_add(1, std::memory_order_relaxed);
}

void TRecorder::OnGetData(void* Data, int& N)
{
    const TTrackLoop::TRead read = [this](void* Buffer, int Size) {
        const int got = Source->ReadBlock(Buffer, Size);
        if (got == 0)
            SourceEnded = true;
        if (got > 0)
            WarnAboutLevel(LevelCheck.Feed(Buffer, got));
        LevelClips.store(LevelCheck.Clips(), std::memory_order_relaxed);
        return got;
    };
    const int level8 = Options.Level8.load();
    const int level16 = Options.Level16.load();
    const int n = Loop.Next(static_cast<std::uint8_t*>(Data), N, read, level8, level16);
    N = n;
    if (Loop.Split())
        SplitPending = true;
    if (n < 0)
        return;
    LevelPeak.store(Loop.Peak(), std::memory_order_relaxed);
    LevelQuiet.store(Loop.QuietRun(), std::memory_order_relaxed);
    const int full = LevelFullScale.load(std::memory_order_relaxed);
    LevelNoise.store(full == 128 ? level8 : (full == 32768 ? level16 : level16 * 256), std::memory_order_relaxed);
    LevelTrackBytes.store(Loop.Written(), std::memory_order_relaxed);
    if (n == 0)
        return;

    std::string timeText;
    if (BytesPerSecond > 0) {
        const auto seconds = static_cast<int>(DivRoundHalfEven(Loop.Written(), BytesPerSecond));
        timeText = TRecordingsList::TimeText(seconds);
        if (timeText == LastTimeText)
            timeText.clear();
        else
            LastTimeText = timeText;
    }
    TTrackData* track = CurrentTrack.get();
    // The record's generator was set before this run began and is taken over
    // only after it ended, so the worker may use it here without a lock.
    bool enough = false;
    if (track && track->Trm && !track->Trm->Enough())
        enough = track->Trm->Feed(Data, n);
    if (!enough && timeText.empty())
        return;
    // Only when the shown second changes (or the fingerprint has enough):
    // nothing is posted for most blocks.
    Dispatcher.Post(Life.Token(), [this, timeText, track, enough] {
        const int row = List.IndexOf(track);
        if (row < 0)
            return;
        if (enough)
            track->TrmId = "Pending";
        if (timeText.empty())
            return;
        TRecordingRow updated = List.Row(row);
        updated.Time = timeText;
        List.UpdateRow(row, updated);
        FJob.Progress(-1, timeText + " " + updated.Caption);
    });
}

void TRecorder::WarnAboutLevel(TInputLevelWarning Warning)
{
    if (Warning == TInputLevelWarning::ilNone)
        return;
    Dispatcher.Post(Life.Token(), [this, Warning] {
        if (Running)
            FJob.Message(TJobMessageKind::jmWarning, TInputLevelCheck::Text(Warning, false));
    });
}

void TRecorder::KeepOrDropTrack()
{
    if (!CurrentTrack)
        return;
    const TTrackDataPtr track = std::move(CurrentTrack);
    const int row = List.IndexOf(track.get());
    const std::string caption = row >= 0 ? List.Row(row).Caption : fs::path(track->FileName).filename().string();
    std::error_code error;
    if (!TrackBegun) {
        // The track's file was never created: its row goes, and nothing of
        // the last track is counted again.
        List.Remove(row);
        return;
    }
    if (!RecordingOutput().Committed()) {
        // The run was cut short and its file given up (a split interrupted
        // or failed half-way): there is no track.
        List.Remove(row);
        FJob.Message(TJobMessageKind::jmInfo, caption + " dropped: cut off before it ended");
        return;
    }
    const TTrackLoop::TTrackEnd end = Loop.EndTrack();
    track->StartByte = Loop.TrackStart();
    if (!end.Kept) {
        fs::remove(track->FileName, error);
        // A folder this run made and nothing stayed in: an album of no
        // tracks leaves no trace (the next track makes it again).
        if (!MadeAlbumFolder.empty() && fs::path(track->FileName).parent_path() == MadeAlbumFolder &&
            fs::is_empty(MadeAlbumFolder, error) && !error) {
            fs::remove(MadeAlbumFolder, error);
            MadeAlbumFolder.clear();
        }
        List.Remove(row);
        View.TrackFinished(-1, false);
        // A track of no sound at all (the one opened after the last song's
        // quiet) is not worth a word.
        DroppedNote = end.SoundBytes == 0 ? std::string()
                                          : caption + " was shorter than the minimum of " +
                                                std::to_string(Options.MinLength) + " s and was dropped";
        FJob.Message(TJobMessageKind::jmInfo, caption + " dropped: less sound than the minimum length");
        return;
    }
    DroppedNote.clear();
    const int seconds = end.Seconds;
    const auto size = fs::file_size(track->FileName, error);
    const double kilobytes =
        error ? static_cast<double>(end.SoundBytes + 44) / 1024.0 : static_cast<double>(size) / 1024.0;
    List.AddToTotals(seconds, kilobytes);
    track->Duration = seconds;
    // The album, genre and place in the recording (counting kept tracks)
    // go into the file at once; title and artist follow when the track is
    // recognised or edited.
    try {
        TagTrackFile(track->FileName, "", "", AlbumName, Genre, GenreList(), Loop.KeptTracks());
    } catch (const std::exception& e) {
        FJob.Message(TJobMessageKind::jmWarning, caption + " could not be tagged: " + e.what());
    }
    const bool recognise = row >= 0 && track->Trm && Recognition && Recognition->ClientOpen();
    if (!recognise)
        track->Trm.reset();
    if (row >= 0) {
        TRecordingRow updated = List.Row(row);
        updated.Artist = recognise ? "Querying online database..." : "Unknown";
        updated.Time = TRecordingsList::TimeText(seconds);
        List.UpdateRow(row, updated);
    }
    if (recognise) {
        // Message 1125: the row is found again by its record when the
        // message is carried out, wherever it has moved meanwhile.
        TTrackData* data = track.get();
        Dispatcher.Post(Life.Token(), [this, data] {
            if (!Recognition)
                return;
            const int index = List.IndexOf(data);
            if (index >= 0)
                Recognition->StartRecognition(index);
        });
    }
    View.TrackFinished(row, true);
    FJob.Message(TJobMessageKind::jmInfo, caption + " kept: " + TRecordingsList::TimeText(seconds));
    if (TrackOffer && Options.WriterMode == 1 && TrackOffer->WriterAvailable())
        TrackOffer->OfferTrack(row, track->FileName, seconds);
}

void TRecorder::FinishTrack()
{
    if (!Running)
        return;
    KeepOrDropTrack();
    // A virtual device at the end of its file ends the recording as Stop
    // does, once what it delivered last has had its track.
    const bool more = !SourceEnded || Loop.HasCarry();
    if (SplitPending.exchange(false) && !UserStopped && more) {
        try {
            if (!RecordingOutput().WaitForIdle(IdleWait))
                throw std::runtime_error("- the recording output did not finish its last track within 10 seconds");
            OpenTrack();
            RunOutput();
        } catch (const std::exception& e) {
            TrackFailed(e.what());
        }
        return;
    }
    EndRecording(TJobOutcome::joSucceeded, DroppedNote);
}

void TRecorder::TrackFailed(const std::string& Message)
{
    if (!Running)
        return;
    // The output is idle and its file complete; the track is kept or dropped
    // by the same rules as one the user stopped (a file never created has no
    // row at all).
    KeepOrDropTrack();
    SplitPending = false;
    EndRecording(TJobOutcome::joFailed, Message);
}

void TRecorder::CloseCapture()
{
    if (!CaptureOpen)
        return;
    CaptureOpen = false;
    try {
        Source->CloseInput();
    } catch (const std::exception&) {
        // Closing a device that failed cannot fail the recording again.
    }
}

void TRecorder::EndRecording(TJobOutcome Outcome, std::string Reason)
{
    // The device is closed only once nothing reads it any more; an output
    // that never gets there leaves it open and says so.
    if (RecordingOutput().WaitForIdle(IdleWait)) {
        CloseCapture();
    } else {
        Outcome = TJobOutcome::joFailed;
        Reason = (Reason.empty() ? "- " : Reason + "; ") +
                 "the recording output did not finish within 10 seconds, the capture device stays open";
    }
    Running = false;
    View.EnableControls(true);
    FJob.Finished(Outcome, Reason);
    if (Closing)
        CloseWhenDone();
}

void TRecorder::StopRecording()
{
    UserStopped = true;
    SplitPending = false;
    if (Running)
        FJob.SetStopping();
    if (FWaveOut1.Busy())
        FWaveOut1.Stop();
    else if (FMP3Out1.Busy())
        FMP3Out1.Stop();
    // Closing: the workers are told to end; the window closes when the last
    // has ended (CloseWhenDone, from their job events).
    if (Closing && Recognition)
        Recognition->TerminateAll();
}

void TRecorder::CloseWhenDone()
{
    if (CloseSent || Running)
        return;
    if (Recognition && Recognition->RecognitionCount() > 0) {
        Recognition->TerminateAll();
        return; // JobFinished of the last worker comes back here
    }
    CloseSent = true;
    View.CloseWindow();
}

void TRecorder::JobFinished(TJobKind Kind, TJobOutcome, const std::string&)
{
    if (Kind == TJobKind::jkRecognition && Closing)
        CloseWhenDone();
}

bool TRecorder::CloseQuery()
{
    if ((!FWaveOut1.Busy() && !FMP3Out1.Busy() && !Running) || Closing)
        return true;
    Closing = true;
    StopRecording();
    return false;
}

} // namespace kestrune
