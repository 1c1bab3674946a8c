#include "cli/TCliBurner.h"

#include "burn/TCdWriter.h"
#include "cli/TCliSettings.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace kestrune::cli {

namespace {

using namespace std::chrono_literals;

constexpr const char* ImagePrefix = "image:";

// libburn's scan of a bus can take its time; a drive that never answers
// must not keep the command waiting for ever.
constexpr auto ScanWait = 300s;

} // namespace

TCliBurner::TCliBurner(const TCliArgs& Args, TCliOutput& Out_) : TCliJobListener(Out_)
{
    Platform = std::make_unique<TNoSoundDevices>();
    FOptions = TCliSettings::Open(Args, *Platform);
    const std::string device = Args.Value("--device");
    const bool image = device.rfind(ImagePrefix, 0) == 0;
    if (image) {
        const std::string cue = device.substr(std::string(ImagePrefix).size());
        if (cue.empty())
            throw EUsage("--device image: needs the image's file name, as in image:disc.cue");
        FOptions->ImagePath = cue;
    }
    // A fraction of a minute makes a small disc to try a long queue on.
    const double minutes = Args.Number("--capacity", FOptions->ImageMinutes, 0.01, 100000);

    // A burner named is the only one libburn opens (a machine's other drives
    // stay untouched, and a "stdio:" pseudo-drive can be named).
    std::vector<std::string> burners;
    if (!image && !device.empty())
        burners.push_back(device);
    FWriter = TCdWriter::Standard(Dispatcher, FOptions->ImageCuePath(), minutes, burners);
    IBurnView& view = *this;
    IDialogs& dialogs = *this;
    IJobListener& listener = *this;
    FController = std::make_unique<TBurnController>(view, dialogs, Dispatcher, FWriter, *FOptions);
    FController->Events().Subscribe(&listener);
    // What the scan says goes into the command's one error line.
    Collecting = true;
    FController->StartScan();
    const bool scanned = Dispatcher.WaitServing([this] { return !FController->Scanning(); }, ScanWait);
    Collecting = false;
    if (!scanned)
        throw std::runtime_error("the CD drives did not answer within five minutes");
    if (!FController->WriterAvailable())
        throw std::runtime_error(FProblems.empty() ? "no CD writer found" : FProblems.back());
    FProblems.clear();

    if (image || !device.empty()) {
        const std::vector<std::string> drives = FController->Drives();
        int chosen = -1;
        for (int i = 0; i < static_cast<int>(drives.size()) && chosen < 0; ++i) {
            const std::string& entry = drives[static_cast<std::size_t>(i)];
            if ((entry.rfind("Image ", 0) == 0) == image)
                chosen = i;
        }
        if (chosen < 0)
            throw std::runtime_error("no CD writer \"" + device + "\"; 'kestrune-cli drives' lists them");
        FController->ChangeDrive(chosen);
    }
}

TCliBurner::~TCliBurner()
{
    IJobListener& listener = *this;
    FController->Events().Unsubscribe(&listener);
    FController->Shutdown();
}

TDialogResult TCliBurner::Show(TDialogKind Kind, const std::string& Text, TDialogButtons)
{
    // The controller's boxes keep their exact texts; the lines of a box with
    // CR LF are printed as lines.
    std::string text = Text;
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    if (Kind == TDialogKind::dkInformation) {
        Out.Info(text);
    } else {
        FProblems.push_back(text);
        if (!Collecting)
            Out.Error(text);
    }
    return TDialogResult::drOK;
}

void TCliBurner::JobProgress(TJobKind, double Fraction, const std::string& Text)
{
    Out.Progress(Text, Fraction < 0 ? -1 : static_cast<int>(std::clamp(Fraction, 0.0, 1.0) * 100));
}

TJobOutcome TCliBurner::WaitForJob(const std::atomic<bool>& Interrupted, const std::function<void()>& Stop,
                                   std::string& EndReason)
{
    Wait(Dispatcher, Interrupted, Stop);
    // The burner serves one job after another (an erase, then a write).
    Ended = false;
    EndReason = Reason;
    return Outcome;
}

} // namespace kestrune::cli
