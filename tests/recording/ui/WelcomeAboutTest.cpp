// The welcome and about windows, shown offscreen.
#include "recording/ui/TFAbout.h"
#include "recording/ui/TFFirst.h"

#include "codecs/TDynamicLibrary.h"
#include "codecs/TLameLibrary.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

using namespace kestrune;

namespace {

// Every label shows its whole text: as tall as its text needs at its width.
void CheckNoLabelClipped(QWidget& Window)
{
    for (QLabel* label : Window.findChildren<QLabel*>()) {
        if (label->text().isEmpty())
            continue;
        const int needed = label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
        QVERIFY2(label->height() >= needed, qPrintable(label->text()));
        if (!label->wordWrap())
            QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->text()));
    }
}

QStringList Column(const QTreeWidget& Tree, int Index)
{
    QStringList values;
    for (int i = 0; i < Tree.topLevelItemCount(); ++i)
        values << Tree.topLevelItem(i)->text(Index);
    return values;
}

} // namespace

class WelcomeAboutTest : public QObject {
    Q_OBJECT
private slots:
    void WelcomeShowsItsTextCentredAndClosesWithOk()
    {
        TFFirst welcome;
        QCOMPARE(welcome.windowTitle(), QStringLiteral("Welcome"));
        auto* text = welcome.findChild<QLabel*>(QStringLiteral("LText"));
        QVERIFY(text);
        QCOMPARE(text->text(), QStringLiteral("You are about to enter the first time user setup. Once you are happy "
                                              "with your setup preferences, click 'Save Settings' to continue"));

        int result = -1;
        bool centred = false;
        QTimer::singleShot(0, &welcome, [&] {
            const QPoint offset = welcome.frameGeometry().center() - welcome.screen()->availableGeometry().center();
            centred = offset.manhattanLength() <= 2;
            CheckNoLabelClipped(welcome);
            auto* ok = welcome.findChild<QPushButton*>(QStringLiteral("BtnOK"));
            QVERIFY(ok);
            QCOMPARE(ok->text(), QStringLiteral("OK"));
            ok->click();
        });
        result = welcome.exec();
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(centred);
    }

    // The list is read when the window is shown: a library missing at one
    // showing says "not installed", and the next showing after it came back
    // gives its version again.
    void AboutListsTheLoadedLibrariesEachTimeItIsShown()
    {
        TFAbout about;
        auto* version = about.findChild<QLabel*>(QStringLiteral("LVersion"));
        QVERIFY(version);
        QVERIFY(version->text().contains(QStringLiteral(KESTRUNE_PROJECT_VERSION)));
        auto* licence = about.findChild<QLabel*>(QStringLiteral("LLicence"));
        QVERIFY(licence);
        QVERIFY(licence->text().contains(QStringLiteral("GPL-3.0-or-later")));
        QVERIFY(licence->text().contains(QStringLiteral("/usr/share/common-licenses/GPL-3")));
        auto* list = about.findChild<QTreeWidget*>(QStringLiteral("LVLibraries"));
        QVERIFY(list);

        TDynamicLibrary::ReplaceSoName(TLameLibrary::SoName, "libkestrune-absent.so.9");
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        TDynamicLibrary::ReplaceSoName(TLameLibrary::SoName, "");
        QCOMPARE(Column(*list, 0), (QStringList{"Qt", "LAME", "mpg123", "libFLAC", "libvorbis", "Chromaprint",
                                                "libcurl", "libasound", "libpulse"}));
        QStringList versions = Column(*list, 1);
        QCOMPARE(versions.at(0), QString::fromLatin1(qVersion()));
        QCOMPARE(versions.at(1), QStringLiteral("not installed"));
        for (int i = 2; i < versions.size(); ++i)
            QVERIFY2(!versions.at(i).isEmpty() && versions.at(i) != QStringLiteral("not installed"),
                     qPrintable(list->topLevelItem(i)->text(0)));
        // Every row in sight, no text cut short.
        QCOMPARE(list->verticalScrollBar()->maximum(), 0);
        CheckNoLabelClipped(about);

        about.hide();
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        versions = Column(*list, 1);
        QVERIFY(versions.at(1).contains(QLatin1Char('.')));
    }
};

QTEST_MAIN(WelcomeAboutTest)
#include "WelcomeAboutTest.moc"
