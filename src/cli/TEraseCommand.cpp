#include "cli/TEraseCommand.h"

#include "cli/TCliBurner.h"

namespace kestrune::cli {

const char* TEraseCommand::Usage()
{
    return "Usage: kestrune-cli erase [options]\n"
           "\n"
           "Quick-erases the CD-RW in a burner, so that it can be written again.\n"
           "\n"
           "Options:\n"
           "  --device DEV    the burner, by its path or name as 'kestrune-cli drives'\n"
           "                  lists it (default: the drive chosen in the settings)\n"
           "  --config FILE   the settings file to use\n"
           "  --json          one JSON object per line on stdout\n"
           "  --quiet         print nothing but errors\n"
           "  --help          this text\n"
           "\n"
           "Exit status: 0 erased, 1 refused (no CD-RW in the drive), failed or stopped.\n";
}

const std::set<std::string>& TEraseCommand::Flags()
{
    static const std::set<std::string> flags{};
    return flags;
}

const std::set<std::string>& TEraseCommand::Options()
{
    static const std::set<std::string> options{"--device", "--config"};
    return options;
}

int TEraseCommand::Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted)
{
    if (!Args.Positional().empty())
        throw EUsage("erase takes no file names");
    TCliBurner burner(Args, Out);
    TBurnController& burn = burner.Controller();
    const std::string drive = burn.Drives().at(static_cast<std::size_t>(burn.CurrentDrive()));
    burn.QuickErase();
    if (!burn.WriterBusy())
        return 1; // refused, with the reason printed
    std::string reason;
    const TJobOutcome outcome = burner.WaitForJob(
        Interrupted, [&] { burner.Writer().CancelWrite(); }, reason);
    if (outcome == TJobOutcome::joSucceeded) {
        Out.ResultObject("Erased the disc in " + drive, "done", {{"drive", drive}});
        return 0;
    }
    if (outcome == TJobOutcome::joCancelled)
        Out.Error("the erase was stopped");
    else if (burner.Problems().empty())
        Out.Error(reason.empty() ? std::string("the erase failed") : reason);
    return 1;
}

} // namespace kestrune::cli
