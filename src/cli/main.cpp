// kestrune-cli: Kestrune's jobs without a display.

#include "cli/TCliArgs.h"
#include "cli/TCliCommand.h"
#include "cli/TCliOutput.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <exception>
#include <iostream>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

using namespace kestrune::cli;

namespace {

std::atomic<bool> Interrupted{false};

extern "C" void OnInterrupt(int)
{
    Interrupted = true;
}

std::string MainUsage()
{
    std::string text = "Usage: kestrune-cli COMMAND [options]\n\nCommands:\n";
    for (const TCliCommand& command : Commands()) {
        std::string name = command.Name;
        name.resize(std::max<size_t>(name.size() + 2, 12), ' ');
        text += "  " + name + command.Summary + "\n";
    }
    text += "\nEvery command takes --help, --json (one JSON object per line on stdout)\n"
            "and --quiet (nothing but errors).\n"
            "\nOptions:\n"
            "  --help      this text\n"
            "  --version   the program's version\n"
            "\nExit status: 0 done, 1 the job failed, 2 wrong usage.\n";
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty()) {
        std::cerr << MainUsage();
        return 2;
    }
    const std::string name = words.front();
    if (name == "--help" || name == "-h" || name == "help") {
        std::cout << MainUsage();
        return 0;
    }
    if (name == "--version") {
        std::cout << "kestrune-cli " KESTRUNE_VERSION "\n";
        return 0;
    }
    words.erase(words.begin());
    const TCliCommand* command = nullptr;
    for (const TCliCommand& c : Commands())
        if (name == c.Name)
            command = &c;
    if (!command) {
        std::cerr << "kestrune-cli: unknown command \"" << name << "\"\n" << MainUsage();
        return 2;
    }

    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed terminal ends a job as Ctrl-C does, through its own end
    // rather than half-way through a write.
    sigaction(SIGHUP, &action, nullptr);

    bool json = false;
    try {
        std::set<std::string> flags = command->Flags;
        flags.insert({"--json", "--quiet", "--help"});
        const TCliArgs args(words, flags, command->Options);
        if (args.Flag("--help")) {
            std::cout << command->Usage();
            return 0;
        }
        json = args.Flag("--json");
        TCliOutput out(std::cout, std::cerr, json, args.Flag("--quiet"), ::isatty(STDERR_FILENO) != 0);
        return command->Execute(args, out, Interrupted);
    } catch (const EUsage& e) {
        if (json)
            std::cout << TCliOutput::EventLine("error", {{"message", e.what()}}) << "\n";
        std::cerr << "kestrune-cli: " << e.what() << "\nTry 'kestrune-cli " << name << " --help'.\n";
        return 2;
    } catch (const std::exception& e) {
        if (json)
            std::cout << TCliOutput::EventLine("error", {{"message", e.what()}}) << "\n";
        std::cerr << "kestrune-cli: " << e.what() << "\n";
        return 1;
    }
}
