#include "cli/TRecordCommand.h"

#include "cli/TCliSettings.h"
#include "common/PathNames.h"
#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "recording/TMainController.h"
#include "settings/TSystemOptionsPlatform.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

namespace kestrune::cli {

const char* TRecordCommand::Usage()
{
    return "Usage: kestrune-cli record --album NAME [options]\n"
           "\n"
           "Records the capture device into FOLDER/NAME, one file per song, cut where\n"
           "the level stays under the noise level for the silence length. Stops at\n"
           "the end of a virtual device's audio, or with Ctrl-C. Settings not given\n"
           "here come from the settings file.\n"
           "\n"
           "Options:\n"
           "  --album NAME        album folder name (required)\n"
           "  --genre NAME        genre of the tracks\n"
           "  --device NAME       capture device: virtual:demo, virtual:FILE.wav,\n"
           "                      alsa:NAME, pulse:SOURCE (see kestrune-cli devices)\n"
           "  --folder DIR        where album folders go (also --out-dir)\n"
           "  --format WAV|MP3    file format of the tracks\n"
           "  --rate HZ           capture rate: 11025, 22050 or 44100\n"
           "  --bits 8|16         capture depth\n"
           "  --channels 1|2      capture channels\n"
           "  --bitrate N         MP3 bit rate index, 0 (8 kbit/s) to 17 (320 kbit/s)\n"
           "  --silence MS        length of quiet that ends a track\n"
           "  --min-length S      seconds of sound below which a track is dropped\n"
           "  --level16 N         noise level of 16-bit capture\n"
           "  --level8 N          noise level of 8-bit capture\n"
           "  --fast              virtual devices deliver as fast as they can\n"
           "  --config FILE       settings file to use\n"
           "  --set S/K=V         a setting of the file for this run only, such as\n"
           "                      --set Silence/SilenceLg=1000; may be given more than once\n"
           "  --json              one JSON object per line on stdout\n"
           "  --quiet             print nothing but errors and results\n"
           "  --help              this text\n";
}

const std::set<std::string>& TRecordCommand::Flags()
{
    static const std::set<std::string> flags{"--fast"};
    return flags;
}

const std::set<std::string>& TRecordCommand::Options()
{
    static const std::set<std::string> options{"--album",      "--genre",   "--device",   "--folder",  "--format",
                                               "--rate",       "--bits",    "--channels", "--bitrate", "--silence",
                                               "--min-length", "--level16", "--level8",   "--config",  "--set"};
    return options;
}

int TRecordCommand::Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted)
{
    if (!Args.Positional().empty())
        throw EUsage("record takes no file names; use --album and --folder");
    const std::string album = Args.Value("--album");
    if (album.empty())
        throw EUsage("record needs --album NAME");

    TPlainDispatcher dispatcher;
    TSystemOptionsPlatform platform;
    std::unique_ptr<TOptions> options = TCliSettings::Open(Args, platform);

    TCliSettings::ApplyTrackOptions(Args, *options);
    if (Args.Has("--rate")) {
        const long rate = Args.Integer("--rate", 22050, 8000, 192000);
        if (rate != 11025 && rate != 22050 && rate != 44100)
            throw EUsage("--rate must be 11025, 22050 or 44100");
        options->SamplesPerSec = static_cast<int>(rate);
    }
    if (Args.Has("--bits")) {
        const long bits = Args.Integer("--bits", 16, 8, 16);
        if (bits != 8 && bits != 16)
            throw EUsage("--bits must be 8 or 16");
        options->BitsPerSample = static_cast<int>(bits);
    }
    options->Channels = static_cast<int>(Args.Integer("--channels", options->Channels, 1, 2));
    options->Bitrate = static_cast<int>(Args.Integer("--bitrate", options->Bitrate, 0, 17));
    options->SilenceLg = static_cast<int>(Args.Integer("--silence", options->SilenceLg, 1, 600000));
    options->MinLength = static_cast<int>(Args.Integer("--min-length", options->MinLength, 0, 36000));
    options->Level16 = static_cast<int>(Args.Integer("--level16", options->Level16.load(), 0, 32767));
    options->Level8 = static_cast<int>(Args.Integer("--level8", options->Level8.load(), 0, 127));
    if (Args.Has("--device")) {
        options->DriverNames = {Args.Value("--device")};
        options->DriverIndex = 0;
    }

    TRecordingsList* listRef = nullptr;
    TCliRecorderView view(Out, listRef);
    TPlainDialogs dialogs;
    // Start-up as the main window's: the genre list, song recognition when it
    // is on, and the warning when there is no capture device.
    TMainController main(std::move(options), {view, view, dialogs, dispatcher}, GenreList(), TGenreList::DefaultFile());
    for (const TPlainDialogs::TShown& shown : dialogs.Shown())
        Out.Info(shown.Text);
    const size_t shownAtStartUp = dialogs.Shown().size();
    listRef = &main.List();
    TRecordingsList& list = main.List();
    TRecognitionController& recognition = main.Recognition();
    if (!recognition.ClientOpen() && !recognition.Notice().empty())
        Out.Info(recognition.Notice());
    // Rows recognition changes are printed like any other, and with --json as
    // their own objects.
    recognition.OnRowRecognised = [&](int Index) {
        const TRecordingRow& row = list.Row(Index);
        Out.JsonOnly("recognised", {{"file", TCliOutput::JsonString(row.Data->FileName)},
                                    {"title", TCliOutput::JsonString(row.Caption)},
                                    {"artist", TCliOutput::JsonString(row.Artist)},
                                    {"album", TCliOutput::JsonString(row.Album)},
                                    {"genre", TCliOutput::JsonString(row.Genre)},
                                    {"seconds", TCliOutput::JsonNumber(row.Data->Duration)}});
    };
    recognition.OnQueryFailed = [&](int Index, const std::string& Error) {
        Out.Info((Index >= 0 ? list.Row(Index).Caption + ": " : std::string()) + Error);
    };
    TRecorder& recorder = main.Recorder();
    recorder.Job().Subscribe(&view);
    recorder.SetAlbumName(album);
    recorder.SetGenre(Args.Value("--genre"));
    recorder.AudioIn1().SetRealTime(!Args.Flag("--fast"));
    // Without a device the start below refuses, and the warning says why.
    if (const std::string device = recorder.AudioIn1().DeviceName(); !device.empty())
        Out.Info("Recording from " + device + " into " +
                 (std::filesystem::path(main.Options().Folder) / CleanPathComponent(album)).string() +
                 "; Ctrl-C stops.");

    recorder.StartRecording();
    // What the start said in a dialog (no album, no capture device), as the
    // window would; a warning that start-up printed already is not repeated.
    for (size_t i = shownAtStartUp; i < dialogs.Shown().size(); ++i) {
        const std::string& text = dialogs.Shown()[i].Text;
        const auto startUp = dialogs.Shown().begin() + static_cast<std::ptrdiff_t>(shownAtStartUp);
        if (std::none_of(dialogs.Shown().begin(), startUp, [&](const auto& S) { return S.Text == text; }))
            Out.Info(text);
    }
    bool stopSent = false;
    // The meter is drawn at display rate from what the audio thread publishes.
    while (!dispatcher.WaitServing([&] { return !recorder.Recording(); }, std::chrono::milliseconds(100))) {
        view.ShowLevel(recorder.CurrentLevel(), std::chrono::steady_clock::now());
        if (Interrupted.load() && !stopSent) {
            recorder.StopRecording();
            stopSent = true;
        }
    }
    Out.EndProgress();
    // Tracks still being recognised get their answers; every query ends
    // within its timeouts, so this wait is bounded.
    if (recognition.RecognitionCount() > 0) {
        Out.Info("Waiting for song recognition...");
        recognition.WaitForWorkers(std::chrono::minutes(5));
    }
    recognition.Close();
    if (!view.Finished) {
        // Refused before it began (no album, no capture device): the dialog
        // said why.
        Out.Error("the recording did not start");
        return 1;
    }
    if (view.FOutcome == TJobOutcome::joFailed) {
        Out.Error(view.Status);
        return 1;
    }
    view.PrintSummary(recorder);
    return 0;
}

} // namespace kestrune::cli
