// The floor of any Qt Widgets program on this machine: one empty window of
// the main window's size. With --quit-after-first-paint it ends as soon as
// the window has painted, which is how the start-up comparison times it.
#include <QApplication>
#include <QPaintEvent>
#include <QTimer>
#include <QWidget>

#include <cstring>

namespace {

class TEmptyWindow final : public QWidget {
public:
    explicit TEmptyWindow(bool QuitAfterPaint) : Quit(QuitAfterPaint) {}

protected:
    void paintEvent(QPaintEvent* Event) override
    {
        QWidget::paintEvent(Event);
        if (Quit)
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }

private:
    bool Quit;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const bool quit = argc > 1 && std::strcmp(argv[1], "--quit-after-first-paint") == 0;
    TEmptyWindow window(quit);
    window.setWindowTitle(QStringLiteral("Qt floor"));
    window.resize(760, 520);
    window.show();
    return QApplication::exec();
}
