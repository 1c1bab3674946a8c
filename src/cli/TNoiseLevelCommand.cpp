#include "cli/TNoiseLevelCommand.h"

#include "cli/TCliSettings.h"
#include "common/TPlainDispatcher.h"
#include "devices/TDeviceCatalog.h"
#include "settings/TNoiseLevelCapture.h"
#include "settings/TSystemOptionsPlatform.h"

#include <chrono>
#include <vector>

namespace kestrune::cli {

namespace {

// The command line as the capture window: the countdown as a meter line,
// the outcome and its reason kept for the exit status. A warning that ends
// the job is its reason too, and is printed once, as the error; a warning
// while the capture runs (the input near silence or clipping) is printed at
// once.
class TCliNoiseListener final : public TJobListenerBase {
public:
    explicit TCliNoiseListener(TCliOutput& O) : Out(O) {}

    void JobProgress(TJobKind, double, const std::string& Text) override { Out.Meter(Text); }
    void JobMessage(TJobKind, TJobMessageKind Kind, const std::string& Text) override
    {
        if (Capture && Capture->Running() && Kind == TJobMessageKind::jmWarning) {
            Out.Info(Text);
            Out.JsonOnly("warning", {{"text", TCliOutput::JsonString(Text)}});
            return;
        }
        Messages.push_back(Text);
    }
    void JobFinished(TJobKind, TJobOutcome O, const std::string& R) override
    {
        Done = true;
        Outcome = O;
        Reason = R;
    }

    bool Done = false;
    TJobOutcome Outcome = TJobOutcome::joFailed;
    std::string Reason;
    std::vector<std::string> Messages;
    const TNoiseLevelCapture* Capture = nullptr;

private:
    TCliOutput& Out;
};

} // namespace

const char* TNoiseLevelCommand::Usage()
{
    return "Usage: kestrune-cli noise-level [options]\n"
           "\n"
           "Measures the noise level of the capture device while nothing plays:\n"
           "10 seconds at 8 bits, then 11 seconds at 16 bits, stereo 22050 Hz. The\n"
           "largest sample of each becomes Level8 and Level16, under which the\n"
           "recorder takes the sound for quiet; both are printed and saved into the\n"
           "settings file. A virtual device is measured as fast as it delivers, in\n"
           "seconds of its audio.\n"
           "\n"
           "Options:\n"
           "  --device NAME       capture device: virtual:FILE.wav, alsa:NAME,\n"
           "                      pulse:SOURCE (see kestrune-cli devices); default\n"
           "                      the device of the settings file\n"
           "  --config FILE       settings file to read and write\n"
           "  --json              one JSON object per line on stdout\n"
           "  --quiet             print nothing but errors and results\n"
           "  --help              this text\n";
}

const std::set<std::string>& TNoiseLevelCommand::Flags()
{
    static const std::set<std::string> flags;
    return flags;
}

const std::set<std::string>& TNoiseLevelCommand::Options()
{
    static const std::set<std::string> options{"--device", "--config"};
    return options;
}

int TNoiseLevelCommand::Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted)
{
    if (!Args.Positional().empty())
        throw EUsage("noise-level takes no file names");

    TPlainDispatcher dispatcher;
    TSystemOptionsPlatform platform;
    std::unique_ptr<TOptions> options = TCliSettings::Open(Args, platform);
    if (Args.Has("--device")) {
        options->DriverNames = {Args.Value("--device")};
        options->DriverIndex = 0;
    }

    TCliNoiseListener listener(Out);
    TNoiseLevelCapture capture(*options, dispatcher);
    listener.Capture = &capture;
    capture.Events().Subscribe(&listener);
    const std::string device = options->ChosenDriver();
    const bool paced = TDeviceCatalog::IsVirtualName(device);
    capture.AudioIn1().SetRealTime(!paced);
    if (!device.empty())
        Out.Info("Measuring the noise level of " + device + "; nothing should play. Ctrl-C stops.");

    capture.Start();
    while (capture.Running()) {
        // A sound card is timed by the clock, one tick a second; a virtual
        // device ticks by itself, once a second of its audio.
        const bool done =
            dispatcher.WaitServing([&] { return !capture.Running() || Interrupted.load(); },
                                   paced ? std::chrono::milliseconds(100) : std::chrono::milliseconds(1000));
        if (Interrupted.load()) {
            capture.Abort();
            break;
        }
        if (!done && !paced)
            capture.Tick();
    }
    Out.EndProgress();
    if (listener.Outcome == TJobOutcome::joCancelled) {
        Out.Error("interrupted; the settings file was not changed");
        return 1;
    }
    for (const std::string& message : listener.Messages)
        if (message != listener.Reason)
            Out.Info(message);
    if (!listener.Done || listener.Outcome != TJobOutcome::joSucceeded) {
        Out.Error(listener.Reason.empty() ? "the noise level could not be measured" : listener.Reason);
        return 1;
    }
    const int level8 = options->Level8.load();
    const int level16 = options->Level16.load();
    try {
        options->Save();
    } catch (const std::exception& e) {
        Out.Error(e.what());
        return 1;
    }
    Out.Info("Test finished");
    Out.Result("Level8 " + std::to_string(level8) + ", Level16 " + std::to_string(level16) + " saved in " +
                   options->IniFileName,
               "levels",
               {{"level8", TCliOutput::JsonNumber(level8)},
                {"level16", TCliOutput::JsonNumber(level16)},
                {"config", TCliOutput::JsonString(options->IniFileName)}});
    return 0;
}

} // namespace kestrune::cli
