#include "convert/TConvertController.h"

#include <algorithm>
#include <cctype>
#include <chrono>

namespace kestrune {

namespace fs = std::filesystem;

namespace {

std::string LowerExtension(const std::string& Name)
{
    std::string ext = fs::path(Name).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

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
    : View(V), Dialogs(D), Dispatcher(Disp), Alive(std::make_shared<std::atomic<bool>>(true))
{
    BuildFormats();
    auto alive = Alive;
    auto onProgress = [this, alive](TComponent* Sender) {
        auto* out = static_cast<TACSOutput*>(Sender);
        TACSInput* in = out->Input();
        if (!in)
            return;
        const std::int64_t size = in->Size();
        const std::int64_t position = in->Position();
        Dispatcher.Post([this, alive, size, position] {
            if (alive->load())
                View.SetGauge(size, position);
        });
    };
    auto onDone = [this, alive](TComponent*) {
        Dispatcher.Post([this, alive] {
            if (alive->load())
                OnOutputDone();
        });
    };
    auto onFailure = [this, alive](TComponent*, const std::exception& E) {
        std::string message = E.what();
        Dispatcher.Post([this, alive, message] {
            if (alive->load())
                OnOutputFailed(message);
        });
    };
    for (TFormat& format : FFormats) {
        if (!format.OutputComponent)
            continue;
        format.OutputComponent->OnProgress = onProgress;
        format.OutputComponent->OnDone = onDone;
        format.OutputComponent->OnThreadException = onFailure;
    }
}

TConvertController::~TConvertController()
{
    *Alive = false;
    if (TACSFileOut* out = RunningOutput()) {
        out->Stop();
        out->WaitForIdle(std::chrono::seconds(30));
    }
}

void TConvertController::BuildFormats()
{
    FFormats = {
        {".wav", "Wave (Microsoft) Audio File (*.wav)", &FWaveIn1, &FWaveOut1},
        {".mp3", "MP3 Audio File (*.mp3)", nullptr, nullptr},
        {".ogg", "Ogg Vorbis Audio File", nullptr, nullptr},
        {".ape", "Ape File", nullptr, nullptr},
        {".flac", "Flac File", nullptr, nullptr},
    };
}

std::string TConvertController::FileFilter() const
{
    std::string filter = "All audio(*.wav;*.mp3;*.ogg;*.ape;*.ogg;*.flac)|*.wav;*.mp3;*.ogg;*.ape;*.ogg;*.flac";
    filter += "|";
    for (const TFormat& format : FFormats)
        filter += format.Description + "|*" + format.Extension + "|";
    return filter;
}

void TConvertController::SetInFileName(const std::string& Name)
{
    FInFileName = Name;
    const std::string ext = LowerExtension(Name);
    for (size_t i = 0; i < FFormats.size(); ++i) {
        if (FFormats[i].Extension == ext) {
            FInputIndex = static_cast<int>(i);
            View.SetInFormat(FFormats[i].Description);
            return;
        }
    }
    // An unknown extension leaves the last recognised format in force.
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

TACSFileOut* TConvertController::RunningOutput() const
{
    return FRunning;
}

void TConvertController::Convert()
{
    if (FConverting)
        return;
    if (FInFileName.empty() || FInFileName.back() == '/') {
        Dialogs.Warning("Input file name missing");
        return;
    }
    if (FOutputIndex < 0) {
        Dialogs.Warning("Output format missing");
        return;
    }
    if (FOutFileName.empty()) {
        Dialogs.Warning("Output file name missing");
        return;
    }
    if (SameFile(FInFileName, FOutFileName)) {
        Dialogs.Warning("The output file must be different from the input file!");
        return;
    }
    std::error_code error;
    if (!fs::exists(FInFileName, error)) {
        Dialogs.Warning("Input file missing");
        return;
    }
    const TFormat& source = FFormats[static_cast<size_t>(FInputIndex)];
    const TFormat& target = FFormats[static_cast<size_t>(FOutputIndex)];
    if (!source.InputComponent || !target.OutputComponent) {
        const TFormat& missing = !source.InputComponent ? source : target;
        Dialogs.Warning(missing.Description + " is not available yet");
        return;
    }
    // Only a regular file is replaced; a device or a pipe given as the
    // output (/dev/null) is written to as it is.
    if (fs::is_regular_file(FOutFileName, error)) {
        if (!fs::remove(FOutFileName, error) || error) {
            Dialogs.Error("Error removing output file. Please make sure it is not in use or readonly");
            return;
        }
    }
    FConverting = true;
    FCanceled = false;
    FSucceeded = false;
    FLastError.clear();
    StartChain(*source.InputComponent, FInFileName);
}

void TConvertController::StartChain(TACSFileIn& In, const std::string& InName)
{
    TACSFileOut& out = *FFormats[static_cast<size_t>(FOutputIndex)].OutputComponent;
    In.SetFileName(InName);
    out.SetFileName(FOutFileName);
    out.SetInput(&In);
    View.ShowStatusBar(true);
    FRunning = &out;
    // A failure to open either file arrives as a thread exception, posted
    // like every other, so the run always ends through one of the handlers.
    out.Run();
}

bool TConvertController::Cancel()
{
    if (FConverting) {
        if (TACSFileOut* out = RunningOutput()) {
            out->Stop();
            out->WaitForIdle(std::chrono::seconds(30));
        }
        FCanceled = true;
        return false;
    }
    return true;
}

void TConvertController::Close()
{
    if (FConverting) {
        if (TACSFileOut* out = RunningOutput()) {
            out->Stop();
            out->WaitForIdle(std::chrono::seconds(30));
        }
    }
}

void TConvertController::RemoveIncompleteOutput()
{
    // The output name was cleared (or never existed) before the run, so the
    // file there now is this run's; a device given as output stays.
    std::error_code error;
    if (fs::is_regular_file(FOutFileName, error))
        fs::remove(FOutFileName, error);
}

void TConvertController::OnOutputDone()
{
    FConverting = false;
    FRunning = nullptr;
    View.ShowStatusBar(false);
    if (FCanceled) {
        RemoveIncompleteOutput();
        View.ConversionEnded();
        Dialogs.Information("Conversion canceled");
        return;
    }
    FSucceeded = true;
    View.ConversionEnded();
    if (!FPlayer)
        return;
    if (Dialogs.Confirm("Conversion completed! Do you want to listen the converted file?", TDialogButtons::dbYesNo)) {
        TACSFileIn* result = FFormats[static_cast<size_t>(FOutputIndex)].InputComponent;
        result->SetFileName(FOutFileName);
        FPlayer(*result);
    }
}

void TConvertController::OnOutputFailed(const std::string& Message)
{
    FConverting = false;
    FRunning = nullptr;
    FLastError = Message;
    RemoveIncompleteOutput();
    View.ShowStatusBar(false);
    View.ConversionEnded();
    Dialogs.Warning("Conversion error");
}

} // namespace kestrune
