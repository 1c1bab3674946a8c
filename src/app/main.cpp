// kestrune: the desktop program.

#include "app/TDesktopProgram.h"
#include "common/ui/TSkin.h"
#include "recording/ui/TFMain.h"
#include "settings/TSystemOptionsPlatform.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

#include <iostream>
#include <string>
#include <vector>

namespace {

// For start-up benchmarks: the program ends once the main window has been
// drawn for the first time, so timing the process times the start-up.
class TQuitAfterPaint final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if (Event->type() == QEvent::Paint && !Quitting) {
            Quitting = true;
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(Watched, Event);
    }

private:
    bool Quitting = false;
};

void QuitAfterFirstPaint(QWidget& Window)
{
    Window.installEventFilter(new TQuitAfterPaint(&Window));
}

} // namespace

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
    if (args.QuitAfterFirstPaint)
        QuitAfterFirstPaint(program.Window());
    return QApplication::exec();
}
