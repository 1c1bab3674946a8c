#include "common/ui/TSkin.h"

#include <QApplication>
#include <QColor>
#include <QDialog>
#include <QEvent>
#include <QFile>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QObject>
#include <QProxyStyle>
#include <QScreen>
#include <QSpacerItem>
#include <QStyle>
#include <QToolButton>

#include <algorithm>
#include <utility>

// The resources live in a static library, so they are registered by hand once;
// Q_INIT_RESOURCE must be used outside any namespace.
static void InitSkinResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(kestrune_skin);
        return true;
    }();
    (void)done;
}

namespace kestrune {

namespace {

// A colour Amount of the way from From to To.
QColor Mix(const QColor& From, const QColor& To, double Amount)
{
    const auto part = [Amount](double a, double b) { return a + (b - a) * Amount; };
    return QColor::fromRgbF(static_cast<float>(part(From.redF(), To.redF())),
                            static_cast<float>(part(From.greenF(), To.greenF())),
                            static_cast<float>(part(From.blueF(), To.blueF())));
}

// Sets the sheet again when the desktop switches between light and dark
// while the program runs.
class TPaletteWatch final : public QObject {
public:
    explicit TPaletteWatch(QApplication& App) : QObject(&App), Application(App) {}

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if (Watched == &Application && Event->type() == QEvent::ApplicationPaletteChange)
            Application.setStyleSheet(TSkin::StyleSheet(QApplication::palette()));
        // Small dialogs ("Track Info", a message box) would otherwise get
        // their titles cut by the window manager ("Inf… une").
        if (Event->type() == QEvent::Show)
            if (auto* dialog = qobject_cast<QDialog*>(Watched); dialog && dialog->isWindow()) {
                TSkin::FitTitle(*dialog);
                TSkin::FitScreen(*dialog);
            }
        return QObject::eventFilter(Watched, Event);
    }

private:
    QApplication& Application;
};

// The desktop's style with the skin's own message-box pictures, and
// dialog buttons without the pictures some styles put on them, so a
// message box looks like the rest of the program.
class TSkinStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint Hint, const QStyleOption* Option, const QWidget* Widget,
                  QStyleHintReturn* Return) const override
    {
        if (Hint == SH_DialogButtonBox_ButtonsHaveIcons)
            return 0;
        return QProxyStyle::styleHint(Hint, Option, Widget, Return);
    }

    QIcon standardIcon(StandardPixmap Which, const QStyleOption* Option, const QWidget* Widget) const override
    {
        const char* name = nullptr;
        switch (Which) {
        case SP_MessageBoxWarning:
            name = "msg-warning";
            break;
        case SP_MessageBoxCritical:
            name = "msg-error";
            break;
        case SP_MessageBoxInformation:
            name = "msg-information";
            break;
        case SP_MessageBoxQuestion:
            name = "msg-question";
            break;
        default:
            break;
        }
        if (name)
            return TSkin::Icon(name);
        return QProxyStyle::standardIcon(Which, Option, Widget);
    }
};

} // namespace

QString TSkin::StyleSheet(const QPalette& Palette)
{
    InitSkinResources();
    QFile file(QStringLiteral(":/skin/kestrune.qss"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString sheet = QString::fromUtf8(file.readAll());

    const QColor window = Palette.color(QPalette::Window);
    const QColor text = Palette.color(QPalette::WindowText);
    const QColor button = Palette.color(QPalette::Button);
    const QColor base = Palette.color(QPalette::Base);
    const QColor highlight = Palette.color(QPalette::Highlight);
    const std::pair<const char*, QColor> colours[] = {
        {"@accent@", highlight},
        {"@border@", Mix(window, text, 0.28)},
        {"@bar@", Mix(window, text, 0.04)},
        {"@button@", button},
        {"@hover@", Mix(button, highlight, 0.18)},
        {"@pressed@", Mix(button, highlight, 0.34)},
        {"@alternate@", Mix(base, text, 0.04)},
        {"@disabled@", Mix(window, text, 0.45)},
    };
    for (const auto& [name, colour] : colours)
        sheet.replace(QLatin1String(name), colour.name());
    return sheet;
}

void TSkin::Apply(QApplication& App)
{
    InitSkinResources();
    // The watch marks a program the skin was applied to already: the style is
    // set once (the style in use is the sheet's own wrapper from then on, so
    // it cannot be asked).
    const QString watchName = QStringLiteral("SkinPaletteWatch");
    if (!App.findChild<QObject*>(watchName, Qt::FindDirectChildrenOnly)) {
        // Changing the style may hand the widgets the style's own palette;
        // the one in use (the desktop's, or one set before) is kept. It is set
        // only when it was lost, because a palette set by the program no
        // longer follows the desktop's.
        const QPalette palette = QApplication::palette();
        QApplication::setStyle(new TSkinStyle(QApplication::style()->name()));
        if (QApplication::palette() != palette)
            QApplication::setPalette(palette);
        auto* watch = new TPaletteWatch(App);
        watch->setObjectName(watchName);
        App.installEventFilter(watch);
    }
    App.setStyleSheet(StyleSheet(QApplication::palette()));
    App.setWindowIcon(Icon("kestrune"));
}

QString TSkin::ShownTitle(const QString& Title)
{
    const QString name = QGuiApplication::applicationDisplayName();
    if (name.isEmpty() || Title.endsWith(name))
        return Title.isEmpty() ? name : Title;
    return Title.isEmpty() ? name : Title + QStringLiteral(" \u2014 ") + name;
}

void TSkin::FitTitle(QWidget& Window)
{
    // The title bar's font is the window manager's; the program's own in
    // bold is as wide or wider on the usual desktops. Beside the text sit the
    // window's icon and up to three buttons, each about two lines high.
    QFont font = QApplication::font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    const int room = metrics.horizontalAdvance(ShownTitle(Window.windowTitle())) + 8 * metrics.height();
    if (auto* box = qobject_cast<QMessageBox*>(&Window)) {
        // A message box sizes itself from its layout when shown, whatever
        // minimum it was given: a strut in its grid is what it keeps.
        auto* grid = qobject_cast<QGridLayout*>(box->layout());
        if (!grid || box->property("kestruneTitleRoom").toInt() >= room)
            return;
        box->setProperty("kestruneTitleRoom", room);
        grid->addItem(new QSpacerItem(room, 0, QSizePolicy::Fixed, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
        return;
    }
    if (Window.minimumWidth() < room && Window.maximumWidth() >= room) {
        Window.setMinimumWidth(room);
        if (Window.width() < room)
            Window.resize(room, Window.height());
    }
}

void TSkin::FitScreen(QWidget& Window)
{
    const QScreen* screen = Window.screen();
    if (!screen)
        return;
    // Room for the window manager's frame and title bar around the window.
    const int line = QFontMetrics(QApplication::font()).height();
    const QRect free = screen->availableGeometry().adjusted(line, 2 * line, -line, -line);
    if (Window.width() > free.width() || Window.height() > free.height())
        Window.resize(Window.size().boundedTo(free.size()));
    const int x = std::clamp(Window.x(), free.left(), std::max(free.left(), free.right() - Window.width()));
    const int y = std::clamp(Window.y(), free.top(), std::max(free.top(), free.bottom() - Window.height()));
    if (x != Window.x() || y != Window.y())
        Window.move(x, y);
}

QToolButton* TSkin::PictureButton(QWidget* Parent, const char* Name, const char* IconName, const char* Hint)
{
    auto* button = new QToolButton(Parent);
    button->setObjectName(QString::fromLatin1(Name));
    button->setIcon(Icon(IconName));
    button->setIconSize(QSize(32, 32));
    button->setToolTip(QString::fromLatin1(Hint));
    button->setAutoRaise(true);
    return button;
}

QIcon TSkin::Icon(const char* Name)
{
    InitSkinResources();
    const QString path = QStringLiteral(":/skin/icons/%1.svg").arg(QLatin1String(Name));
    if (!QFile::exists(path))
        return {};
    return QIcon(path);
}

} // namespace kestrune
