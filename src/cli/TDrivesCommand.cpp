#include "cli/TDrivesCommand.h"

#include "cli/TCliBurner.h"

namespace kestrune::cli {

const char* TDrivesCommand::Usage()
{
    return "Usage: kestrune-cli drives [options]\n"
           "\n"
           "Lists the CD writers as the burn window does: the burners found, then the\n"
           "image drive that writes a BIN/CUE image; each with its write speeds and\n"
           "the disc in it.\n"
           "\n"
           "Options:\n"
           "  --device image:FILE.cue   where the image drive writes\n"
           "  --capacity MINUTES        the image drive's disc (default 80)\n"
           "  --config FILE             the settings file to use\n"
           "  --json                    one JSON object per line on stdout\n"
           "  --quiet                   print nothing but errors\n"
           "  --help                    this text\n"
           "\n"
           "Exit status: 0 listed, 1 the drives could not be scanned.\n";
}

const std::set<std::string>& TDrivesCommand::Flags()
{
    static const std::set<std::string> flags{};
    return flags;
}

const std::set<std::string>& TDrivesCommand::Options()
{
    static const std::set<std::string> options{"--device", "--capacity", "--config"};
    return options;
}

int TDrivesCommand::Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>&)
{
    if (!Args.Positional().empty())
        throw EUsage("drives takes no file names");
    TCliBurner burner(Args, Out);
    TBurnController& burn = burner.Controller();
    const std::vector<std::string> drives = burn.Drives();
    for (int i = 0; i < static_cast<int>(drives.size()); ++i) {
        burn.ChangeDrive(i);
        const std::vector<std::string> speeds = burn.Speeds();
        std::string speedText;
        for (const std::string& s : speeds)
            speedText += (speedText.empty() ? "" : " ") + s;
        const std::string& name = drives[static_cast<std::size_t>(i)];
        Out.ResultObject(std::to_string(i + 1) + ": " + name, "drive",
                         {{"number", i + 1},
                          {"name", name},
                          {"speeds", speeds},
                          {"disc", burner.Description()},
                          {"used_seconds", burn.UsedSeconds()},
                          {"capacity_seconds", burn.CapacitySeconds()}});
        Out.Text("   speeds: " + (speedText.empty() ? std::string("-") : speedText));
        Out.Text("   disc: " + burner.Description());
        if (!burner.Space().empty())
            Out.Text("   " + burner.Space());
    }
    return 0;
}

} // namespace kestrune::cli
