#include "cli/TConvertCommand.h"

#include "cli/TCliJobListener.h"
#include "cli/TCliSettings.h"
#include "common/TJob.h"
#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "convert/TBatchConversion.h"
#include "convert/TConvertController.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>

namespace kestrune::cli {

namespace fs = std::filesystem;

namespace {

class TCliConvertListener final : public TCliJobListener {
public:
    explicit TCliConvertListener(TCliOutput& O) : TCliJobListener(O) {}

    void JobProgress(TJobKind, double Fraction, const std::string& Text) override
    {
        const int percent = Fraction < 0 ? -1 : static_cast<int>(std::min(1.0, Fraction) * 100);
        Out.Progress(Text, percent);
    }
    void JobMessage(TJobKind, TJobMessageKind, const std::string& Text) override { Out.Info(Text); }
};

// The batch on the command line: one progress line for the whole batch, and
// a line for each file as it ends, its name with the result or the reason.
class TCliBatchListener final : public TCliJobListener, public IBatchListener {
public:
    TCliBatchListener(TCliOutput& O, const TBatchConversion& B) : TCliJobListener(O), Batch(B) {}

    void JobProgress(TJobKind, double Fraction, const std::string& Text) override
    {
        Out.Progress("Converting, " + Text, static_cast<int>(std::clamp(Fraction, 0.0, 1.0) * 100));
    }
    void ItemAdded(std::size_t) override {}
    void ItemsCleared() override {}
    void ItemChanged(std::size_t Index) override
    {
        const TBatchItem& item = Batch.Items()[Index];
        if (item.State == TBatchItem::TState::bsDone && Reported.insert(Index).second) {
            std::error_code ignored;
            const auto bytes = static_cast<std::int64_t>(fs::file_size(item.OutFile, ignored));
            Out.ResultObject(item.OutFile + ": " + std::to_string(bytes) + " bytes", "done",
                             {{"input", item.InFile}, {"output", item.OutFile}, {"bytes", bytes}});
        } else if (item.State == TBatchItem::TState::bsFailed && Reported.insert(Index).second) {
            Out.Error(item.InFile + ": " + item.Error);
        }
    }

private:
    const TBatchConversion& Batch;
    std::set<std::size_t> Reported;
};

// Several inputs (files or folders) to one format, --jobs at a time.
int ExecuteBatch(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted, int Format,
                 const TEncoderSettings& Encoders)
{
    const std::string outDir = Args.Value("--out-dir");
    const long jobs = Args.Integer("--jobs", 0, 0, 1024);
    if (!outDir.empty()) {
        std::error_code error;
        fs::create_directories(outDir, error);
        if (error || !fs::is_directory(outDir)) {
            Out.Error("cannot make the output folder \"" + outDir + "\"" +
                      (error ? ": " + error.message() : std::string()));
            return 1;
        }
    }

    TPlainDispatcher dispatcher;
    TBatchConversion batch(dispatcher);
    TCliBatchListener listener(Out, batch);
    batch.AddListener(&listener);
    batch.Events().Subscribe(&listener);
    batch.SetJobs(static_cast<int>(jobs));
    batch.SetOutputFormat(Format);
    batch.SetOutDir(outDir);
    batch.SetOverwrite(Args.Flag("--overwrite"));
    batch.SetEncoderSettings(Encoders);
    bool emptyFolder = false;
    for (const std::string& input : Args.Positional()) {
        if (batch.Add(input) == 0) {
            Out.Error("no audio files in \"" + input + "\"");
            emptyFolder = true;
        }
    }
    if (batch.Items().empty())
        return 1;

    batch.Start();
    listener.Wait(dispatcher, Interrupted, [&] { batch.Cancel(); });

    std::int64_t done = 0, failed = 0, cancelled = 0;
    for (const TBatchItem& item : batch.Items()) {
        done += item.State == TBatchItem::TState::bsDone ? 1 : 0;
        failed += item.State == TBatchItem::TState::bsFailed ? 1 : 0;
        cancelled += item.State == TBatchItem::TState::bsCancelled ? 1 : 0;
    }
    const auto files = static_cast<std::int64_t>(batch.Items().size());
    if (listener.Outcome == TJobOutcome::joSucceeded)
        Out.ResultObject(std::to_string(files) + (files == 1 ? " file" : " files") + " converted", "summary",
                         {{"files", files}, {"done", done}, {"failed", failed}, {"cancelled", cancelled}});
    else
        Out.Error(listener.Reason);
    return listener.Outcome == TJobOutcome::joSucceeded && !emptyFolder ? 0 : 1;
}

} // namespace

const char* TConvertCommand::Usage()
{
    return "Usage: kestrune-cli convert IN OUT [options]\n"
           "       kestrune-cli convert IN... --to FORMAT [--out-dir DIR] [--jobs N] [options]\n"
           "\n"
           "Converts an audio file. The input format is taken from IN's extension,\n"
           "the output format from OUT's extension or --format.\n"
           "\n"
           "The second form converts many files at once: each IN is a file or a folder\n"
           "(its .wav, .mp3, .ogg, .ape and .flac files, not its sub-folders). Each result\n"
           "is named like its input with the new extension, in DIR (made when missing)\n"
           "or beside the input. A file that fails is reported with its name and the\n"
           "others go on; the exit status is 1 when any failed. Two inputs that would\n"
           "give the same output name: the second is not converted.\n"
           "\n"
           "An output file that exists already is not replaced (the conversion of\n"
           "that file fails) unless --overwrite is given; the old file stays until\n"
           "the new one is complete. Results are written under a temporary name\n"
           "(.NAME.*.kestrune-part) and named when complete.\n"
           "\n"
           "Options:\n"
           "  --format EXT              output format: wav, mp3, ogg, ape, flac\n"
           "  --to EXT                  output format of the second form\n"
           "  --out-dir DIR             folder for the results of the second form (also\n"
           "                            --folder)\n"
           "  --jobs N                  files converted at the same time (default: one per core)\n"
           "  --overwrite               replace output files that exist already\n"
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
           "FLAC:\n"
           "  --flac-level N            0 fastest ... 8 smallest, as flac -0 ... -8 (default 5);\n"
           "                            -1, or any setting below, sets the encoder by hand\n"
           "                            (block size 4608, fixed predictors, mid-side)\n"
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
    static const std::set<std::string> flags{"--overwrite"};
    return flags;
}

const std::set<std::string>& TConvertCommand::Options()
{
    static const std::set<std::string> options = [] {
        std::set<std::string> names{"--format", "--to", "--out-dir", "--jobs", "--wav-type", "--block-size"};
        names.insert(TCliSettings::EncoderOptions().begin(), TCliSettings::EncoderOptions().end());
        return names;
    }();
    return options;
}

int TConvertCommand::Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted)
{
    const std::vector<std::string>& words = Args.Positional();
    std::error_code ignored;
    // IN OUT stays the single conversion; a folder as the last of two words
    // is an output name there, and the single conversion says what is wrong.
    const bool batchForm = Args.Has("--to") || Args.Has("--out-dir") || Args.Has("--jobs") || words.size() > 2 ||
                           (!words.empty() && fs::is_directory(words.front(), ignored));

    TPlainDispatcher dispatcher;
    // The one question the command meets: whether to replace an existing
    // output, answered by --overwrite.
    TPlainDialogs dialogs(nullptr, Args.Flag("--overwrite"));
    TNoConvertView view;
    TConvertController controller(view, dialogs, dispatcher);

    if (batchForm) {
        if (words.empty())
            throw EUsage("convert needs at least one input file or folder");
        if (!Args.Has("--to") && !Args.Has("--format"))
            throw EUsage("converting several files needs --to FORMAT");
        if (Args.Has("--to") && Args.Has("--format") && Args.Value("--to") != Args.Value("--format"))
            throw EUsage("--to and --format name different formats");
        const std::string formatName = Args.Has("--to") ? Args.Value("--to") : Args.Value("--format");
        const int format = controller.FindFormat(formatName);
        if (format < 0)
            throw EUsage("unknown output format \"" + formatName + "\"");
        TEncoderSettings encoders = controller.EncoderSettings();
        TCliSettings::ApplyEncoderOptions(Args, encoders);
        return ExecuteBatch(Args, Out, Interrupted, format, encoders);
    }

    if (words.size() != 2)
        throw EUsage("convert needs an input and an output file");
    const std::string& inName = words[0];
    const std::string& outName = words[1];
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
    job.Wait(dispatcher, Interrupted, [&] { controller.Cancel(); });

    if (job.Outcome != TJobOutcome::joSucceeded) {
        std::string reason = job.Reason.empty() ? std::string("the conversion failed") : job.Reason;
        if (reason == TConvertController::ExistsText(outName))
            reason += "; --overwrite replaces it";
        Out.Error(reason);
        return 1;
    }

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
