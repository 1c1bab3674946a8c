#pragma once

#include "common/IDialogs.h"
#include "common/IDispatcher.h"
#include "common/TJob.h"
#include "convert/IConvertView.h"
#include "formats/TFLACIn.h"
#include "formats/TFLACOut.h"
#include "formats/TMACIn.h"
#include "formats/TMACOut.h"
#include "formats/TMP3Out.h"
#include "formats/TMP3ToWav.h"
#include "formats/TVorbisIn.h"
#include "formats/TVorbisOut.h"
#include "formats/TWaveIn.h"
#include "formats/TWaveOut.h"
#include "settings/TEncoderSettings.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrune {

// One entry of the format table: a reader and a writer for a file type.
// A format whose components this build lacks has null components and is
// reported as not available when used.
struct TFormat {
    std::string Extension; // with the dot, lower case
    std::string Description;
    TACSFileIn* InputComponent = nullptr;
    TACSFileOut* OutputComponent = nullptr;
};

// What the conversion window leaves behind for the main window when a picture
// button or a Tools entry closed it: the window to open next. The values are
// those the main window keeps.
enum class TConvertFollowUp { cfNone = -1, cfWizard = 0, cfSettings = 1, cfBurn = 2 };

// Everything the conversion window does besides drawing: the format table,
// input format detection, the output name, the checks before a conversion in
// their order with their texts, the chain from reader to writer, progress,
// cancel and completion. The window (or the command line) is its view.
//
// The run is a job (jkConversion): Started when the checks passed; Progress
// with the fraction of the current stage (decoding an MP3 source, then
// encoding) and the gauge's caption for that stage ("Decoding MP3",
// "Converting"); Finished with succeeded, failed (the reason is the cause, the
// window's box only says "Conversion error") or cancelled. A conversion that a
// check refuses ends with Finished(failed, the check's text) and no Started.
// The window's message boxes follow the job events.
//
// Threads: every public call on the window thread (the dispatcher's). Worker
// events are posted to that thread through the dispatcher.
class TConvertController {
public:
    static constexpr int fiWav = 0;
    static constexpr int fiMp3 = 1;
    static constexpr int fiOgg = 2;
    static constexpr int fiApe = 3;
    static constexpr int fiFlac = 4;

    TConvertController(IConvertView& View, IDialogs& Dialogs, IDispatcher& Dispatcher);
    ~TConvertController();
    TConvertController(const TConvertController&) = delete;
    TConvertController& operator=(const TConvertController&) = delete;

    const std::vector<TFormat>& Formats() const { return FFormats; }
    // The file dialogs' filter text.
    std::string FileFilter() const;

    // The entry whose extension (with or without the dot, any letter case)
    // is Extension, or -1.
    int FindFormat(std::string Extension) const;
    // The input name changed: recognise its format by the extension.
    void SetInFileName(const std::string& Name);
    const std::string& InFileName() const { return FInFileName; }
    void SetOutFileName(const std::string& Name) { FOutFileName = Name; }
    const std::string& OutFileName() const { return FOutFileName; }
    // An output format was chosen: derive the output name from it.
    void ChooseOutFormat(int Index);
    int InputIndex() const { return FInputIndex; }
    int OutputIndex() const { return FOutputIndex; }

    // "CONVERT!"
    void Convert();
    // "Cancel": true when the window should close.
    bool Cancel();
    // Closing the window. A running conversion is cancelled: the decoding or
    // encoding is stopped, the temporary and the incomplete output files are
    // removed, nothing more is encoded and no question is asked. Serves the
    // window thread while the workers stop, at most CloseTimeout(); the
    // request always ends with the view's Closed, after Finished(cancelled)
    // when a conversion ran (with a warning first when the wait ran out).
    void Close();
    void SetCloseTimeout(std::chrono::milliseconds Value) { FCloseTimeout = Value; }
    std::chrono::milliseconds CloseTimeout() const { return FCloseTimeout; }

    bool Converting() const { return FConverting; }
    // The question asked before an existing output file is replaced.
    static std::string ReplaceQuestion(const std::string& OutFile);
    // The reason a conversion ends with when the answer was No.
    static std::string ExistsText(const std::string& OutFile);
    // Blocks until the workers of the last run are idle with their events
    // raised, at most Timeout; true when they are. The end of a run is
    // posted from inside a worker's last event, so right after Finished a
    // worker may still be on its way out, and a Convert then would be
    // ignored; whoever starts runs back to back (the batch) waits here first.
    bool WaitForWorkers(std::chrono::milliseconds Timeout) const;
    TJobEvents& Events() { return FEvents; }

    // Where the private folder for a decoded MP3 source is made; the system's
    // temporary folder unless set. Takes effect at the next MP3 source.
    void SetTempRoot(const std::filesystem::path& Value) { TempRoot = Value; }

    // Playing a finished conversion; without a player the completion question
    // is not asked (the command line has none).
    // An MP3 result is played through a streaming MP3 reader, never through
    // a temporary file that may be gone by then.
    using TPlayer = std::function<void(TACSFileIn& Result)>;
    void SetPlayer(TPlayer Player) { FPlayer = std::move(Player); }
    // The playback of the last result: while Playing says so, CONVERT! does
    // nothing and Cancel stops it (the window stays open); closing stops it.
    // Stop returns once the playback is idle.
    void SetPlayback(std::function<bool()> Playing, std::function<void()> Stop)
    {
        FPlaying = std::move(Playing);
        FStopPlaying = std::move(Stop);
    }
    bool Playing() const { return FPlaying && FPlaying(); }

    // A picture button or Tools entry: remember the window to open next and
    // close (a running conversion is cancelled as by closing).
    void Shortcut(TConvertFollowUp Next);
    TConvertFollowUp FollowUp() const { return FFollowUp; }
    // The window is shown again: nothing is left over from the last showing.
    void ClearFollowUp() { FFollowUp = TConvertFollowUp::cfNone; }

    // The components, so that the encoder settings can be edited.
    TWaveOut& WaveOut1() { return FWaveOut1; }
    TMP3Out& MP3Out1() { return FMP3Out1; }
    TVorbisOut& VorbisOut1() { return FVorbisOut1; }
    TFLACOut& FLACOut1() { return FFLACOut1; }
    TMACOut& MACOut1() { return FMACOut1; }
    // All five writers' settings at once, as the writers hold them, and
    // applied through their setters (which keep their own rules).
    TEncoderSettings EncoderSettings() const;
    void SetEncoderSettings(const TEncoderSettings& Settings);

private:
    void BuildFormats();
    bool OutputNameIsInput() const;
    void StartChain(TACSFileIn& In, const std::string& InName);
    void StartDecoding();
    void OnDecoderDone(bool Success);
    void RemoveTempFile();
    void OnOutputDone();
    void OnOutputFailed(const std::string& Message);
    // Leaves the running state: hides the bar, drops the temporary file.
    // True when a worker's end is the running conversion's, not a stale one.
    bool EndBelongsToRun();
    void EndRun();
    // The writer of this run gave its file the output name.
    bool OutputMade() const;
    // The reader that plays the result of the last run, or null when this
    // build cannot play it.
    TACSFileIn* ResultReader();
    void Refuse(TDialogKind Kind, const std::string& Text);
    void StopWorkers();
    bool WorkersIdle() const;

    IConvertView& View;
    IDialogs& Dialogs;
    IDispatcher& Dispatcher;

    TWaveIn FWaveIn1;
    TWaveOut FWaveOut1;
    TMP3Out FMP3Out1;
    TVorbisIn FVorbisIn1;
    TVorbisOut FVorbisOut1;
    TMACIn FMACIn1;
    TMACOut FMACOut1;
    TFLACIn FFLACIn1;
    TFLACOut FFLACOut1;
    // Made when an MP3 source is first converted, so a missing decoder
    // library is reported then and does not stop the program.
    std::unique_ptr<TMP3ToWav> FMP3ToWav1;
    // The decoded MP3 source: a file in a private folder of this run.
    std::filesystem::path TempRoot;
    std::filesystem::path TempFolder;
    std::string TempFile;
    std::vector<TFormat> FFormats;

    std::string FInFileName;
    std::string FOutFileName;
    int FInputIndex = 0;
    int FOutputIndex = -1; // none chosen yet
    bool FConverting = false;
    bool FCanceled = false;
    // This run's encoding chain was started (an MP3 source is decoded first).
    bool FChainStarted = false;
    // The window is closing: the run ends without questions or boxes.
    bool FClosing = false;
    // A close gave up waiting; the stuck run's late events only clear this.
    bool FAbandoned = false;
    TPlayer FPlayer;
    std::function<bool()> FPlaying;
    std::function<void()> FStopPlaying;
    // The reader an MP3 result is played through; made at its first use, so
    // a missing decoder library is reported then.
    std::unique_ptr<TACSFileIn> FMP3In1;
    TConvertFollowUp FFollowUp = TConvertFollowUp::cfNone;
    TJobEvents FEvents{TJobKind::jkConversion};
    std::chrono::milliseconds FCloseTimeout{std::chrono::seconds(10)};
    // Outstanding worker events; the destructor waits until they have run.
    TLifetime Life;
};

} // namespace kestrune
