#include "cli/TConvertCommand.h"

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
    // The writer's own rule, for the channel counts a source may have: the
    // setter ignores a size it could not write, which must not pass silently.
    for (const int channels : {1, 2})
        if (const std::string problem = TWaveOut::AdpcmBlockProblem(channels, static_cast<int>(blockSize));
            !problem.empty())
            throw EUsage("--block-size " + std::to_string(blockSize) + ": " + problem);
    Out.SetBlockSize(static_cast<std::uint16_t>(blockSize));
}

void ApplyMp3Options(const TCliArgs& Args, TMP3Out& Out)
{
    if (!Args.Has("--bitrate"))
        return;
    const long kbps = Args.Integer("--bitrate", 128, 8, 320);
    for (int i = 0; i < MP3BitRateCount; ++i) {
        if (MP3BitRateKbps(static_cast<TMP3BitRate>(i)) == kbps) {
            Out.SetBitRate(static_cast<TMP3BitRate>(i));
            return;
        }
    }
    throw EUsage("--bitrate must be one of 8 16 24 32 40 48 56 64 80 96 112 128 144 160 192 224 256 320");
}

TVorbisBitRate VorbisRate(const TCliArgs& Args, const std::string& Name)
{
    const std::string text = Args.Value(Name, "auto");
    if (text == "auto")
        return TVorbisBitRate::brAutoSelect;
    // The lists offer these rates; 56 hands 46000 to the encoder as it always has.
    static const int Kbps[] = {0, 45, 48, 56, 64, 80, 96, 112, 128, 144, 160, 192, 224, 256, 320, 499};
    const long kbps = Args.Integer(Name, 0, 1, 499);
    for (int i = 1; i < 16; ++i)
        if (Kbps[i] == kbps)
            return static_cast<TVorbisBitRate>(i);
    throw EUsage(Name + " must be auto or one of 45 48 56 64 80 96 112 128 144 160 192 224 256 320 499");
}

void ApplyVorbisOptions(const TCliArgs& Args, TVorbisOut& Out)
{
    Out.SetCompression(static_cast<float>(Args.Number("--ogg-quality", Out.Compression(), -0.1, 1.0)));
    if (Args.Has("--ogg-nominal"))
        Out.SetDesiredNominalBitrate(VorbisRate(Args, "--ogg-nominal"));
    if (Args.Has("--ogg-max"))
        Out.SetDesiredMaximumBitrate(VorbisRate(Args, "--ogg-max"));
    if (Args.Has("--ogg-min"))
        Out.SetMinimumBitrate(VorbisRate(Args, "--ogg-min"));
    if (Args.Has("--ogg-serial"))
        Out.SetSerial(static_cast<std::int32_t>(Args.Integer("--ogg-serial", 0, INT32_MIN, INT32_MAX)));
    const std::vector<std::string> comments = Args.Values("--ogg-comment");
    for (const std::string& comment : comments)
        if (comment.find('=') == std::string::npos || comment.front() == '=')
            throw EUsage("--ogg-comment needs NAME=VALUE, not \"" + comment + "\"");
    if (!comments.empty())
        Out.SetComments(comments);
}

void ApplyApeOptions(const TCliArgs& Args, TMACOut& Out)
{
    if (!Args.Has("--ape-level"))
        return;
    const long level = Args.Integer("--ape-level", 2000, 1000, 5000);
    if (level % 1000 != 0)
        throw EUsage("--ape-level must be 1000, 2000, 3000, 4000 or 5000");
    Out.SetCompressionLevel(static_cast<int>(level));
}

void ApplyFlacOptions(const TCliArgs& Args, TFLACOut& Out)
{
    auto u16 = [&](const char* Name, long Current, long Max) {
        return static_cast<std::uint16_t>(Args.Integer(Name, Current, 0, Max));
    };
    Out.SetBlockSize(u16("--flac-block-size", Out.BlockSize(), 65535));
    Out.SetMaxLPCOrder(u16("--flac-max-lpc-order", Out.MaxLPCOrder(), 32));
    Out.SetQLPCoeffPrecision(u16("--flac-qlp-precision", Out.QLPCoeffPrecision(), 15));
    Out.SetMinResidualPartitionOrder(u16("--flac-min-partition-order", Out.MinResidualPartitionOrder(), 15));
    Out.SetMaxResidualPartitionOrder(u16("--flac-max-partition-order", Out.MaxResidualPartitionOrder(), 15));
    Out.SetEnableMidSideStereo(Args.Switch("--flac-mid-side", Out.EnableMidSideStereo()));
    // These two setters carry rules of their own (they switch mid-side on).
    if (Args.Has("--flac-loose-mid-side"))
        Out.SetEnableLooseMidSideStereo(Args.Switch("--flac-loose-mid-side", false));
    if (Args.Has("--flac-best-model-search"))
        Out.SetBestModelSearch(Args.Switch("--flac-best-model-search", false));
    Out.SetVerify(Args.Switch("--flac-verify", Out.Verify()));
    Out.SetQLPCoeffPrecisionSearch(Args.Switch("--flac-precision-search", Out.QLPCoeffPrecisionSearch()));
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
    ApplyWavOptions(Args, controller.WaveOut1());
    ApplyMp3Options(Args, controller.MP3Out1());
    ApplyVorbisOptions(Args, controller.VorbisOut1());
    ApplyFlacOptions(Args, controller.FLACOut1());
    ApplyApeOptions(Args, controller.MACOut1());

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
