// The skin: every icon the windows ask for is there and draws, and the sheet
// follows the desktop's palette, light or dark, also when it changes while the
// program runs.
#include "common/ui/TSkin.h"

#include "common/ui/TQtDialogs.h"

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <QtTest>

using namespace kestrune;

namespace {

QPalette DarkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    dark.setColor(QPalette::WindowText, QColor(0xe8, 0xe8, 0xe8));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Text, QColor(0xe8, 0xe8, 0xe8));
    dark.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3a));
    dark.setColor(QPalette::ButtonText, QColor(0xe8, 0xe8, 0xe8));
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0x7e, 0xc2));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    return dark;
}

// The lightness of the middle of a widget's left edge, inside its border,
// where only its background shows.
int BackgroundLightness(QWidget& Widget)
{
    Widget.ensurePolished();
    Widget.resize(Widget.sizeHint());
    const QImage image = Widget.grab().toImage();
    return image.pixelColor(image.width() / 12 + 3, image.height() / 2).lightness();
}

} // namespace

class SkinTest : public QObject {
    Q_OBJECT
private slots:
    void EveryIconIsThereAndDraws()
    {
        const char* names[] = {
            "start",   "stop",   "wizard",   "settings", "burn",         "convert",      "remove",
            "play",    "moveup", "movedown", "rip",      "row-recorded", "row-onematch", "row-severalmatches",
            "kestrune"};
        for (const char* name : names) {
            const QIcon icon = TSkin::Icon(name);
            QVERIFY2(!icon.isNull(), name);
            for (const int side : {16, 48}) {
                QImage image(side, side, QImage::Format_ARGB32);
                image.fill(Qt::transparent);
                QPainter painter(&image);
                icon.paint(&painter, image.rect());
                painter.end();
                int drawn = 0;
                for (int y = 0; y < side; ++y)
                    for (int x = 0; x < side; ++x)
                        drawn += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
                // A glyph, not a blank and not a filled square.
                QVERIFY2(drawn > side * side / 10 && drawn < side * side * 95 / 100,
                         qPrintable(QStringLiteral("%1 at %2 px: %3 pixels drawn").arg(name).arg(side).arg(drawn)));
            }
        }
        QVERIFY(TSkin::Icon("no-such-icon").isNull());
    }

    void TheSheetFollowsTheDesktopPalette()
    {
        const QPalette light = QApplication::palette();
        QVERIFY(light.color(QPalette::Window).lightness() > 128);
        for (const QPalette& palette : {light, DarkPalette()}) {
            const QString sheet = TSkin::StyleSheet(palette);
            QVERIFY(sheet.contains(QLatin1String("QPushButton")));
            QVERIFY2(!sheet.contains(QLatin1Char('@')), "a colour was left unfilled");
        }

        auto& app = *qobject_cast<QApplication*>(QCoreApplication::instance());
        TSkin::Apply(app);
        QVERIFY(!app.windowIcon().isNull());
        QLineEdit edit(QStringLiteral("x"));
        QPushButton button(QStringLiteral("A button"));
        QVERIFY(BackgroundLightness(edit) > 160);
        QVERIFY(BackgroundLightness(button) > 160);

        // The desktop turns dark while the program runs: the sheet follows.
        QApplication::setPalette(DarkPalette());
        QCoreApplication::processEvents();
        QCOMPARE(app.styleSheet(), TSkin::StyleSheet(DarkPalette()));
        QLineEdit darkEdit(QStringLiteral("x"));
        QPushButton darkButton(QStringLiteral("A button"));
        QVERIFY(BackgroundLightness(darkEdit) < 96);
        QVERIFY(BackgroundLightness(darkButton) < 96);
        QApplication::setPalette(light);
    }

    // Message boxes show the skin's pictures, and dialog buttons no pictures.
    void MessageBoxesWearTheSkin()
    {
        auto& app = *qobject_cast<QApplication*>(QCoreApplication::instance());
        TSkin::Apply(app);
        const std::pair<QStyle::StandardPixmap, const char*> pictures[] = {
            {QStyle::SP_MessageBoxWarning, "msg-warning"},
            {QStyle::SP_MessageBoxCritical, "msg-error"},
            {QStyle::SP_MessageBoxInformation, "msg-information"},
            {QStyle::SP_MessageBoxQuestion, "msg-question"},
        };
        // Applied once or twice alike.
        for (int round = 0; round < 2; ++round) {
            for (const auto& [which, name] : pictures) {
                const QImage shown = QApplication::style()->standardIcon(which).pixmap(32, 32).toImage();
                const QImage skin = TSkin::Icon(name).pixmap(32, 32).toImage();
                QVERIFY2(!skin.isNull() && shown == skin, name);
            }
            QCOMPARE(QApplication::style()->styleHint(QStyle::SH_DialogButtonBox_ButtonsHaveIcons), 0);
            TSkin::Apply(app);
        }
    }

    // The desktop adds the program's name to every title: a title never
    // carries it a second time, and a small dialog or message box is wide
    // enough for its whole title beside the window manager's buttons.
    void TitlesNameTheProgramOnceAndFitTheirBars()
    {
        auto& app = *qobject_cast<QApplication*>(QCoreApplication::instance());
        QApplication::setApplicationDisplayName(QStringLiteral("Kestrune"));
        TSkin::Apply(app);
        QCOMPARE(TSkin::ShownTitle(QStringLiteral("Settings")), QStringLiteral("Settings \u2014 Kestrune"));
        QCOMPARE(TSkin::ShownTitle(QStringLiteral("Kestrune")), QStringLiteral("Kestrune"));

        QFont bold = QApplication::font();
        bold.setBold(true);
        const QFontMetrics metrics(bold);
        const auto fits = [&](const QWidget& Window) {
            return Window.width() >= metrics.horizontalAdvance(TSkin::ShownTitle(Window.windowTitle()));
        };

        QDialog info;
        info.setWindowTitle(QStringLiteral("Track Info"));
        info.resize(60, 40);
        info.show();
        QVERIFY(QTest::qWaitForWindowExposed(&info));
        QVERIFY2(fits(info), qPrintable(QString::number(info.width())));
        info.close();

        // A dialog that would like more room than the screen has is shown
        // within its free area (a wider one's title bar and close box would
        // be off the screen).
        QDialog large;
        large.setWindowTitle(QStringLiteral("Settings"));
        large.resize(5000, 4000);
        large.move(-300, -200);
        large.show();
        QVERIFY(QTest::qWaitForWindowExposed(&large));
        QVERIFY2(large.screen()->availableGeometry().contains(large.geometry()),
                 qPrintable(QStringLiteral("%1x%2 at %3,%4").arg(large.width()).arg(large.height()).arg(large.x()).arg(large.y())));
        large.close();

        int boxWidth = 0;
        QString boxTitle;
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            boxWidth = box->width();
            boxTitle = box->windowTitle();
            box->accept();
        });
        TQtDialogs dialogs;
        dialogs.Information("OK");
        QCOMPARE(boxTitle, QStringLiteral("Information"));
        QVERIFY2(boxWidth >= metrics.horizontalAdvance(TSkin::ShownTitle(boxTitle)),
                 qPrintable(QString::number(boxWidth)));
        QApplication::setApplicationDisplayName(QString());
    }

    // A radio button's indicator is round at every font size (a radius in
    // em rounded past half the box made Qt draw it square under a large font).
    void RadioButtonsStayRoundWithAnyFont()
    {
        auto& app = *qobject_cast<QApplication*>(QCoreApplication::instance());
        TSkin::Apply(app);
        const QFont before = QApplication::font();
        for (int pixels = 9; pixels <= 40; ++pixels) {
            // The desktop's font, as another colour scheme sets it.
            QFont font = before;
            font.setPixelSize(pixels);
            QApplication::setFont(font);
            TSkin::Apply(app);
            QRadioButton radio(QStringLiteral("Disc at Once"));
            radio.ensurePolished();
            radio.resize(radio.sizeHint() + QSize(40, 0));
            const QImage image = radio.grab().toImage();
            QStyleOptionButton option;
            option.initFrom(&radio);
            const QRect box = radio.style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, &radio);
            QVERIFY(box.width() > 4);
            const QColor background = image.pixelColor(image.width() - 2, image.height() / 2);
            const QColor corner = image.pixelColor(box.topLeft());
            QVERIFY2(corner == background, qPrintable(QStringLiteral("%1 px: corner %2, background %3")
                                                          .arg(pixels)
                                                          .arg(corner.name(), background.name())));
        }
        QApplication::setFont(before);
        TSkin::Apply(app);
    }
};

QTEST_MAIN(SkinTest)
#include "SkinTest.moc"
