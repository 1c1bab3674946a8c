#include "recording/TRecorder.h"

#include "common/PathNames.h"
#include "common/Rounding.h"
#include "settings/TOptions.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace kestrune {

namespace fs = std::filesystem;

TRecorder::TRecorder(TOptions& O, TRecordingsList& L, IRecorderView& V, IDialogs& D, IDispatcher& Disp)
    : Options(O), List(L), View(V), Dialogs(D), Dispatcher(Disp)
{
    FAudioIn1.SetBaseChannel(0);
    FAudioIn1.SetInBitsPerSample(16);
    FAudioIn1.SetInChannels(2);
    FAudioIn1.SetInSampleRate(22050);
    FAudioIn1.SetRecTime(-1);

    FAudioProcessor1.SetInput(&FAudioIn1);
    // The chain-opening handler: every run is a new track, measured from its start.
    FAudioProcessor1.OnInit = [this](TComponent*, std::int64_t& TotalSize) {
        Splitter.Reset();
        LastTimeText.clear();
        FAudioIn1.OpenInput();
        TotalSize = FAudioIn1.Size();
    };
    FAudioProcessor1.OnGetData = [this](TComponent*, void* Data, int& N) { OnGetData(Data, N); };

    auto done = [this](TComponent*) {
        Dispatcher.Post(Life.Token(), [this] {
            FinishTrack();
        });
    };
    auto failed = [this](TComponent*, const std::exception& E) {
        const std::string message = E.what();
        Dispatcher.Post(Life.Token(), [this, message] {
            TrackFailed(message);
        });
    };
    for (TACSFileOut* out : {static_cast<TACSFileOut*>(&FWaveOut1), static_cast<TACSFileOut*>(&FMP3Out1)}) {
        out->SetInput(&FAudioProcessor1);
        out->SetFileMode(TFileOutputMode::foRewrite);
        out->SetSuspendWhenIdle(true);
        out->OnDone = done;
        out->OnThreadException = failed;
    }
    FMP3Out1.SetBitRate(TMP3BitRate::br128);
}

TRecorder::~TRecorder()
{
    Life.End();
    for (TACSOutput* out : {static_cast<TACSOutput*>(&FWaveOut1), static_cast<TACSOutput*>(&FMP3Out1)}) {
        out->Stop();
        out->WaitForIdle(std::chrono::seconds(10));
    }
}

bool TRecorder::Recording() const
{
    return Running;
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
    try {
        View.EnableControls(false);
        View.SetStatus("Recording...");
        // MP3 is always recorded in stereo.
        if (Options.Channels == 1 && Options.Format == "MP3")
            Options.Channels = 2;
        if (const std::string driver = Options.ChosenDriver(); !driver.empty())
            FAudioIn1.SetDevice(driver);
        FAudioIn1.SetInBitsPerSample(Options.BitsPerSample);
        FAudioIn1.SetInSampleRate(Options.SamplesPerSec);
        FAudioIn1.SetInChannels(Options.Channels);

        const std::int64_t frameBytes = static_cast<std::int64_t>(Options.Channels) * (Options.BitsPerSample / 8);
        BytesPerSecond = Options.SamplesPerSec * frameBytes;
        FSilenceBytes = static_cast<std::int64_t>(Options.SilenceLg) * BytesPerSecond / 1000;
        FMinTrackBytes = static_cast<std::int64_t>(Options.MinLength) * BytesPerSecond;
        Splitter.Configure(Options.BitsPerSample, Options.Channels, FSilenceBytes, Options.SamplesPerSec);

        TrackNumber = 0;
        OpenTrack();
        SplitPending = false;
        if (Options.Format != "WAV")
            FMP3Out1.SetBitRate(static_cast<TMP3BitRate>(std::clamp(Options.Bitrate, 0, MP3BitRateCount - 1)));
        Running = true;
        RunOutput();
    } catch (const std::exception&) {
        Running = false;
        View.SetStatus("Error - Cannot start recorder");
        View.EnableControls(true);
    }
}

void TRecorder::RunOutput()
{
    // A failure to open the file or the device comes back as a thread
    // exception, posted like any other, and ends the recording there.
    RecordingOutput().Run();
}

void TRecorder::OpenTrack()
{
    // The album name comes from the user: it names one folder, never a path.
    const fs::path album = fs::path(Options.Folder) / CleanPathComponent(AlbumName);
    fs::create_directories(album);
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
    row.Icon = 0;
    row.Data = std::make_shared<TTrackData>();
    row.Data->FileName = fileName;
    // One fingerprint generator per track while a recognition client exists;
    // it is fed on the output's worker with what goes into the file.
    if (Recognition && Recognition->ClientOpen())
        row.Data->Trm = Recognition->NewGenerator(FAudioIn1.InSampleRate(), FAudioIn1.InChannels(),
                                                  FAudioIn1.InBitsPerSample());
    CurrentTrack = row.Data;
    List.Append(std::move(row));
}

void TRecorder::OnGetData(void* Data, int& N)
{
    const int got = FAudioIn1.ReadBlock(Data, N);
    if (got <= 0) {
        // 0: the device's audio ended (a virtual file); -1: nothing yet.
        N = got;
        return;
    }
    const std::int64_t base = FAudioProcessor1.Position();
    const TTrackSplitter::TBlock block = Splitter.Process(static_cast<std::uint8_t*>(Data), got, base,
                                                         Options.Level8.load(), Options.Level16.load());
    if (block.Split)
        SplitPending = true;
    N = block.HandOn;

    const int bits = FAudioIn1.InBitsPerSample();
    const int fullScale = bits == 8 ? 128 : (bits == 16 ? 32768 : 8388608);
    const std::int64_t silence = FSilenceBytes;
    std::string timeText;
    if (N > 0 && BytesPerSecond > 0) {
        const auto seconds = static_cast<int>(DivRoundHalfEven(N + base, BytesPerSecond));
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
    if (N > 0 && track && track->Trm && !track->Trm->Enough())
        enough = track->Trm->Feed(Data, N);
    Dispatcher.Post(Life.Token(), [this, block, fullScale, silence, timeText, track, enough] {
        View.ShowLevel(block.Peak, fullScale, block.QuietRun, silence);
        if (enough && List.IndexOf(track) >= 0)
            track->TrmId = "Pending";
        if (timeText.empty())
            return;
        const int row = List.IndexOf(track);
        if (row < 0)
            return;
        TRecordingRow updated = List.Row(row);
        updated.Time = timeText;
        List.UpdateRow(row, updated);
    });
}

void TRecorder::KeepOrDropTrack()
{
    if (!CurrentTrack)
        return;
    const TTrackDataPtr track = std::move(CurrentTrack);
    const int row = List.IndexOf(track.get());
    const std::int64_t sound = Splitter.SoundLength();
    std::error_code error;
    if (sound < FMinTrackBytes) {
        fs::remove(track->FileName, error);
        List.Remove(row);
        View.TrackFinished(-1, false);
        return;
    }
    const int seconds = BytesPerSecond > 0 ? static_cast<int>(DivRoundHalfEven(sound, BytesPerSecond)) : 0;
    const auto size = fs::file_size(track->FileName, error);
    const double kilobytes = error ? static_cast<double>(sound + 44) / 1024.0 : static_cast<double>(size) / 1024.0;
    List.AddToTotals(seconds, kilobytes);
    track->Duration = seconds;
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
    if (TrackOffer && Options.WriterMode == 1 && TrackOffer->WriterAvailable())
        TrackOffer->OfferTrack(row, track->FileName, seconds);
}

void TRecorder::FinishTrack()
{
    if (!Running)
        return;
    KeepOrDropTrack();
    // A virtual device at the end of its file ends the recording as Stop does.
    if (FAudioIn1.EndOfCapture())
        SplitPending = false;
    if (SplitPending.exchange(false)) {
        try {
            OpenTrack();
            RecordingOutput().WaitForIdle(std::chrono::seconds(10));
            RunOutput();
        } catch (const std::exception& e) {
            TrackFailed(e.what());
            return;
        }
        if (Closing)
            View.CloseWindow();
        return;
    }
    Running = false;
    View.SetStatus("Recording Finished");
    View.EnableControls(true);
}

void TRecorder::TrackFailed(const std::string& Message)
{
    // The output is idle and its file complete; the track is kept or dropped
    // by the same rules as one the user stopped.
    KeepOrDropTrack();
    Running = false;
    SplitPending = false;
    View.SetStatus("Error " + Message);
    View.EnableControls(true);
}

void TRecorder::StopRecording()
{
    SplitPending = false;
    if (FWaveOut1.Busy())
        FWaveOut1.Stop();
    else if (FMP3Out1.Busy())
        FMP3Out1.Stop();
    // Closing: the workers are told to end, and waited for while their
    // hand-overs are still carried out.
    if (Closing && Recognition && Recognition->RecognitionCount() > 0) {
        Recognition->TerminateAll();
        Recognition->WaitForWorkers(std::chrono::seconds(60));
    }
}

bool TRecorder::CloseQuery()
{
    if ((!FWaveOut1.Busy() && !FMP3Out1.Busy()) || Closing)
        return true;
    Closing = true;
    StopRecording();
    return false;
}

} // namespace kestrune
