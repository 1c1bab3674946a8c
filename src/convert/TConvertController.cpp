#include "convert/TConvertController.h"

#include "formats/FileReaders.h"
#include "formats/TMP3In.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <unistd.h>

namespace kestrune {

namespace fs = std::filesystem;

namespace {

// Both names lead to the same file: the same text, or two spellings of one
// file (./a.wav and a.wav, a link, letter case on a FAT stick).
bool SameFile(const std::string& A, const std::string& B)
{
    if (A == B)
        return true;
    std::error_code error;
    return fs::exists(A, error) && fs::exists(B, error) && fs::equivalent(A, B, error);
}

} // namespace

TConvertController::TConvertController(IConvertView& V, IDialogs& D, IDispatcher& Disp)
    : View(V), Dialogs(D), Dispatcher(Disp)
{
    BuildFormats();
    auto onProgress = [this](TComponent* Sender) {
        auto* out = static_cast<TACSOutput*>(Sender);
        TACSInput* in = out->Input();
        if (!in)
            return;
        const std::int64_t size = in->Size();
        const std::int64_t position = in->Position();
        Dispatcher.Post(Life.Token(), [this, size, position] {
            if (!FConverting)
                return;
            FEvents.Progress(size > 0 ? static_cast<double>(position) / static_cast<double>(size) : -1.0, "Converting");
        });
    };
    auto onDone = [this](TComponent*) { Dispatcher.Post(Life.Token(), [this] { OnOutputDone(); }); };
    auto onFailure = [this](TComponent*, const std::exception& E) {
        std::string message = E.what();
        Dispatcher.Post(Life.Token(), [this, message] { OnOutputFailed(message); });
    };
    for (TFormat& format : FFormats) {
        if (!format.OutputComponent)
            continue;
        // A cancelled or failed conversion leaves no file behind, not even a
        // short one (which is also the writers' default).
        format.OutputComponent->SetKeepCutShort(false);
        format.OutputComponent->OnProgress = onProgress;
        format.OutputComponent->OnDone = onDone;
        format.OutputComponent->OnThreadException = onFailure;
    }
}

TConvertController::~TConvertController()
{
    Life.End();
    StopWorkers();
    if (FMP3ToWav1)
        FMP3ToWav1->WaitForIdle(std::chrono::seconds(30));
    for (TFormat& format : FFormats)
        if (format.OutputComponent)
            format.OutputComponent->WaitForIdle(std::chrono::seconds(30));
    // A conversion still running leaves nothing half-made behind: its writer
    // was stopped and drops its temporary.
    RemoveTempFile();
}

void TConvertController::StopWorkers()
{
    if (FMP3ToWav1 && FMP3ToWav1->Busy())
        FMP3ToWav1->Stop();
    for (TFormat& format : FFormats)
        if (format.OutputComponent && format.OutputComponent->Busy())
            format.OutputComponent->Stop();
}

bool TConvertController::WorkersIdle() const
{
    if (FMP3ToWav1 && FMP3ToWav1->Busy())
        return false;
    return std::none_of(FFormats.begin(), FFormats.end(),
                        [](const TFormat& F) { return F.OutputComponent && F.OutputComponent->Busy(); });
}

bool TConvertController::WaitForWorkers(std::chrono::milliseconds Timeout) const
{
    const auto until = std::chrono::steady_clock::now() + Timeout;
    auto left = [&] {
        return std::max(std::chrono::milliseconds(0), std::chrono::duration_cast<std::chrono::milliseconds>(
                                                          until - std::chrono::steady_clock::now()));
    };
    if (FMP3ToWav1 && !FMP3ToWav1->WaitForIdle(left()))
        return false;
    for (const TFormat& format : FFormats)
        if (format.OutputComponent && !format.OutputComponent->WaitForIdle(left()))
            return false;
    return true;
}

void TConvertController::BuildFormats()
{
    FFormats = {
        {".wav", "Wave (Microsoft) Audio File", &FWaveIn1, &FWaveOut1},
        // MP3 sources are decoded into a temporary WAV file, read as WAV.
        {".mp3", "MP3 Audio File", &FWaveIn1, &FMP3Out1},
        {".ogg", "Ogg Vorbis Audio File", &FVorbisIn1, &FVorbisOut1},
        {".ape", "Monkey's Audio File", &FMACIn1, &FMACOut1},
        {".flac", "FLAC Audio File", &FFLACIn1, &FFLACOut1},
    };
}

std::string TConvertController::FileFilter() const
{
    std::string filter = "All audio|*.wav;*.mp3;*.ogg;*.ape;*.flac";
    filter += "|";
    for (const TFormat& format : FFormats)
        filter += format.Description + "|*" + format.Extension + "|";
    return filter;
}

int TConvertController::FindFormat(std::string Extension) const
{
    // The table follows the readers' own order of file types, so the type of
    // a name is its row.
    static_assert(
        fiWav == static_cast<int>(TAudioFileType::aftWav) && fiMp3 == static_cast<int>(TAudioFileType::aftMp3) &&
        fiOgg == static_cast<int>(TAudioFileType::aftOgg) && fiApe == static_cast<int>(TAudioFileType::aftApe) &&
        fiFlac == static_cast<int>(TAudioFileType::aftFlac));
    const std::optional<TAudioFileType> type = AudioFileTypeOf(Extension);
    return type ? static_cast<int>(*type) : -1;
}

void TConvertController::SetInFileName(const std::string& Name)
{
    FInFileName = Name;
    const int index = FindFormat(fs::path(Name).extension().string());
    // An unknown extension leaves the last recognised format in force.
    if (index < 0)
        return;
    FInputIndex = index;
    View.SetInFormat(FFormats[static_cast<size_t>(index)].Description);
}

void TConvertController::ChooseOutFormat(int Index)
{
    if (Index < 0 || Index >= static_cast<int>(FFormats.size()))
        return;
    FOutputIndex = Index;
    const std::string& ext = FFormats[static_cast<size_t>(Index)].Extension;
    const std::string base = FOutFileName.empty() ? FInFileName : FOutFileName;
    FOutFileName = fs::path(base).replace_extension(ext).string();
    View.SetOutFileName(FOutFileName);
}

void TConvertController::Refuse(TDialogKind Kind, const std::string& Text)
{
    FEvents.Finished(TJobOutcome::joFailed, Text);
    Dialogs.Show(Kind, Text, TDialogButtons::dbOK);
}

void TConvertController::Convert()
{
    // A run whose close gave up waiting still holds the components until its
    // workers report.
    if (FConverting || FAbandoned || !WorkersIdle() || Playing())
        return;
    if (FInFileName.empty() || FInFileName.back() == '/')
        return Refuse(TDialogKind::dkWarning, "Input file name missing");
    if (FOutputIndex < 0)
        return Refuse(TDialogKind::dkWarning, "Output format missing");
    if (FOutFileName.empty())
        return Refuse(TDialogKind::dkWarning, "Output file name missing");
    if (SameFile(FInFileName, FOutFileName))
        return Refuse(TDialogKind::dkWarning, "The output file must be different from the input file!");
    std::error_code error;
    if (!fs::exists(FInFileName, error))
        return Refuse(TDialogKind::dkWarning, "Input file missing");
    const TFormat& source = FFormats[static_cast<size_t>(FInputIndex)];
    const TFormat& target = FFormats[static_cast<size_t>(FOutputIndex)];
    if (!source.InputComponent || !target.OutputComponent) {
        const TFormat& missing = !source.InputComponent ? source : target;
        return Refuse(TDialogKind::dkWarning, missing.Description + " is not available yet");
    }
    // Only a regular file is replaced, and only when the user says so; a
    // device or a pipe given as the output (/dev/null) is written to as it
    // is. The old file stays until the new one is complete.
    const bool exists = fs::is_regular_file(FOutFileName, error);
    if (exists) {
        const fs::path folder = fs::path(FOutFileName).parent_path();
        if (::access(folder.empty() ? "." : folder.c_str(), W_OK) != 0)
            return Refuse(TDialogKind::dkError,
                          "Error removing output file. Please make sure it is not in use or readonly");
        if (!Dialogs.Confirm(ReplaceQuestion(FOutFileName), TDialogButtons::dbYesNo)) {
            FEvents.Finished(TJobOutcome::joFailed, ExistsText(FOutFileName));
            return;
        }
    }
    target.OutputComponent->SetOverwrite(exists);
    FConverting = true;
    FCanceled = false;
    FChainStarted = false;
    FEvents.Started("Converting");
    if (FInputIndex == fiMp3)
        StartDecoding();
    else
        StartChain(*source.InputComponent, FInFileName);
}

void TConvertController::StartDecoding()
{
    try {
        if (!FMP3ToWav1) {
            FMP3ToWav1 = std::make_unique<TMP3ToWav>();
            FMP3ToWav1->OnProgress = [this](TComponent*) {
                const int percent = FMP3ToWav1->Progress();
                Dispatcher.Post(Life.Token(), [this, percent] {
                    // The size is estimated from the first frame, so the
                    // percentage may pass 100.
                    if (FConverting)
                        FEvents.Progress(std::min(percent, 100) / 100.0, "Decoding MP3");
                });
            };
            FMP3ToWav1->OnDone = [this](TComponent*, bool Success) {
                Dispatcher.Post(Life.Token(), [this, Success] { OnDecoderDone(Success); });
            };
            FMP3ToWav1->OnThreadException = [this](TComponent*, const std::exception& E) {
                const std::string message = E.what();
                Dispatcher.Post(Life.Token(), [this, message] { OnOutputFailed(message); });
            };
        }
        if (TempFolder.empty()) {
            // A folder of our own, not a fixed name in a folder every user shares.
            const fs::path root = TempRoot.empty() ? fs::temp_directory_path() : TempRoot;
            std::string pattern = (root / "kestrune-XXXXXX").string();
            if (!::mkdtemp(pattern.data()))
                throw std::runtime_error("cannot make a temporary folder in " + root.string());
            TempFolder = pattern;
            TempFile = (TempFolder / "temporary conversion file.wav").string();
        }
        FMP3ToWav1->SetInputFile(FInFileName);
        FMP3ToWav1->SetOutputFile(TempFile);
        View.ShowStatusBar(true);
        FMP3ToWav1->Run();
    } catch (const std::exception& e) {
        // The decoder could not start (its library is missing, the file cannot
        // be opened): the conversion ends here with the reason.
        OnOutputFailed(e.what());
    }
}

void TConvertController::OnDecoderDone(bool Success)
{
    if (!EndBelongsToRun())
        return;
    if (FCanceled) {
        // Cancelled or closed while decoding: nothing is encoded from the
        // partial file.
        OnOutputDone();
        return;
    }
    if (!Success) {
        OnOutputFailed("\"" + FInFileName + "\" holds no MPEG audio that can be decoded");
        return;
    }
    StartChain(FWaveIn1, TempFile);
}

void TConvertController::RemoveTempFile()
{
    if (TempFolder.empty())
        return;
    std::error_code error;
    fs::remove_all(TempFolder, error);
    TempFolder.clear();
    TempFile.clear();
}

void TConvertController::StartChain(TACSFileIn& In, const std::string& InName)
{
    TACSFileOut& out = *FFormats[static_cast<size_t>(FOutputIndex)].OutputComponent;
    In.SetFileName(InName);
    out.SetFileName(FOutFileName);
    out.SetInput(&In);
    FChainStarted = true;
    View.ShowStatusBar(true);
    // A failure to open either file arrives as a thread exception, posted
    // like every other, so the run always ends through one of the handlers.
    out.Run();
}

bool TConvertController::Cancel()
{
    if (!FConverting) {
        // The first Cancel silences the result; the next one closes.
        if (!Playing())
            return true;
        FStopPlaying();
        return false;
    }
    // The done event of the stopped worker ends the run as cancelled.
    FCanceled = true;
    FEvents.SetStopping();
    StopWorkers();
    return false;
}

void TConvertController::Close()
{
    if (FConverting) {
        FClosing = true;
        FCanceled = true;
        FEvents.SetStopping();
        StopWorkers();
        // The stopped workers' events end the run here, served while we wait.
        if (!Dispatcher.WaitServing([this] { return !FConverting; }, FCloseTimeout)) {
            // A worker stuck in a read or a write (a hung network drive) does
            // not keep the window: its files go now, its late events only
            // clear this mark.
            FAbandoned = true;
            EndRun();
            const auto ms = FCloseTimeout.count();
            const std::string wait = ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
            const std::string why =
                "The conversion did not stop within " + wait + "; the window closes without waiting for it";
            FEvents.Message(TJobMessageKind::jmWarning, why);
            FEvents.Finished(TJobOutcome::joCancelled, why);
        }
        FClosing = false;
    } else if (Playing()) {
        FStopPlaying();
    }
    View.Closed();
}

void TConvertController::Shortcut(TConvertFollowUp Next)
{
    FFollowUp = Next;
    Close();
}

std::string TConvertController::ReplaceQuestion(const std::string& OutFile)
{
    return "The file \"" + OutFile + "\" already exists. Do you want to replace it?";
}

std::string TConvertController::ExistsText(const std::string& OutFile)
{
    return "The output file \"" + OutFile + "\" exists already";
}

bool TConvertController::OutputMade() const
{
    // Only the writer of this run's chain counts: its mark is that of its
    // last run, which may be an earlier conversion's.
    const TACSFileOut* out = FFormats[static_cast<size_t>(FOutputIndex)].OutputComponent;
    return FChainStarted && out && out->Committed();
}

bool TConvertController::EndBelongsToRun()
{
    // The late end of a run that a close gave up on is swallowed once; it
    // clears the way for the next conversion.
    if (FAbandoned) {
        FAbandoned = false;
        return false;
    }
    return FConverting;
}

void TConvertController::EndRun()
{
    FConverting = false;
    RemoveTempFile();
    View.ShowStatusBar(false);
}

void TConvertController::OnOutputDone()
{
    if (!EndBelongsToRun())
        return;
    EndRun();
    // A cancel that came as the writer finished finds the result complete
    // under its name (and an old file of that name already replaced): it is
    // kept, and the conversion has succeeded. Otherwise the stopped writer
    // gave its file up and nothing is left of the run.
    if (FCanceled && !OutputMade()) {
        FEvents.Finished(TJobOutcome::joCancelled, "Conversion canceled");
        // A closed window is asked nothing and told nothing.
        if (!FClosing)
            Dialogs.Information("Conversion canceled");
        return;
    }
    FEvents.Finished(TJobOutcome::joSucceeded, "");
    if (!FPlayer || FClosing)
        return;
    TACSFileIn* result = nullptr;
    try {
        result = ResultReader();
    } catch (const std::exception&) {
        // The MP3 decoder library is missing: the file is made, there is just
        // nothing to listen with.
        return;
    }
    if (!result)
        return;
    if (Dialogs.Confirm("Conversion completed! Do you want to listen to the converted file?",
                        TDialogButtons::dbYesNo)) {
        result->SetFileName(FOutFileName);
        try {
            FPlayer(*result);
        } catch (const std::exception& e) {
            Dialogs.Warning(e.what());
        }
    }
}

TACSFileIn* TConvertController::ResultReader()
{
    if (FOutputIndex != fiMp3)
        return FFormats[static_cast<size_t>(FOutputIndex)].InputComponent;
    if (!FMP3In1)
        FMP3In1 = std::make_unique<TMP3In>();
    return FMP3In1.get();
}

void TConvertController::OnOutputFailed(const std::string& Message)
{
    if (!EndBelongsToRun())
        return;
    EndRun();
    FEvents.Finished(TJobOutcome::joFailed, Message);
    if (!FClosing)
        Dialogs.Warning("Conversion error");
}

TEncoderSettings TConvertController::EncoderSettings() const
{
    return {TWavSettings::ReadFrom(FWaveOut1), TMp3Settings::ReadFrom(FMP3Out1), TOggSettings::ReadFrom(FVorbisOut1),
            TFlacSettings::ReadFrom(FFLACOut1), TApeSettings::ReadFrom(FMACOut1)};
}

void TConvertController::SetEncoderSettings(const TEncoderSettings& Settings)
{
    Settings.Wav.ApplyTo(FWaveOut1);
    Settings.Mp3.ApplyTo(FMP3Out1);
    Settings.Ogg.ApplyTo(FVorbisOut1);
    Settings.Flac.ApplyTo(FFLACOut1);
    Settings.Ape.ApplyTo(FMACOut1);
}

} // namespace kestrune
