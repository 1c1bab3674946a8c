#include "cli/TConvertCommand.h"

#include "cli/TCliSettings.h"
#include "common/TJob.h"
#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "convert/TConvertController.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace kestrune::cli {

namespace fs = std::filesystem;

namespace {

// The command line as the conversion window's view: it has no labels or
// status bar of its own; the job's events give the progress line and the end.
class TCliConvertView final : public IConvertView {
public:
    void SetInFormat(const std::string&) override {}
    void SetOutFileName(const std::string&) override {}
    void ShowStatusBar(bool) override {}
    void Closed() override {}
};

class TCliConvertListener final : public TJobListenerBase {
public:
    explicit TCliConvertListener(TCliOutput& O) : Out(O) {}

    void JobProgress(TJobKind, double Fraction, const std::string& Text) override
    {
        const int percent = Fraction < 0 ? -1 : static_cast<int>(std::min(1.0, Fraction) * 100);
        Out.Progress(Text, percent);
    }
    void JobMessage(TJobKind, TJobMessageKind, const std::string& Text) override { Out.Info(Text); }
    void JobFinished(TJobKind, TJobOutcome O, const std::string& R) override
    {
        Out.EndProgress();
        Ended = true;
        Outcome = O;
        Reason = R;
    }

    bool Ended = false;
    TJobOutcome Outcome = TJobOutcome::joFailed;
    std::string Reason;

private:
    TCliOutput& Out;
};

} // namespace

const char* TConvertCommand::Usage()
{
    return "Usage: kestrune-cli convert IN OUT [options]\n"
           "\n"
           "Converts an audio file. The input format is taken from IN's extension,\n"
           "the output format from OUT's extension or --format.\n"
           "\n"
           "Options:\n"
           "  --format EXT              output format: wav, mp3, ogg, ape, flac\n"
           "WAV:\n"
           "  --wav-type pcm|dvi-adpcm  kind of WAV data to write (default pcm)\n"
           "  --block-size N            IMA ADPCM block size in bytes: a multiple of 8, at most 4096\n"
           "                            from 8 to 32768 (default 512)\n"
           "MP3:\n"
           "  --bitrate KBPS            constant bit rate, 8 to 320 (default 128)\n"
           "Ogg Vorbis:\n"
           "  --ogg-quality Q           quality from -0.1 to 1.0 (default 0.2)\n"
           "  --ogg-nominal KBPS|auto   managed bit rates instead of quality\n"
           "  --ogg-min KBPS|auto\n"
           "  --ogg-max KBPS|auto\n"
           "  --ogg-serial N            serial number of the stream\n"
           "  --ogg-comment NAME=VALUE  a comment; may be given more than once\n"
           "Monkey's Audio:\n"
           "  --ape-level N             1000 fast, 2000 normal (default), 3000 high,\n"
           "                            4000 extra high, 5000 insane\n"
           "FLAC (defaults: block size 4608, fixed predictors, mid-side):\n"
           "  --flac-block-size N       --flac-max-lpc-order N   --flac-qlp-precision N\n"
           "  --flac-min-partition-order N   --flac-max-partition-order N\n"
           "  --flac-mid-side on|off    --flac-loose-mid-side on|off\n"
           "  --flac-best-model-search on|off   --flac-verify on|off\n"
           "  --flac-precision-search on|off\n"
           "  --json                    one JSON object per line on stdout\n"
           "  --quiet                   print nothing but errors\n"
           "  --help                    this text\n";
}

const std::set<std::string>& TConvertCommand::Flags()
{
    static const std::set<std::string> flags{};
    return flags;
}

const std::set<std::string>& TConvertCommand::Options()
{
    static const std::set<std::string> options{"--format",
                                               "--wav-type",
                                               "--block-size",
                                               "--bitrate",
                                               "--ogg-quality",
                                               "--ogg-nominal",
                                               "--ogg-min",
                                               "--ogg-max",
                                               "--ogg-serial",
                                               "--ogg-comment",
                                               "--flac-block-size",
                                               "--flac-max-lpc-order",
                                               "--flac-qlp-precision",
                                               "--flac-min-partition-order",
                                               "--flac-max-partition-order",
                                               "--flac-mid-side",
                                               "--flac-loose-mid-side",
                                               "--flac-best-model-search",
                                               "--flac-verify",
                                               "--flac-precision-search",
                                               "--ape-level"};
    return options;
}

int TConvertCommand::Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted)
{
    if (Args.Positional().size() != 2)
        throw EUsage("convert needs an input and an output file");
    const std::string inName = Args.Positional()[0];
    const std::string outName = Args.Positional()[1];

    TPlainDispatcher dispatcher;
    TPlainDialogs dialogs;
    TCliConvertView view;
    TConvertController controller(view, dialogs, dispatcher);
    TCliConvertListener job(Out);
    controller.Events().Subscribe(&job);

    const std::string formatName =
        Args.Has("--format") ? Args.Value("--format") : fs::path(outName).extension().string();
    const int outIndex = controller.FindFormat(formatName);
    if (outIndex < 0)
        throw EUsage(formatName.empty() ? "cannot tell the output format of \"" + outName + "\"; use --format"
                                        : "unknown output format \"" + formatName + "\"");
    TEncoderSettings encoders = controller.EncoderSettings();
    TCliSettings::ApplyEncoderOptions(Args, encoders);
    controller.SetEncoderSettings(encoders);

    controller.SetInFileName(inName);
    controller.ChooseOutFormat(outIndex);
    controller.SetOutFileName(outName);
    controller.Convert();
    // A refused conversion has ended already; a running one ends through its
    // workers' events, served here. An interruption cancels it.
    bool cancelSent = false;
    while (!dispatcher.WaitServing([&] { return job.Ended; }, std::chrono::milliseconds(100))) {
        if (Interrupted.load() && !cancelSent) {
            controller.Cancel();
            cancelSent = true;
        }
    }

    if (job.Outcome != TJobOutcome::joSucceeded) {
        Out.Error(job.Reason.empty() ? std::string("the conversion failed") : job.Reason);
        return 1;
    }

    std::error_code ignored;
    const auto bytes = static_cast<std::int64_t>(fs::file_size(outName, ignored));
    TCliOutput::TJson fields{{"output", outName}, {"bytes", bytes}};
    std::string text = outName + ": " + std::to_string(bytes) + " bytes";
    // Read the result back with its own reader (MP3 has none in the chain).
    if (outIndex != TConvertController::fiMp3) {
        TACSFileIn& probe = *controller.Formats()[static_cast<size_t>(outIndex)].InputComponent;
        probe.SetFileName(outName);
        probe.OpenFile();
        const std::int64_t frames = probe.TotalSamples();
        const int rate = probe.InSampleRate();
        const int channels = probe.InChannels();
        probe.CloseFile();
        const double seconds = rate > 0 ? std::round(static_cast<double>(frames) * 1000 / rate) / 1000 : 0.0;
        char secondsText[32];
        std::snprintf(secondsText, sizeof secondsText, "%.3f", seconds);
        text += ", " + std::to_string(frames) + " frames, " + std::to_string(rate) + " Hz, " +
                std::to_string(channels) + (channels == 1 ? " channel, " : " channels, ") + secondsText + " s";
        fields["frames"] = frames;
        fields["sample_rate"] = rate;
        fields["channels"] = channels;
        fields["seconds"] = seconds;
    }
    Out.ResultObject(text, "done", fields);
    return 0;
}

} // namespace kestrune::cli
