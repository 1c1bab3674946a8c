// The settings window and the noise capture window, offscreen: filled from a
// settings file, saved through the widgets, and the capture on a virtual
// device that plays a file.
#include "common/ui/TQtDialogs.h"
#include "common/ui/TQtDispatcher.h"
#include "mocks/TFakeOptionsPlatform.h"
#include "mocks/TSettingsWindowDoubles.h"
#include "settings/TIniFile.h"
#include "settings/TOptions.h"
#include "settings/ui/TFSettings.h"
#include "settings/ui/TFWait.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <deque>
#include <fstream>
#include <functional>
#include <memory>

using namespace kestrune;
using namespace kestrune::test;

namespace {

// Answers every message box that comes up, in order, and keeps what they said.
class TBoxes {
public:
    struct TSeen {
        QString Caption;
        QString Text;
    };
    std::deque<QMessageBox::StandardButton> Answers; // OK when none is left
    std::vector<TSeen> Seen;

    TBoxes()
    {
        Poll.setInterval(20);
        QObject::connect(&Poll, &QTimer::timeout, [this] { Answer(); });
        Poll.start();
    }
    QStringList Texts() const
    {
        QStringList texts;
        for (const TSeen& seen : Seen)
            texts << seen.Text;
        return texts;
    }

private:
    void Answer()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        Seen.push_back({box->windowTitle(), box->text()});
        QMessageBox::StandardButton answer = QMessageBox::Ok;
        if (!Answers.empty()) {
            answer = Answers.front();
            Answers.pop_front();
        }
        QAbstractButton* button = box->button(answer);
        if (!button)
            button = box->buttons().front();
        button->click();
    }
    QTimer Poll;
};

// Runs Action once Window is the modal window in front (not a box over it).
// Action ends by closing the window; when a failed check cut it short, the
// window is closed here so the test ends instead of waiting for ever.
void WhenUp(QDialog* Window, std::function<void()> Action)
{
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, Window, Action] {
        if (QApplication::activeModalWidget() != Window || !Window->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        Action();
        if (Window->isVisible())
            Window->done(QDialog::Rejected);
    });
    poll->start();
}

const std::vector<TAudioFormat> AllFormats = [] {
    std::vector<TAudioFormat> all;
    for (const auto& q : TOptions::Qualities())
        all.push_back({q.SampleRate, q.BitsPerSample, q.Channels});
    return all;
}();

constexpr int Rate = 22050;

// The settings window's world: a settings file, a sound card with a mixer,
// the main window's doubles, and the real message boxes.
struct TRig {
    TTempDir Dir;
    TFakePlatform Platform;
    std::string Ini = Dir.File("kestrune.ini");
    std::unique_ptr<TOptions> Options;
    TQtDialogs Dialogs;
    TQtDispatcher Dispatcher;
    TFakeSettingsHost Host;
    TFakeBurnDrives Drives;
    TFakeFreeDBServers FreeDB;
    int HelpOpened = 0;
    int AboutOpened = 0;
    std::unique_ptr<TFSettings> Window;

    // Loads Text as the settings file (none when empty) and builds the window.
    explicit TRig(const std::string& Text = "[Recordings]\nInputLine=Line In\n")
    {
        Platform.Formats = AllFormats;
        Platform.Script = [](TFakeMixer& M) { M.ItemSelected = {false, true, false}; }; // records from Line In
        if (!Text.empty())
            std::ofstream(Ini) << Text;
        Options = std::make_unique<TOptions>(Ini, Platform, TOptions::TDefaults{Dir.File("Records") + "/"});
    }
    TFSettings& Make()
    {
        Window = std::make_unique<TFSettings>(TSettingsWindowContext{
            *Options, Dialogs, Host, Drives, &FreeDB, Dispatcher, [this] { ++HelpOpened; }, [this] { ++AboutOpened; }});
        return *Window;
    }
    template <class T>
    T* Find(const char* Name) const
    {
        return Window->findChild<T*>(QString::fromLatin1(Name));
    }
    std::string FileText() const
    {
        std::ifstream in(Ini);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // A virtual capture device playing quiet stereo 16-bit audio of Seconds
    // with single samples set ({second, value}), chosen for the capture.
    void ChooseDevice(double Seconds, const std::vector<std::pair<double, int>>& Peaks)
    {
        std::vector<std::int16_t> samples(static_cast<std::size_t>(Seconds * Rate) * 2, 0);
        for (const auto& [at, value] : Peaks)
            samples[static_cast<std::size_t>(at * Rate) * 2] = static_cast<std::int16_t>(value);
        WriteWholeFile(Dir.File("card.wav"), PcmWavImage(samples, 2, Rate));
        Options->DriverNames = {"virtual:" + Dir.File("card.wav")};
        Options->DriverIndex = 0;
    }
};

// Every text on show is whole: labels and buttons as wide and as tall as
// their texts need.
void CheckNothingClipped(QWidget& Window, const QString& Where)
{
    for (QLabel* label : Window.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty())
            continue;
        const QString what = Where + QStringLiteral(": ") + label->text();
        const int needed = label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
        QVERIFY2(label->height() >= needed, qPrintable(what));
        if (!label->wordWrap())
            QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(what));
    }
    for (QAbstractButton* button : Window.findChildren<QAbstractButton*>()) {
        if (!button->isVisible())
            continue;
        const QString what = Where + QStringLiteral(": ") + button->objectName() + QLatin1Char(' ') + button->text();
        QVERIFY2(button->width() >= button->sizeHint().width(), qPrintable(what));
        QVERIFY2(button->height() >= button->minimumSizeHint().height(), qPrintable(what));
    }
    for (QComboBox* list : Window.findChildren<QComboBox*>()) {
        if (list->isVisible())
            QVERIFY2(list->width() >= list->sizeHint().width(),
                     qPrintable(Where + QStringLiteral(": ") + list->objectName()));
    }
}

QStringList Items(const QComboBox* List)
{
    QStringList items;
    for (int i = 0; i < List->count(); ++i)
        items << List->itemText(i);
    return items;
}

} // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT
private slots:
    void PagesAreFilledFromTheSettingsFile();
    void EveryPageShowsItsTextsWhole();
    void SaveWritesWhatTheWidgetsShow();
    void SaveStopsAtABadFieldOnItsPage_data();
    void SaveStopsAtABadFieldOnItsPage();
    void FirstRunModeOffersSaveOrSetUpLater();
    void FirstStartWithoutADeviceSaysSoInThePage();
    void ShortcutsCloseWithTheirFollowUp_data();
    void ShortcutsCloseWithTheirFollowUp();
    void BurningPageRefusedWithoutWriterAndFollowsTheDrive();
    void CaptureButtonOpensTheWaitWindowOnTheClock();
    void WaitWindowCountsDownToTestFinished();
    void MusicTooLoudKeepsTheEarlierLevelsWhenDeclined();
    void WaitWindowTellsWhyNothingWasMeasured();
    void WaitWindowNotesASilentInputBesideTheMeters();
};

void SettingsWindowTest::PagesAreFilledFromTheSettingsFile()
{
    TRig rig("[Recording]\nDriver=pulse:default\n[Recordings]\nInputLine=Line In\nFormat=WAV\nBitrate=14\n"
             "FormatString=11025 Hz, Stereo, 8-bit\nAutoRecognize=0\n[Silence]\nSilenceLg=2200\nMinLength=25\n"
             "[CDWriter]\nSpeed=8\nMethod=3\nMode=1\nCloseAtEnd=0\n[Proxy]\nUse=1\nServer=proxy.lan\nPort=3128\n"
             "[Rip]\nPath=/music/rips/\nReadOpt=3\nReadAct=1\nReadAtt=4\nFreeDBServer=1\nFreeDBPort=8880\n"
             "[Recognition]\nKey=k3y\n[General]\nFolder=/music/records/\n");
    TBoxes boxes;
    TFSettings& window = rig.Make();
    bool looked = false;
    WhenUp(&window, [&] {
        looked = true;
        QCOMPARE(window.windowTitle(), QStringLiteral("Settings"));
        auto* tree = rig.Find<QTreeWidget>("TV");
        // Every page has its entry, and the window opens on the first.
        QCOMPARE(tree->topLevelItemCount(), 6);
        QStringList entries;
        for (int i = 0; i < 6; ++i)
            entries << tree->topLevelItem(i)->text(0);
        QCOMPARE(entries,
                 (QStringList{"Recording", "Split Tracks", "Proxy Settings", "CD Burning", "Folders", "CD Rip"}));
        auto* pages = rig.Find<QStackedWidget>("PGC");
        QCOMPARE(pages->count(), 6);
        QCOMPARE(pages->currentIndex(), 0);
        QCOMPARE(tree->currentItem(), tree->topLevelItem(0));
        QStringList headings;
        for (const QLabel* label : window.findChildren<QLabel*>())
            if (label->text() == label->text().toUpper() && label->text().contains(QLatin1Char(' ')))
                headings << label->text();
        headings.sort();
        QCOMPARE(headings, (QStringList{"CD BURNING OPTIONS", "CD RIP OPTIONS", "FOLDER OPTIONS", "PROXY SETTINGS",
                                        "RECORDING SETTINGS", "SPLIT TRACKS"}));

        QCOMPARE(rig.Find<QComboBox>("CBDriver")->currentText(), QStringLiteral("Server  (pulse:default)"));
        QCOMPARE(Items(rig.Find<QComboBox>("CBDriver")).last(), QString::fromLatin1(TSettingsController::WavFileEntry));
        QVERIFY(rig.Find<QLabel>("LNotice")->isHidden());
        QCOMPARE(rig.Find<QComboBox>("FormatBox")->count(), 12);
        QCOMPARE(rig.Find<QComboBox>("FormatBox")->currentText(), QStringLiteral("11025 Hz, Stereo, 8-bit"));
        QCOMPARE(rig.Find<QComboBox>("CBFormat")->currentText(), QStringLiteral("WAV"));
        QCOMPARE(rig.Find<QComboBox>("CBBitrate")->currentText(), QStringLiteral("192"));
        QVERIFY(rig.Find<QComboBox>("CBBitrate")->isHidden());
        QVERIFY(rig.Find<QLabel>("LBitrate")->isHidden());
        QCOMPARE(Items(rig.Find<QComboBox>("CBLines")), (QStringList{"Microphone", "Line In", "CD Audio"}));
        QCOMPARE(rig.Find<QComboBox>("CBLines")->currentText(), QStringLiteral("Line In"));
        QVERIFY(!rig.Find<QCheckBox>("CBRecogn")->isChecked());
        QCOMPARE(rig.Find<QLineEdit>("ESilenceLG")->text(), QStringLiteral("2200"));
        QCOMPARE(rig.Find<QLineEdit>("EMinLength")->text(), QStringLiteral("25"));
        QVERIFY(rig.Find<QCheckBox>("RBUseProxy")->isChecked());
        QVERIFY(!rig.Find<QLineEdit>("EProxyServer")->isHidden());
        QCOMPARE(rig.Find<QLineEdit>("EProxyServer")->text(), QStringLiteral("proxy.lan"));
        QCOMPARE(rig.Find<QSpinBox>("EProxyPort")->value(), 3128);
        QCOMPARE(rig.Find<QLabel>("LProxy")->text(), QStringLiteral("Port"));
        QVERIFY(rig.Find<QLabel>("LEx")->text().endsWith(QStringLiteral("Port 80")));
        QCOMPARE(rig.Find<QLineEdit>("ERecognitionServer")->text(),
                 QString::fromLatin1(TOptions::DefaultRecognitionServer));
        QCOMPARE(rig.Find<QLineEdit>("ERecognitionKey")->text(), QStringLiteral("k3y"));
        QTextDocument hint;
        hint.setHtml(rig.Find<QLabel>("LRecognitionKey")->text());
        QCOMPARE(hint.toPlainText(), QString::fromLatin1(TSettingsController::RecognitionKeyHint));

        QCOMPARE(Items(rig.Find<QComboBox>("CBWriteToCD")),
                 (QStringList{"Manual Only", "Automatically when reach CD capacity"}));
        QCOMPARE(rig.Find<QComboBox>("CBWriteToCD")->currentIndex(), 1);
        QCOMPARE(rig.Find<QComboBox>("lbDrives")->currentText(), QString::fromStdString(rig.Drives.Names[0]));
        QCOMPARE(rig.Find<QComboBox>("lbSpeed")->currentText(), QStringLiteral("8x"));
        auto* method = rig.Find<QWidget>("RGMethod");
        QStringList methods;
        QString checked;
        for (const QRadioButton* choice : method->findChildren<QRadioButton*>()) {
            methods << choice->text();
            if (choice->isChecked())
                checked = choice->text();
        }
        QCOMPARE(methods, (QStringList{"Track at Once", "Disc at Once", "Session at Once"}));
        QCOMPARE(checked, QStringLiteral("Session at Once"));
        QVERIFY(!rig.Find<QCheckBox>("CBClose")->isChecked());
        QCOMPARE(rig.Find<QLineEdit>("EFolder")->text(), QStringLiteral("/music/records/"));
        QCOMPARE(rig.Find<QLineEdit>("ERipFolder")->text(), QStringLiteral("/music/rips/"));

        QCOMPARE(
            Items(rig.Find<QComboBox>("CBReadMode")),
            (QStringList{"Burst Mode (Fast preset, no error correction)", "Synch Mode (Correct syncronization errors)",
                         "Secure Mode (Double precision ereror correction)",
                         "Paranoid Mode (Small blocks read, drive cache disabled)"}));
        QCOMPARE(rig.Find<QComboBox>("CBReadMode")->currentIndex(), 3);
        QCOMPARE(rig.Find<QSpinBox>("SENumReads")->value(), 4);
        QCOMPARE(rig.Find<QSpinBox>("SENumReads")->minimum(), 1);
        QCOMPARE(rig.Find<QSpinBox>("SENumReads")->maximum(), 10);
        QCOMPARE(Items(rig.Find<QComboBox>("CBAction")), (QStringList{"STOP", "SILENENCE", "CUT"}));
        QCOMPARE(rig.Find<QComboBox>("CBAction")->currentText(), QStringLiteral("SILENENCE"));
        QCOMPARE(rig.Find<QComboBox>("CBFreeDBServer")->currentText(), QStringLiteral("freedb.example.org"));
        QCOMPARE(rig.Find<QSpinBox>("EFreeDBPort")->value(), 8880);

        QCOMPARE(rig.Find<QAbstractButton>("bcancel")->text(), QStringLiteral("Cancel"));
        QCOMPARE(rig.Find<QAbstractButton>("BSave")->text(), QStringLiteral("Save Settings"));
        for (const char* name : {"BWiz", "btnBurnCD", "BtnConvert"}) {
            auto* button = rig.Find<QAbstractButton>(name);
            QVERIFY2(button && !button->icon().isNull() && !button->toolTip().isEmpty(), name);
            QVERIFY2(button->isEnabled(), name);
        }
        QStringList menus;
        for (const QAction* menu : rig.Find<QMenuBar>("MainMenu")->actions()) {
            menus << menu->text();
            for (const QAction* entry : menu->menu()->actions())
                menus << QStringLiteral("  ") + entry->text();
        }
        QCOMPARE(menus, (QStringList{"File", "  Save Settings", "  Exit", "Tools", "  Burn", "  Convert", "Help",
                                     "  Online Help", "  About"}));
        QVERIFY(!rig.Find<QMenuBar>("MainMenu")->isHidden());
        rig.Find<QAbstractButton>("bcancel")->click();
    });
    QCOMPARE(window.Run(), TSettingsFollowUp::sfNone);
    QVERIFY(looked);
    QCOMPARE(boxes.Seen.size(), std::size_t{0});
    QVERIFY(!window.isVisible());
}

// At any scale (the test runs again at 200 %): every page and the wait window.
void SettingsWindowTest::EveryPageShowsItsTextsWhole()
{
    TRig rig("[Proxy]\nUse=1\nServer=proxy.example.com\n[Recordings]\nInputLine=Line In\nFormat=MP3\n");
    TBoxes boxes;
    TFSettings& window = rig.Make();
    WhenUp(&window, [&] {
        auto* tree = rig.Find<QTreeWidget>("TV");
        for (int entry = 0; entry < tree->topLevelItemCount(); ++entry) {
            tree->setCurrentItem(tree->topLevelItem(entry));
            QCOMPARE(rig.Find<QStackedWidget>("PGC")->currentIndex(), entry);
            QCoreApplication::processEvents();
            CheckNothingClipped(window, tree->topLevelItem(entry)->text(0));
            const QRect shown = tree->visualItemRect(tree->topLevelItem(entry));
            QVERIFY(shown.width() >= tree->fontMetrics().horizontalAdvance(tree->topLevelItem(entry)->text(0)));
        }
        rig.Find<QAbstractButton>("bcancel")->click();
    });
    window.Run();

    TQtDialogs dialogs;
    TFWait wait(*rig.Options, rig.Dispatcher, dialogs);
    wait.show();
    QVERIFY(QTest::qWaitForWindowExposed(&wait));
    CheckNothingClipped(wait, QStringLiteral("wait"));
}

void SettingsWindowTest::SaveWritesWhatTheWidgetsShow()
{
    TRig rig;
    rig.Options->AutoRecognize = true;
    TBoxes boxes;
    TFSettings& window = rig.Make();
    WhenUp(&window, [&] {
        auto* format = rig.Find<QComboBox>("CBFormat");
        format->setCurrentText(QStringLiteral("WAV"));
        QVERIFY(rig.Find<QComboBox>("CBBitrate")->isHidden());
        format->setCurrentText(QStringLiteral("MP3"));
        QVERIFY(!rig.Find<QComboBox>("CBBitrate")->isHidden());
        rig.Find<QComboBox>("CBBitrate")->setCurrentText(QStringLiteral("192"));
        rig.Find<QComboBox>("FormatBox")->setCurrentText(QStringLiteral("11025 Hz, Mono,   8-bit"));
        rig.Find<QCheckBox>("CBRecogn")->setChecked(false);
        rig.Find<QLineEdit>("ESilenceLG")->setText(QStringLiteral("2500"));
        rig.Find<QLineEdit>("EMinLength")->setText(QStringLiteral("20"));
        QVERIFY(rig.Find<QLineEdit>("EProxyServer")->isHidden());
        rig.Find<QCheckBox>("RBUseProxy")->setChecked(true);
        QVERIFY(!rig.Find<QLineEdit>("EProxyServer")->isHidden());
        QVERIFY(!rig.Find<QLabel>("LEx")->isHidden());
        rig.Find<QLineEdit>("EProxyServer")->setText(QStringLiteral("proxy.lan"));
        rig.Find<QSpinBox>("EProxyPort")->setValue(3128);
        rig.Find<QLineEdit>("ERecognitionKey")->setText(QStringLiteral("new-key"));
        rig.Find<QComboBox>("CBWriteToCD")->setCurrentIndex(1);
        rig.Find<QComboBox>("lbSpeed")->setCurrentText(QStringLiteral("24x"));
        for (QRadioButton* choice : rig.Find<QWidget>("RGMethod")->findChildren<QRadioButton*>())
            if (choice->text() == QStringLiteral("Disc at Once"))
                choice->click();
        rig.Find<QCheckBox>("CBClose")->setChecked(false);
        rig.Find<QLineEdit>("EFolder")->setText(QStringLiteral("/music/records/"));
        rig.Find<QLineEdit>("ERipFolder")->setText(QStringLiteral("/music/rips/"));
        rig.Find<QComboBox>("CBReadMode")->setCurrentIndex(2);
        rig.Find<QSpinBox>("SENumReads")->setValue(7);
        rig.Find<QComboBox>("CBAction")->setCurrentIndex(2);
        rig.Find<QComboBox>("CBFreeDBServer")->setCurrentIndex(1);
        rig.Find<QSpinBox>("EFreeDBPort")->setValue(8880);
        rig.Find<QAbstractButton>("BSave")->click();
    });
    QCOMPARE(window.Run(), TSettingsFollowUp::sfNone);
    QVERIFY(!window.isVisible());
    QCOMPARE(boxes.Texts(), QStringList{}); // the same line: no noise capture asked
    QCOMPARE(rig.Host.Applied, 1);          // recognition switched off

    TOptions reread(rig.Ini, rig.Platform, TOptions::TDefaults{rig.Dir.File("Other") + "/"});
    QCOMPARE(reread.Format, std::string("MP3"));
    QCOMPARE(reread.Bitrate, 14);
    QCOMPARE(reread.FormatString, std::string("11025 Hz, Mono,   8-bit"));
    QCOMPARE(reread.SamplesPerSec, 11025);
    QCOMPARE(reread.BitsPerSample, 8);
    // A mono MP3 recording is recorded in stereo: the options store's rule on loading.
    QCOMPARE(reread.Channels, 2);
    QCOMPARE(rig.FileText().find("Channels=1") != std::string::npos, true);
    QCOMPARE(reread.AutoRecognize, false);
    QCOMPARE(reread.SilenceLg, 2500);
    QCOMPARE(reread.MinLength, 20);
    QCOMPARE(reread.UseProxy, true);
    QCOMPARE(reread.ProxyServer, std::string("proxy.lan"));
    QCOMPARE(reread.ProxyPort, 3128);
    QCOMPARE(reread.RecognitionKey, std::string("new-key"));
    QCOMPARE(reread.InputLine, std::string("Line In"));
    QCOMPARE(reread.WriterMode, 1);
    QCOMPARE(reread.WriterDrive, rig.Drives.Names[0]);
    QCOMPARE(reread.WriterSpeed, 24);
    QCOMPARE(reread.WriterMethod, 2);
    QCOMPARE(reread.CloseAtEnd, false);
    QCOMPARE(reread.Folder, std::string("/music/records/"));
    QCOMPARE(reread.RipPath, std::string("/music/rips/"));
    QCOMPARE(reread.ReadOpt, 2);
    QCOMPARE(reread.ReadAtt, 7);
    QCOMPARE(reread.ReadAct, 2);
    QCOMPARE(reread.FreeDBServer, 1);
    QCOMPARE(reread.FreeDBPort, 8880);
}

void SettingsWindowTest::SaveStopsAtABadFieldOnItsPage_data()
{
    QTest::addColumn<QString>("Field");
    QTest::addColumn<QString>("Text");
    QTest::addColumn<QString>("Message");
    QTest::addColumn<int>("Page");
    QTest::addColumn<QString>("Focused");
    QTest::newRow("silence") << "ESilenceLG"
                             << "1.5"
                             << "Silence length must be an integral value" << 1 << "ESilenceLG";
    QTest::newRow("minimum") << "EMinLength"
                             << "ten"
                             << "Minimum length must be an integral value" << 1 << "EMinLength";
    // A device that records no quality leaves the list empty.
    QTest::newRow("quality") << ""
                             << ""
                             << "Please select the output quality" << 0 << "FormatBox";
}

void SettingsWindowTest::SaveStopsAtABadFieldOnItsPage()
{
    QFETCH(QString, Field);
    QFETCH(QString, Text);
    QFETCH(QString, Message);
    QFETCH(int, Page);
    QFETCH(QString, Focused);
    TRig rig("");
    if (Field.isEmpty())
        rig.Platform.Formats.clear();
    TBoxes boxes;
    TFSettings& window = rig.Make();
    bool stayed = false;
    WhenUp(&window, [&] {
        if (!Field.isEmpty())
            rig.Find<QLineEdit>(qPrintable(Field))->setText(Text);
        rig.Find<QAbstractButton>("BSave")->click();
        stayed = window.isVisible();
        QCOMPARE(rig.Find<QStackedWidget>("PGC")->currentIndex(), Page);
        QCOMPARE(rig.Find<QTreeWidget>("TV")->currentItem(), rig.Find<QTreeWidget>("TV")->topLevelItem(Page));
        QVERIFY(window.focusWidget());
        QCOMPARE(window.focusWidget()->objectName(), Focused);
        rig.Find<QAbstractButton>("bcancel")->click();
    });
    window.Run();
    QVERIFY(stayed);
    QVERIFY(!boxes.Seen.empty());
    QCOMPARE(boxes.Seen.back().Text, Message);
    QCOMPARE(boxes.Seen.back().Caption, QStringLiteral("Warning"));
    QVERIFY(!QFile::exists(QString::fromStdString(rig.Ini)));
}

void SettingsWindowTest::FirstRunModeOffersSaveOrSetUpLater()
{
    TRig rig("");
    rig.Host.First = true;
    TBoxes boxes;
    // Without a settings file no line is known yet; Escape is answered "not
    // later"; then no noise capture now.
    boxes.Answers = {QMessageBox::Ok, QMessageBox::No, QMessageBox::Cancel};
    TFSettings& window = rig.Make();
    bool stayedAfterEscape = false;
    WhenUp(&window, [&] {
        for (const char* name : {"BWiz", "btnBurnCD", "BtnConvert"})
            QVERIFY2(!rig.Find<QAbstractButton>(name)->isEnabled(), name);
        QVERIFY(rig.Find<QAbstractButton>("bcancel")->isEnabled());
        QVERIFY(rig.Find<QMenuBar>("MainMenu")->isHidden());
        QVERIFY(rig.Find<QAbstractButton>("BSave")->isEnabled());
        QTest::keyClick(&window, Qt::Key_Escape);
        stayedAfterEscape = window.isVisible();
        rig.Find<QAbstractButton>("BSave")->click();
    });
    QCOMPARE(window.Run(), TSettingsFollowUp::sfNone);
    QVERIFY(stayedAfterEscape);
    QCOMPARE(boxes.Texts(), (QStringList{"Please select the input line to be used for recording",
                                         QString::fromLatin1(TSettingsController::SetUpLaterQuestion),
                                         QString::fromLatin1(TSettingsController::NoiseCaptureQuestion)}));
    QVERIFY(QFile::exists(QString::fromStdString(rig.Ini))); // saved all the same
    QVERIFY(rig.Host.First);                                 // no capture: first-run mode stays

    // The close box, answered "set up later": the window goes, the settings
    // as they are become the file, and first-run mode is over.
    TRig later("");
    later.Host.First = true;
    boxes.Seen.clear();
    boxes.Answers = {QMessageBox::Ok, QMessageBox::Yes};
    TFSettings& second = later.Make();
    WhenUp(&second, [&] { second.close(); });
    second.Run();
    QCOMPARE(boxes.Texts().size(), 2);
    QVERIFY(QFile::exists(QString::fromStdString(later.Ini)));
    QVERIFY(!later.Host.First);
}

void SettingsWindowTest::FirstStartWithoutADeviceSaysSoInThePage()
{
    TRig rig("");
    rig.Host.First = true;
    rig.Platform.Devices = {{"virtual:demo", "Demo signal", true}};
    rig.Options = std::make_unique<TOptions>(rig.Ini, rig.Platform, TOptions::TDefaults{rig.Dir.File("Records") + "/"});
    TBoxes boxes;
    TFSettings& window = rig.Make();
    WhenUp(&window, [&] {
        auto* notice = rig.Find<QLabel>("LNotice");
        QVERIFY(notice->isVisible()); // the Recording page is the one shown
        QCOMPARE(notice->text(), QString::fromLatin1(TSettingsController::NoDeviceNotice));
        auto* driver = rig.Find<QComboBox>("CBDriver");
        QVERIFY(driver->isEnabled());
        QCOMPARE(Items(driver),
                 (QStringList{"Demo signal  (virtual:demo)", QString::fromLatin1(TSettingsController::WavFileEntry)}));
        QCOMPARE(driver->currentIndex(), -1);
        // The demo card chosen: its own notice, and its qualities.
        driver->setCurrentIndex(0);
        QCOMPARE(notice->text(), QString::fromLatin1(TSettingsController::StandInNotice));
        QCOMPARE(rig.Find<QComboBox>("FormatBox")->count(), 12);
        rig.Find<QAbstractButton>("BSave")->click();
    });
    window.Run();
    // Not a box on the way, and no measurement of a stand-in.
    QCOMPARE(boxes.Texts(), QStringList{});
    QVERIFY(!rig.Host.First);
    QCOMPARE(TIniFile(rig.Ini).ReadString("Recording", "Driver", ""), std::string("virtual:demo"));
}

void SettingsWindowTest::ShortcutsCloseWithTheirFollowUp_data()
{
    QTest::addColumn<QString>("Control");
    QTest::addColumn<int>("FollowUp");
    QTest::newRow("wizard button") << "BWiz" << static_cast<int>(TSettingsFollowUp::sfWizard);
    QTest::newRow("burn button") << "btnBurnCD" << static_cast<int>(TSettingsFollowUp::sfBurn);
    QTest::newRow("convert button") << "BtnConvert" << static_cast<int>(TSettingsFollowUp::sfConvert);
    QTest::newRow("Tools > Burn") << "MBurn" << static_cast<int>(TSettingsFollowUp::sfBurn);
    QTest::newRow("Tools > Convert") << "MConvert" << static_cast<int>(TSettingsFollowUp::sfConvert);
    QTest::newRow("File > Exit") << "MExit" << static_cast<int>(TSettingsFollowUp::sfNone);
}

void SettingsWindowTest::ShortcutsCloseWithTheirFollowUp()
{
    QFETCH(QString, Control);
    QFETCH(int, FollowUp);
    TRig rig;
    const std::string before = rig.FileText();
    TBoxes boxes;
    TFSettings& window = rig.Make();
    WhenUp(&window, [&] {
        // Help and About run the main window's commands and leave the window open.
        rig.Find<QAction>("MOnlineHelp")->trigger();
        rig.Find<QAction>("MAbout")->trigger();
        QVERIFY(window.isVisible());
        rig.Find<QLineEdit>("ESilenceLG")->setText(QStringLiteral("9999"));
        if (auto* button = rig.Find<QAbstractButton>(qPrintable(Control)))
            button->click();
        else
            rig.Find<QAction>(qPrintable(Control))->trigger();
    });
    QCOMPARE(static_cast<int>(window.Run()), FollowUp);
    QVERIFY(!window.isVisible());
    QCOMPARE(rig.HelpOpened, 1);
    QCOMPARE(rig.AboutOpened, 1);
    QCOMPARE(rig.FileText(), before); // closed without saving
    QCOMPARE(rig.Options->SilenceLg, 1500);
}

void SettingsWindowTest::BurningPageRefusedWithoutWriterAndFollowsTheDrive()
{
    TRig rig;
    rig.Drives.Ready = false;
    TBoxes boxes;
    TFSettings& window = rig.Make();
    WhenUp(&window, [&] {
        auto* tree = rig.Find<QTreeWidget>("TV");
        auto* pages = rig.Find<QStackedWidget>("PGC");
        tree->setCurrentItem(tree->topLevelItem(3));
        QCOMPARE(pages->currentIndex(), 0);
        QCOMPARE(tree->currentItem(), tree->topLevelItem(0));
        tree->setCurrentItem(tree->topLevelItem(2));
        QCOMPARE(pages->currentIndex(), 2);
        tree->setCurrentItem(tree->topLevelItem(3));
        QCOMPARE(pages->currentIndex(), 2);
        QCOMPARE(tree->currentItem(), tree->topLevelItem(2));

        // The writer is there: the page shows, and another drive goes
        // through the burn window with its own speeds.
        rig.Drives.Ready = true;
        tree->setCurrentItem(tree->topLevelItem(3));
        QCOMPARE(pages->currentIndex(), 3);
        rig.Find<QAbstractButton>("bcancel")->click();
    });
    window.Run();
    QCOMPARE(boxes.Texts(), (QStringList{"CD not available", "CD not available"}));
    QCOMPARE(boxes.Seen.front().Caption, QStringLiteral("Warning"));

    // Open again with the writer ready: a drive change refills the speeds.
    TFSettings& again = rig.Make();
    WhenUp(&again, [&] {
        auto* drives = rig.Find<QComboBox>("lbDrives");
        QCOMPARE(drives->count(), 2);
        drives->setCurrentIndex(1);
        QCOMPARE(rig.Drives.Changes, std::vector<int>{1});
        QCOMPARE(Items(rig.Find<QComboBox>("lbSpeed")), (QStringList{"4x", "8x", "24x"}));
        QCOMPARE(rig.Find<QComboBox>("lbSpeed")->currentText(), QStringLiteral("4x"));
        rig.Find<QAbstractButton>("bcancel")->click();
    });
    again.Run();
}

// The button asks first, then the wait window counts on the clock (a real
// time device); closing it early leaves the levels and first-run mode alone.
void SettingsWindowTest::CaptureButtonOpensTheWaitWindowOnTheClock()
{
    TRig rig;
    rig.Host.First = true;
    rig.ChooseDevice(30, {{1, 20000}});
    rig.Options->Level16 = 1234;
    TBoxes boxes;
    TFSettings& window = rig.Make();
    bool sawWait = false;
    WhenUp(&window, [&] {
        auto* tree = rig.Find<QTreeWidget>("TV");
        tree->setCurrentItem(tree->topLevelItem(1));
        auto* capture = rig.Find<QPushButton>("BCaptureNoise");
        QCOMPARE(capture->text(), QStringLiteral("Capture noise level"));
        auto* poll = new QTimer(&window);
        poll->setInterval(20);
        connect(poll, &QTimer::timeout, [&, poll] {
            auto* wait = qobject_cast<TFWait*>(QApplication::activeModalWidget());
            if (!wait || !wait->isVisible() || !wait->Capture().Running())
                return;
            poll->stop();
            sawWait = true;
            QCOMPARE(wait->windowTitle(), QStringLiteral("Please Wait..."));
            QCOMPARE(wait->findChild<QLabel*>(QStringLiteral("LTime"))->text(), QStringLiteral("20 seconds remaining"));
            QVERIFY(wait->findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());
            QCOMPARE(wait->findChild<QTimer*>(QStringLiteral("Timer1"))->interval(), 1000);
            wait->close();
        });
        poll->start();
        capture->click();
        QVERIFY(window.isVisible());
        // The stand-in has no mixer: said in the page, not in a box.
        QCOMPARE(rig.Find<QLabel>("LNotice")->text(), QString::fromLatin1(TSettingsController::StandInNotice));
        rig.Find<QAbstractButton>("BSave")->click(); // a stand-in: nothing for Save to measure
    });
    boxes.Answers = {QMessageBox::Ok};
    window.Run();
    QVERIFY(sawWait);
    QCOMPARE(boxes.Texts(), (QStringList{QString::fromLatin1(TSettingsController::NoiseCaptureQuestion)}));
    QCOMPARE(rig.Options->Level16.load(), 1234); // the capture closed early keeps the earlier level
    QVERIFY(!rig.Host.First);
}

void SettingsWindowTest::WaitWindowCountsDownToTestFinished()
{
    TRig rig;
    rig.ChooseDevice(22, {{2, -700}, {14, -600}});
    TBoxes boxes;
    TQtDialogs dialogs;
    TFWait wait(*rig.Options, rig.Dispatcher, dialogs);
    wait.Capture().AudioIn1().SetRealTime(false);
    // What the window shows at each second, read as the capture reports it.
    struct TShown final : TJobListenerBase {
        QLabel* Time = nullptr;
        QStringList Texts;
        void JobProgress(TJobKind, double, const std::string&) override { Texts << Time->text(); }
    } shown;
    shown.Time = wait.findChild<QLabel*>(QStringLiteral("LTime"));
    QCOMPARE(shown.Time->text(), QStringLiteral("20 seconds remaining"));
    wait.Capture().Events().Subscribe(&shown);
    QVERIFY(wait.Run());
    wait.Capture().Events().Unsubscribe(&shown);
    QCOMPARE(shown.Texts.size(), 21);
    QCOMPARE(shown.Texts.front(), QStringLiteral("20 seconds remaining"));
    QCOMPARE(shown.Texts[10], QStringLiteral("10 seconds remaining"));
    QCOMPARE(shown.Texts.back(), QStringLiteral("0 seconds remaining"));
    QVERIFY(!wait.findChild<QTimer*>(QStringLiteral("Timer1"))->isActive()); // paced by the audio
    QCOMPARE(boxes.Texts(), QStringList{"Test finished"});
    QCOMPARE(boxes.Seen.front().Caption, QStringLiteral("Information"));
    // -700 / 256 = -2.7, as the 8-bit capture rounds it.
    QVERIFY2(rig.Options->Level8.load() >= 2 && rig.Options->Level8.load() <= 3,
             qPrintable(QString::number(rig.Options->Level8.load())));
    QCOMPARE(rig.Options->Level16.load(), 600);
    QVERIFY(wait.findChild<QLabel*>(QStringLiteral("MLevel16Value"))->text().startsWith(QStringLiteral("600 (")));
    QVERIFY(!wait.isVisible());
}

void SettingsWindowTest::MusicTooLoudKeepsTheEarlierLevelsWhenDeclined()
{
    TRig rig;
    rig.ChooseDevice(22, {{2, 150}, {14, 16000}});
    rig.Options->Level8 = 2;
    rig.Options->Level16 = 800;
    TBoxes boxes;
    boxes.Answers = {QMessageBox::No, QMessageBox::Ok};
    TQtDialogs dialogs;
    TFWait wait(*rig.Options, rig.Dispatcher, dialogs);
    wait.Capture().AudioIn1().SetRealTime(false);
    QVERIFY(!wait.Run());
    QCOMPARE(boxes.Seen.size(), std::size_t{2});
    QCOMPARE(boxes.Seen[0].Caption, QStringLiteral("Warning"));
    QVERIFY2(boxes.Seen[0].Text.contains(QStringLiteral("louder than silence")), qPrintable(boxes.Seen[0].Text));
    QVERIFY2(boxes.Seen[0].Text.contains(QStringLiteral("16-bit: 16000")), qPrintable(boxes.Seen[0].Text));
    QCOMPARE(boxes.Seen[1].Text, QStringLiteral("Test finished"));
    QCOMPARE(rig.Options->Level8.load(), 2);
    QCOMPARE(rig.Options->Level16.load(), 800);
    // The meter showed the measurement beyond the mark while the question was up.
    QVERIFY(wait.findChild<QLabel*>(QStringLiteral("MLevel16Value"))->text().startsWith(QStringLiteral("16000 (")));
}

// No device, or one whose audio ends before the time is up: one box says
// why, the window closes, and the levels stay as they were.
void SettingsWindowTest::WaitWindowTellsWhyNothingWasMeasured()
{
    for (const bool haveDevice : {false, true}) {
        TRig rig;
        if (haveDevice)
            rig.ChooseDevice(3, {{1, 300}});
        else
            rig.Options->DriverIndex = -1;
        rig.Options->Level8 = 2;
        rig.Options->Level16 = 800;
        TBoxes boxes;
        TQtDialogs dialogs;
        TFWait wait(*rig.Options, rig.Dispatcher, dialogs);
        wait.Capture().AudioIn1().SetRealTime(false);
        QVERIFY(!wait.Run());
        QVERIFY(!wait.isVisible());
        QCOMPARE(boxes.Seen.size(), std::size_t{1});
        QCOMPARE(boxes.Seen[0].Caption, QStringLiteral("Warning"));
        if (haveDevice)
            QVERIFY2(boxes.Seen[0].Text.startsWith(QStringLiteral("The noise level could not be measured: ")) &&
                         boxes.Seen[0].Text.contains(QStringLiteral("ended before")),
                     qPrintable(boxes.Seen[0].Text));
        else
            QCOMPARE(boxes.Seen[0].Text, QStringLiteral("No input driver available!"));
        QCOMPARE(rig.Options->Level8.load(), 2);
        QCOMPARE(rig.Options->Level16.load(), 800);
    }
}

QTEST_MAIN(SettingsWindowTest)
// A line that stays near silence is told once, beside the meters, while the
// countdown goes on; the only box is the end's.
void SettingsWindowTest::WaitWindowNotesASilentInputBesideTheMeters()
{
    TRig rig;
    rig.ChooseDevice(22, {});
    TBoxes boxes;
    TQtDialogs dialogs;
    TFWait wait(*rig.Options, rig.Dispatcher, dialogs);
    wait.Capture().AudioIn1().SetRealTime(false);
    auto* note = wait.findChild<QLabel*>(QStringLiteral("LNote"));
    QVERIFY(note);
    QVERIFY(note->isHidden());
    QVERIFY(wait.Run());
    QCOMPARE(note->text().toStdString(), TInputLevelCheck::Text(TInputLevelWarning::ilNearSilence, true));
    QVERIFY(!note->isHidden());
    QCOMPARE(boxes.Texts(), QStringList{"Test finished"});
}

#include "SettingsWindowTest.moc"
