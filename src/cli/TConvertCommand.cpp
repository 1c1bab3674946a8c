#include "cli/TConvertCommand.h"

#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "convert/TConvertController.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>

namespace kestrune::cli {

namespace fs = std::filesystem;

namespace {

// The command line as the conversion window's view: the gauge becomes the
// progress line.
class TCliConvertView final : public IConvertView {
public:
    explicit TCliConvertView(TCliOutput& O) : Out(O) {}

    void SetInFormat(const std::string&) override {}
    void SetOutFileName(const std::string&) override {}
    void ShowStatusBar(bool) override {}
    void SetGauge(std::int64_t Maximum, std::int64_t Value) override
    {
        int percent = -1;
        if (Maximum > 0)
            percent = static_cast<int>(std::min<std::int64_t>(100, Value * 100 / Maximum));
        Out.Progress("Converting", percent);
    }
    void ConversionEnded() override { Out.EndProgress(); }

private:
    TCliOutput& Out;
};

int FormatIndex(const TConvertController& Controller, const std::string& Name)
{
    std::string ext = Name;
    if (!ext.empty() && ext.front() != '.')
        ext = "." + ext;
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    const auto& formats = Controller.Formats();
    for (size_t i = 0; i < formats.size(); ++i)
        if (formats[i].Extension == ext)
            return static_cast<int>(i);
    return -1;
}

void ApplyWavOptions(const TCliArgs& Args, TWaveOut& Out)
{
    const std::string type = Args.Value("--wav-type", "pcm");
    if (type == "dvi-adpcm" || type == "ima-adpcm")
        Out.SetWavType(TWavType::wtDVIADPCM);
    else if (type == "pcm")
        Out.SetWavType(TWavType::wtPCM);
    else
        throw EUsage("--wav-type must be pcm or dvi-adpcm, not \"" + type + "\"");
    const long blockSize = Args.Integer("--block-size", 512, 8, 32768);
    if (blockSize % 4 != 0)
        throw EUsage("--block-size must be a multiple of 4");
    Out.SetBlockSize(static_cast<std::uint16_t>(blockSize));
}

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
           "  --wav-type pcm|dvi-adpcm  kind of WAV data to write (default pcm)\n"
           "  --block-size N            IMA ADPCM block size in bytes, a multiple of 4\n"
           "                            from 8 to 32768 (default 512)\n"
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
    static const std::set<std::string> options{"--format", "--wav-type", "--block-size"};
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
    TCliConvertView view(Out);
    TConvertController controller(view, dialogs, dispatcher);

    const std::string formatName = Args.Has("--format") ? Args.Value("--format") : fs::path(outName).extension().string();
    const int outIndex = FormatIndex(controller, formatName);
    if (outIndex < 0)
        throw EUsage(formatName.empty() ? "cannot tell the output format of \"" + outName + "\"; use --format"
                                        : "unknown output format \"" + formatName + "\"");
    ApplyWavOptions(Args, controller.WaveOut1());

    controller.SetInFileName(inName);
    controller.ChooseOutFormat(outIndex);
    controller.SetOutFileName(outName);
    controller.Convert();
    if (!controller.Converting()) {
        // A check before the run refused; its message box says why.
        const auto& shown = dialogs.Shown();
        Out.Error(shown.empty() ? std::string("nothing to convert") : shown.back().Text);
        return 1;
    }

    bool cancelSent = false;
    while (!dispatcher.WaitServing([&] { return !controller.Converting(); }, std::chrono::milliseconds(100))) {
        if (Interrupted.load() && !cancelSent) {
            controller.Cancel();
            cancelSent = true;
        }
    }

    if (!controller.Succeeded()) {
        const auto& shown = dialogs.Shown();
        std::string message = shown.empty() ? std::string("Conversion error") : shown.back().Text;
        if (!controller.LastError().empty())
            message += ": " + controller.LastError();
        Out.Error(message);
        return 1;
    }

    TWaveIn& probe = static_cast<TWaveIn&>(*controller.Formats()[static_cast<size_t>(outIndex)].InputComponent);
    probe.SetFileName(outName);
    probe.OpenFile();
    const std::int64_t frames = probe.TotalSamples();
    const int rate = probe.InSampleRate();
    const int channels = probe.InChannels();
    probe.CloseFile();
    const double seconds = rate > 0 ? static_cast<double>(frames) / rate : 0.0;
    char secondsText[32];
    std::snprintf(secondsText, sizeof secondsText, "%.3f", seconds);
    Out.Result(outName + ": " + std::to_string(frames) + " frames, " + std::to_string(rate) + " Hz, " +
                   std::to_string(channels) + (channels == 1 ? " channel, " : " channels, ") + secondsText + " s",
               "done",
               {{"output", TCliOutput::JsonString(outName)},
                {"frames", TCliOutput::JsonNumber(frames)},
                {"sample_rate", TCliOutput::JsonNumber(rate)},
                {"channels", TCliOutput::JsonNumber(channels)},
                {"seconds", secondsText}});
    return 0;
}

} // namespace kestrune::cli
