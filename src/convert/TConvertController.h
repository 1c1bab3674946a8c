#pragma once

#include "common/IDialogs.h"
#include "common/IDispatcher.h"
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

#include <atomic>
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
    std::string Extension;   // with the dot, lower case
    std::string Description;
    TACSFileIn* InputComponent = nullptr;
    TACSFileOut* OutputComponent = nullptr;
};

// Everything the conversion window does besides drawing: the format table,
// input format detection, the output name, the checks before a conversion in
// their order with their texts, the chain from reader to writer, progress,
// cancel and completion. The window (or the command line) is its view.
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
    // Closing the window: ends a running conversion first.
    void Close();

    bool Converting() const { return FConverting; }
    // The reason of the last failure, for views that can show more than
    // "Conversion error" (the command line prints it).
    const std::string& LastError() const { return FLastError; }
    // True when the last conversion finished normally (not failed, not cancelled).
    bool Succeeded() const { return FSucceeded; }

    // Playing a finished conversion; without a player the completion question
    // is not asked (the command line has none).
    using TPlayer = std::function<void(TACSFileIn& Result)>;
    void SetPlayer(TPlayer Player) { FPlayer = std::move(Player); }

    // The components, so that the encoder settings can be edited.
    TWaveOut& WaveOut1() { return FWaveOut1; }
    TMP3Out& MP3Out1() { return FMP3Out1; }
    TVorbisOut& VorbisOut1() { return FVorbisOut1; }
    TFLACOut& FLACOut1() { return FFLACOut1; }
    TMACOut& MACOut1() { return FMACOut1; }

private:
    void BuildFormats();
    bool OutputNameIsInput() const;
    void StartChain(TACSFileIn& In, const std::string& InName);
    void StartDecoding();
    void OnDecoderDone(bool Success);
    void RemoveTempFile();
    void OnOutputDone();
    void OnOutputFailed(const std::string& Message);
    void RemoveIncompleteOutput();
    TACSFileOut* RunningOutput() const;

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
    std::filesystem::path TempFolder;
    std::string TempFile;
    std::vector<TFormat> FFormats;

    std::string FInFileName;
    std::string FOutFileName;
    int FInputIndex = 0;
    int FOutputIndex = -1; // none chosen yet
    bool FConverting = false;
    bool FCanceled = false;
    bool FSucceeded = false;
    std::string FLastError;
    TACSFileOut* FRunning = nullptr;
    TPlayer FPlayer;
    // Outstanding worker events; the destructor waits until they have run.
    TLifetime Life;
};

} // namespace kestrune
