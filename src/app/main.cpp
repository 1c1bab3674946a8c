// kestrune: the desktop program.

#include "app/TDesktopProgram.h"
#include "common/ui/TSkin.h"
#include "settings/TSystemOptionsPlatform.h"

#include <QApplication>

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // The command line is read before Qt sees it: --help and --version work
    // without a display.
    std::vector<std::string> words(argv + 1, argv + argc);
    kestrune::TDesktopProgram::TArgs args;
    if (const int status = kestrune::TDesktopProgram::ParseArgs(words, args, std::cout, std::cerr); status >= 0)
        return status;

    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName("kestrune");
    QApplication::setApplicationDisplayName("Kestrune");
    QApplication::setApplicationVersion(KESTRUNE_VERSION);
    kestrune::TSkin::Apply(app);

    kestrune::TSystemOptionsPlatform platform;
    kestrune::TDesktopProgram program(args, platform);
    program.Start(kestrune::TDesktopProgram::LocalToday());
    return QApplication::exec();
}
