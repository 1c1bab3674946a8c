// The desktop program's start-up as a user meets it: the command line, the
// first start without a settings file, the next start, and errors of posted
// work shown in a box.
#include "app/TDesktopProgram.h"
#include "app/TSingleInstance.h"
#include "burn/ui/TFBurn.h"
#include "cd/TCueImage.h"
#include "formats/TGenreList.h"
#include "formats/TagTrackFile.h"
#include "mocks/TNoDevices.h"
#include "recording/TMainController.h"
#include "recording/ui/TFMain.h"
#include "settings/TOptions.h"
#include "settings/TSettingsController.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>

using namespace kestrune;
using namespace kestrune::test;
namespace fs = std::filesystem;

namespace {

// Closes every modal window as it comes up (OK; the settings window by
// its Save button), noting its name and text.
class TModalAnswerer : public QObject {
public:
    TModalAnswerer()
    {
        connect(&Timer, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal == Answered)
                return;
            QString text = modal->objectName();
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                text += ": " + box->text();
            Seen << text;
            if (modal->objectName() == "FSettings") {
                // What the Recording page says about the capture device.
                if (auto* notice = modal->findChild<QLabel*>("LNotice"); notice && !notice->isHidden())
                    Seen << "notice: " + notice->text();
                // Save (or the close box) runs modal boxes of its own:
                // answered on later ticks.
                Answered = modal;
                if (CloseSettings)
                    QTimer::singleShot(0, modal, &QWidget::close);
                else
                    QTimer::singleShot(0, modal->findChild<QAbstractButton*>("BSave"), &QAbstractButton::click);
                return;
            }
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                for (auto button : {QMessageBox::Ok, QMessageBox::Yes})
                    if (QAbstractButton* yes = box->button(button)) {
                        yes->click();
                        return;
                    }
            static_cast<QDialog*>(modal)->accept();
        });
        Timer.start(10);
    }
    QStringList Seen;
    bool CloseSettings = false; // the settings window's close box instead of Save

private:
    QTimer Timer;
    QPointer<QWidget> Answered;
};

const std::chrono::year_month_day May1{std::chrono::year{2024}, std::chrono::May, std::chrono::day{1}};

// Settings whose capture device is a silent file in Dir, so the program
// starts without a sound card; More sets what else a test needs.
void SaveWithSilentCapture(const TTempDir& Dir, const std::string& ConfigFile, IOptionsPlatform& Platform,
                           const std::function<void(TOptions&)>& More = {})
{
    WriteWholeFile(Dir.File("capture.wav"), PcmWavImage(std::vector<std::int16_t>(200, 0), 2, 22050));
    TOptions options(ConfigFile, Platform, {Dir.Path().string() + "/"});
    options.Driver = "virtual:" + Dir.File("capture.wav");
    if (More)
        More(options);
    options.Save();
}

} // namespace

class DesktopProgramTest : public QObject {
    Q_OBJECT
private slots:
    // The program's own command line, exit status and streams.
    void CommandLine_data()
    {
        QTest::addColumn<QStringList>("Args");
        QTest::addColumn<int>("Status");
        QTest::addColumn<QString>("Out");
        QTest::addColumn<QString>("Err");
        QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: kestrune [options]"
                              << "";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "kestrune " KESTRUNE_PROJECT_VERSION "\n"
                                 << "";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << ""
                                        << "kestrune: unknown option \"--bogus\"";
        QTest::newRow("config without a file") << QStringList{"--config"} << 2 << ""
                                               << "--config needs a file name";
        QTest::newRow("image without a file") << QStringList{"--cd-image"} << 2 << ""
                                              << "--cd-image needs a file name";
        QTest::newRow("help after a config") << QStringList{"--config", "x.ini", "--help"} << 0 << "Usage:"
                                             << "";
    }
    void CommandLine()
    {
        QFETCH(QStringList, Args);
        QFETCH(int, Status);
        QFETCH(QString, Out);
        QFETCH(QString, Err);
        QProcess program;
        program.start(KESTRUNE_PROGRAM, Args);
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), Status);
        const QString out = QString::fromUtf8(program.readAllStandardOutput());
        const QString err = QString::fromUtf8(program.readAllStandardError());
        QVERIFY2(Out.isEmpty() ? out.isEmpty() : out.startsWith(Out), qPrintable(out));
        QVERIFY2(Err.isEmpty() ? err.isEmpty() : err.contains(Err) && err.contains("Usage: kestrune"), qPrintable(err));
    }

    // For start-up benchmarks the program ends by itself once its main
    // window has been drawn.
    void QuitsAfterTheFirstPaint()
    {
        TTempDir dir;
        WriteWholeFile(dir.File("capture.wav"), PcmWavImage(Sine16(2205, 2, 22050, 440, 8000), 2, 22050));
        const std::string ini = "[General]\nFolder=" + dir.File("Records") +
                                "/\n[Recording]\nDriver=virtual:" + dir.File("capture.wav") + "\n";
        WriteWholeFile(dir.File("k.ini"), std::vector<std::uint8_t>(ini.begin(), ini.end()));
        QProcess program;
        program.start(KESTRUNE_PROGRAM,
                      {"--config", QString::fromStdString(dir.File("k.ini")), "--quit-after-first-paint"});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }

    // The first start greets, then asks for the settings in first-run mode
    // and leaves a settings file behind once they are saved; the next start
    // does neither. Without a capture device the settings window says so
    // once, in its page, and no box comes up: there is nothing to measure.
    void FirstAndNextStart()
    {
        TTempDir dir;
        TNoDevices platform;
        TDesktopProgram::TArgs args;
        args.ConfigFile = dir.File("kestrune.ini");
        {
            TModalAnswerer answers;
            TDesktopProgram program(args, platform);
            program.Start(May1);
            QCOMPARE(answers.Seen,
                     (QStringList{"FFirst", "FSettings",
                                  "notice: " + QString::fromLatin1(TSettingsController::NoDeviceNotice)}));
            // The save ended the first-time setup.
            QVERIFY(!program.Main().FirstRun());
            QVERIFY(program.Window().isVisible());
            QCOMPARE(program.Window().findChild<QLineEdit*>("EAlbumName")->text(), QString("Kestrune 2024-05-01 (1)"));
        }
        QVERIFY(fs::exists(args.ConfigFile));

        // A capture device for the next start, as the settings would name it.
        SaveWithSilentCapture(dir, args.ConfigFile, platform);
        TModalAnswerer answers;
        TDesktopProgram program(args, platform);
        program.Start(May1);
        QTest::qWait(100);
        QCOMPARE(answers.Seen, QStringList());
        QVERIFY(!program.Main().FirstRun());
        QVERIFY(program.Window().isVisible());
    }

    // Closing the first-time setup, answered "set up later", leaves a
    // settings file: the next start goes straight to the main window, with
    // the one warning about the missing device.
    void LeavingTheFirstTimeSetupForLater()
    {
        TTempDir dir;
        TNoDevices platform;
        TDesktopProgram::TArgs args;
        args.ConfigFile = dir.File("kestrune.ini");
        {
            TModalAnswerer answers;
            answers.CloseSettings = true;
            TDesktopProgram program(args, platform);
            program.Start(May1);
            QCOMPARE(answers.Seen.size(), 4);
            QCOMPARE(answers.Seen.last(),
                     "MessageBox: " + QString::fromLatin1(TSettingsController::SetUpLaterQuestion));
            QVERIFY(!program.Main().FirstRun());
            QVERIFY(program.Window().isVisible());
        }
        QVERIFY(fs::exists(args.ConfigFile));
        TModalAnswerer answers;
        TDesktopProgram program(args, platform);
        program.Start(May1);
        QTest::qWait(100);
        QCOMPARE(answers.Seen, QStringList{"MessageBox: No input driver available!"});
    }

    // The genres the windows offer are the list the tag writer numbers
    // them by: a genre chosen in Edit Info reaches the MP3's tag.
    void GenresReachTheTags()
    {
        TTempDir dir;
        TNoDevices platform;
        TDesktopProgram::TArgs args;
        args.ConfigFile = dir.File("kestrune.ini");
        SaveWithSilentCapture(dir, args.ConfigFile, platform);
        TDesktopProgram program(args, platform);
        program.Start(May1);
        program.Main().Genres().LoadFromText("Blues\nClassic Rock\nCountry\n");
        const std::string mp3 = dir.File("song.mp3");
        WriteWholeFile(mp3, AsBytes(Noise16(500, 2, 1)));
        TagTrackFile(mp3, "Title", "Artist", "Album", "Country");
        QCOMPARE(static_cast<int>(ReadWholeFile(mp3).back()), 2);
        GenreList().Clear();
    }

    // The main window's Settings opens the settings window; its Convert
    // shortcut closes it and the conversion window follows, made once and
    // kept between showings.
    void SettingsAndConvertFromTheMainWindow()
    {
        TTempDir dir;
        TNoDevices platform;
        TDesktopProgram::TArgs args;
        args.ConfigFile = dir.File("kestrune.ini");
        SaveWithSilentCapture(dir, args.ConfigFile, platform);
        TDesktopProgram program(args, platform);
        program.Start(May1);
        QStringList opened;
        QWidget* convertWindow = nullptr;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || (!opened.isEmpty() && opened.back() == modal->objectName()))
                return;
            // The settings window's notes about the missing mixer, and the
            // file dialog the conversion window opens as it shows.
            if (qobject_cast<QMessageBox*>(modal) || qobject_cast<QFileDialog*>(modal)) {
                opened << modal->metaObject()->className();
                static_cast<QDialog*>(modal)->reject();
                return;
            }
            if (modal->objectName() == "FSettings") {
                opened << "FSettings";
                QTimer::singleShot(0, modal->findChild<QAbstractButton*>("BtnConvert"), &QAbstractButton::click);
            } else if (modal->objectName() == "FConvert") {
                opened << "FConvert";
                convertWindow = modal;
                static_cast<QDialog*>(modal)->reject();
            }
        });
        poll.start(10);
        program.Window().findChild<QAbstractButton*>("BtnSettings")->click();
        opened.removeAll("QMessageBox");
        QCOMPARE(opened, (QStringList{"FSettings", "QFileDialog", "FConvert"}));
        QVERIFY(convertWindow && convertWindow->parentWidget() == &program.Window());
        opened.clear();
        program.Window().findChild<QAbstractButton*>("BtnConvert")->click();
        QCOMPARE(opened, (QStringList{"QFileDialog", "FConvert"}));
    }

    // The burn window is made hidden at start-up and finds the image drive
    // the settings name. The main window's Burn opens it on the recordings
    // (none yet); its Settings shortcut opens the settings window next, whose
    // CD Burning page lists the burn window's drives.
    void BurnFromTheMainWindow()
    {
        TTempDir dir;
        TNoDevices platform;
        TDesktopProgram::TArgs args;
        args.ConfigFile = dir.File("kestrune.ini");
        SaveWithSilentCapture(dir, args.ConfigFile, platform,
                              [&](TOptions& Options) { Options.ImagePath = dir.File("disc.cue"); });
        TDesktopProgram program(args, platform);
        program.Start(May1);
        TFBurn& burn = program.BurnWindow();
        QVERIFY(!burn.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(burn.Controller().WriterAvailable(), 30000);

        QStringList opened;
        int rows = -1;
        QStringList drives;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || (!opened.isEmpty() && opened.back() == modal->objectName()))
                return;
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                // The settings window's notes about the missing mixer.
                box->accept();
                return;
            }
            opened << modal->objectName();
            if (modal->objectName() == "FCDBurn") {
                rows = modal->findChild<QTreeWidget*>("clBox")->topLevelItemCount();
                QTimer::singleShot(0, modal->findChild<QAbstractButton*>("BtnSettings"), &QAbstractButton::click);
            } else if (modal->objectName() == "FSettings") {
                auto* list = modal->findChild<QComboBox*>("lbDrives");
                for (int i = 0; list && i < list->count(); ++i)
                    drives << list->itemText(i);
                QTimer::singleShot(0, modal->findChild<QAbstractButton*>("bcancel"), &QAbstractButton::click);
            }
        });
        poll.start(10);
        program.Window().findChild<QAbstractButton*>("btnBurnCD")->click();
        QCOMPARE(opened, (QStringList{"FCDBurn", "FSettings"}));
        QCOMPARE(rows, 0);
        QVERIFY2(!drives.isEmpty() && drives.back().startsWith("Image " + QString::fromStdString(dir.File("disc.cue"))),
                 qPrintable(drives.join(" / ")));
    }

    // Tools > "Rip CD" makes a rip window for this opening, over the drives
    // and the images named on the command line; the window is freed when it
    // closes, and the window it asks for next follows through the chain.
    void RipFromTheToolsMenu()
    {
        TTempDir dir;
        TNoDevices platform;
        TCueImage image;
        image.Tracks = {{TCueImageTrack::tkNoise, 75, 0, "", false, "", ""},
                        {TCueImageTrack::tkNoise, 90, 0, "", false, "", ""}};
        TDesktopProgram::TArgs args;
        args.ConfigFile = dir.File("kestrune.ini");
        args.CdImages = {image.Write(dir.Path(), "disc").string()};
        SaveWithSilentCapture(dir, args.ConfigFile, platform,
                              [&](TOptions& Options) { Options.RipPath = dir.File("Rip") + "/"; });
        TDesktopProgram program(args, platform);
        program.Start(May1);
        QStringList opened;
        QPointer<QWidget> rip;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            if (qobject_cast<QMessageBox*>(modal)) {
                static_cast<QDialog*>(modal)->reject();
                return;
            }
            if (modal->objectName() == "FRip" && !rip) {
                // Once the image's tracks are listed: on to the settings.
                auto* list = modal->findChild<QTreeWidget*>("TrackListView");
                if (!list || list->topLevelItemCount() != 2)
                    return;
                rip = modal;
                opened << "FRip";
                QVERIFY(modal->parentWidget() == &program.Window());
                QTimer::singleShot(0, modal->findChild<QAbstractButton*>("BtnSettings"), &QAbstractButton::click);
            } else if (modal->objectName() == "FSettings" && !opened.contains("FSettings")) {
                opened << "FSettings";
                static_cast<QDialog*>(modal)->reject();
            }
        });
        poll.start(10);
        QAction* ripCd = program.Window().findChild<QAction*>("RipCD1");
        QVERIFY(ripCd && ripCd->isEnabled());
        QTimer::singleShot(20000, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        ripCd->trigger();
        QCOMPARE(opened, (QStringList{"FRip", "FSettings"}));
        QVERIFY(rip.isNull());
    }

    // The main window comes up alone: the conversion and about windows are
    // made when first opened, the burn window (which looks for the writer
    // drives) once the main window has been painted.
    void WindowsAreMadeWhenFirstNeeded()
    {
        TTempDir dir;
        TNoDevices platform;
        TDesktopProgram::TArgs args;
        args.ConfigFile = dir.File("kestrune.ini");
        SaveWithSilentCapture(dir, args.ConfigFile, platform);
        TDesktopProgram program(args, platform);
        const auto made = [&](const char* Name) { return program.Window().findChild<QWidget*>(Name) != nullptr; };
        program.Start(May1);
        for (const char* name : {"FCDBurn", "FConvert", "FAbout"})
            QVERIFY2(!made(name), name);
        QTRY_VERIFY_WITH_TIMEOUT(made("FCDBurn"), 10000);
        QVERIFY(!made("FConvert"));
        QVERIFY(!made("FAbout"));
    }

    // A second start on the same settings brings the first to the front and
    // ends; --new-instance starts a second program all the same.
    void OneProgramPerSettingsFile()
    {
        TTempDir dir;
        TNoDevices platform;
        const std::string ini = dir.File("kestrune.ini");
        SaveWithSilentCapture(dir, ini, platform);
        const QStringList args{"--config", QString::fromStdString(ini)};
        QProcess first;
        first.start(KESTRUNE_PROGRAM, args);
        QVERIFY(first.waitForStarted(20000));
        // Up once its socket answers.
        const QString name = TSingleInstance::ServerName(ini);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QLocalSocket probe;
                probe.connectToServer(name);
                return probe.waitForConnected(200);
            }(),
            20000);

        QProcess second;
        second.start(KESTRUNE_PROGRAM, args);
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(QString::fromUtf8(second.readAllStandardError()).contains("already running"));
        QCOMPARE(first.state(), QProcess::Running);

        QProcess another;
        another.start(KESTRUNE_PROGRAM, args + QStringList{"--new-instance"});
        QVERIFY(another.waitForStarted(20000));
        QVERIFY(!another.waitForFinished(2000));
        for (QProcess* program : {&another, &first}) {
            program->terminate();
            if (!program->waitForFinished(10000)) {
                program->kill();
                program->waitForFinished(5000);
            }
        }
    }

    // Work posted to the window thread that throws reaches the user.
    void PostedWorkThatThrowsShowsAnErrorBox()
    {
        TTempDir dir;
        TNoDevices platform;
        TDesktopProgram::TArgs args;
        args.ConfigFile = dir.File("kestrune.ini");
        TModalAnswerer answers;
        TDesktopProgram program(args, platform);
        answers.Seen.clear();
        TLifetime owner;
        program.Dispatcher().Post(owner.Token(), [] { throw std::runtime_error("The disk is full"); });
        QTRY_VERIFY(answers.Seen.contains("MessageBox: The disk is full"));
    }
};

QTEST_MAIN(DesktopProgramTest)
#include "DesktopProgramTest.moc"
