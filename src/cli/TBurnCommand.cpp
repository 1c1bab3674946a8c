#include "cli/TBurnCommand.h"

#include "cli/TCliBurner.h"

namespace kestrune::cli {

namespace {

// The settings' write method for a name on the command line.
int MethodOf(const std::string& Name)
{
    if (Name == "tao")
        return 1;
    if (Name == "dao")
        return 2;
    if (Name == "sao")
        return 3;
    throw EUsage("unknown write method \"" + Name + "\"; use tao, sao or dao");
}

std::string Clock(int Seconds)
{
    const int s = Seconds % 60;
    return std::to_string(Seconds / 60) + (s < 10 ? ":0" : ":") + std::to_string(s);
}

} // namespace

const char* TBurnCommand::Usage()
{
    return "Usage: kestrune-cli burn FILE... [options]\n"
           "\n"
           "Writes the files, in order, as an audio CD: on a burner, or as a BIN/CUE\n"
           "image (NAME.bin beside NAME.cue) to burn elsewhere. Every file we read\n"
           "(WAV, MP3, Ogg Vorbis, FLAC, APE) becomes CD audio; titles and artists of\n"
           "tagged files go on the disc as CD-TEXT. A queue longer than the disc, or a\n"
           "file that cannot be read, is refused before anything is written.\n"
           "\n"
           "Options:\n"
           "  --device DEV       the burner, by its path or name as 'kestrune-cli drives'\n"
           "                     lists it, or image:FILE.cue for an image (default: the\n"
           "                     drive chosen in the settings, else the first)\n"
           "  --speed N          write speed factor (default: the setting)\n"
           "  --method M         tao (track at once), sao or dao (the whole disc at once,\n"
           "                     with CD-TEXT) (default: the setting)\n"
           "  --close            close the disc after writing (default: the setting)\n"
           "  --simulate         a burner does everything but burn\n"
           "  --gap SECONDS      silence between tracks, 0 for none (default 2)\n"
           "  --capacity MINUTES the image's disc, in minutes, fractions allowed\n"
           "                     (default: the setting, 80)\n"
           "  --config FILE      the settings file to use\n"
           "  --json             one JSON object per line on stdout\n"
           "  --quiet            print nothing but errors\n"
           "  --help             this text\n"
           "\n"
           "Ctrl-C stops the write. Exit status: 0 written, 1 refused, failed or stopped.\n";
}

const std::set<std::string>& TBurnCommand::Flags()
{
    static const std::set<std::string> flags{"--close", "--simulate"};
    return flags;
}

const std::set<std::string>& TBurnCommand::Options()
{
    static const std::set<std::string> options{"--device", "--speed", "--method",  "--gap",
                                               "--capacity", "--config"};
    return options;
}

int TBurnCommand::Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted)
{
    const std::vector<std::string>& files = Args.Positional();
    if (files.empty())
        throw EUsage("burn needs at least one audio file");
    const int method = Args.Has("--method") ? MethodOf(Args.Value("--method")) : 0;
    const long speed = Args.Integer("--speed", 0, 1, 256);
    const long gap = Args.Integer("--gap", 2, 0, 60);

    TCliBurner burner(Args, Out);
    TOptions& options = burner.Options();
    if (Args.Has("--speed"))
        options.WriterSpeed = static_cast<std::int32_t>(speed);
    if (method != 0)
        options.WriterMethod = method;
    if (Args.Flag("--close"))
        options.CloseAtEnd = true;
    burner.Writer().SetGapSeconds(static_cast<int>(gap));
    burner.Writer().SetSimulate(Args.Flag("--simulate"));

    TBurnController& burn = burner.Controller();
    if (!burn.CanAddFiles())
        return 1;
    burn.AddFiles(files);
    // A file left out would make a disc without it: nothing is written.
    if (!burner.Problems().empty()) {
        Out.Error("nothing was written");
        return 1;
    }

    const std::string drive = burn.Drives().at(static_cast<std::size_t>(burn.CurrentDrive()));
    Out.Info("Drive: " + drive);
    Out.Info("Disc: " + burner.Description());
    Out.Info(burner.Space());
    TCliOutput::TJson tracks = TCliOutput::TJson::array();
    int number = 0;
    for (const TBurnRow& row : burn.Rows()) {
        Out.Info("  " + std::to_string(++number) + ". " + row.Name + " (" + row.Duration + ")");
        tracks.push_back({{"file", row.Name}, {"duration", row.Duration}});
    }
    Out.JsonOnlyObject("queue", {{"drive", drive},
                                 {"disc", burner.Description()},
                                 {"used_seconds", burn.UsedSeconds()},
                                 {"queued_seconds", burn.QueuedSeconds()},
                                 {"capacity_seconds", burn.CapacitySeconds()},
                                 {"tracks", tracks}});

    const int queued = burn.QueuedSeconds();
    burn.StartBurn();
    if (!burn.BurnStarted())
        return 1; // refused, with the reason printed
    std::string reason;
    const TJobOutcome outcome = burner.WaitForJob(
        Interrupted, [&] { burn.StartBurn(); }, reason);
    if (outcome == TJobOutcome::joSucceeded) {
        const std::string image = burner.Writer().LastImage();
        const std::string where = image.empty() ? drive : image;
        Out.ResultObject("Wrote " + std::to_string(number) + (number == 1 ? " track" : " tracks") + " (" +
                             Clock(queued) + ") to " + where,
                         "done",
                         {{"tracks", number}, {"seconds", queued}, {"drive", drive}, {"image", image}});
        return 0;
    }
    if (outcome == TJobOutcome::joCancelled)
        Out.Error("the write was stopped");
    else if (burner.Problems().empty())
        Out.Error(reason.empty() ? std::string("the write failed") : reason);
    return 1;
}

} // namespace kestrune::cli
