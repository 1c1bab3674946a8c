// kestrune-cli: Kestrune's jobs without a display.

#include "cli/TCliArgs.h"
#include "cli/TCliOutput.h"
#include "cli/TConvertCommand.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <exception>
#include <iostream>
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

const char* MainUsage()
{
    return "Usage: kestrune-cli COMMAND [options]\n"
           "\n"
           "Commands:\n"
           "  convert IN OUT   convert an audio file (see kestrune-cli convert --help)\n"
           "\n"
           "Options:\n"
           "  --help           this text\n"
           "  --version        the program's version\n"
           "\n"
           "Exit status: 0 done, 1 the job failed, 2 wrong usage.\n";
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty()) {
        std::cerr << MainUsage();
        return 2;
    }
    const std::string command = words.front();
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << MainUsage();
        return 0;
    }
    if (command == "--version") {
        std::cout << "kestrune-cli 0.1.0\n";
        return 0;
    }
    words.erase(words.begin());
    if (command != "convert") {
        std::cerr << "kestrune-cli: unknown command \"" << command << "\"\n" << MainUsage();
        return 2;
    }

    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    bool json = false;
    try {
        const TCliArgs args(words, TConvertCommand::Flags(), TConvertCommand::Options());
        if (args.Flag("--help")) {
            std::cout << TConvertCommand::Usage();
            return 0;
        }
        json = args.Flag("--json");
        TCliOutput out(std::cout, std::cerr, json, args.Flag("--quiet"), ::isatty(STDERR_FILENO) != 0);
        return TConvertCommand::Execute(args, out, Interrupted);
    } catch (const EUsage& e) {
        if (json)
            std::cout << "{\"event\":\"error\",\"message\":" << TCliOutput::JsonString(e.what()) << "}\n";
        std::cerr << "kestrune-cli: " << e.what() << "\nTry 'kestrune-cli " << command << " --help'.\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "kestrune-cli: " << e.what() << "\n";
        return 1;
    }
}
