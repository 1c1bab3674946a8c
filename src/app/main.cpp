// kestrune: the desktop program.

#include "app/TDesktopProgram.h"
#include "app/TSingleInstance.h"
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

// Another start asked for this program: its window, or the window it has
// open in front of it, comes to the front.
void RaiseWindow(QWidget& Main)
{
    if (Main.isMinimized())
        Main.setWindowState(Main.windowState() & ~Qt::WindowMinimized);
    QWidget* front = QApplication::activeModalWidget();
    if (!front)
        front = &Main;
    front->raise();
    front->activateWindow();
}

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

    // A second start on the same settings brings the first to the front.
    kestrune::TSingleInstance instance(
        kestrune::TSingleInstance::ServerName(kestrune::TDesktopProgram::IniFileName(args)));
    if (!args.NewInstance && instance.AskRunning()) {
        std::cerr << "kestrune: already running; its window was brought to the front "
                     "(--new-instance starts another)\n";
        return 0;
    }
    kestrune::TSkin::Apply(app);

    kestrune::TSystemOptionsPlatform platform;
    kestrune::TDesktopProgram program(args, platform);
    if (!args.NewInstance)
        instance.Listen([&program] { RaiseWindow(program.Window()); });
    program.Start(kestrune::TDesktopProgram::LocalToday());
    if (args.QuitAfterFirstPaint)
        QuitAfterFirstPaint(program.Window());
    return QApplication::exec();
}
