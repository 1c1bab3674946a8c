// The main window driven as a user drives it: the bar, the keys, the popup,
// the wizard and the close request, over a real recorder reading a WAV file
// through a virtual capture device.
#include "MainWindowTestRig.h"

#include "devices/TInputLevelCheck.h"
#include "recording/TRecordingsList.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QToolButton>
#include <QtTest>

#include <filesystem>
#include <fstream>

using namespace kestrune;
using namespace kestrune::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

QString Status(const TMainWindowRig& Rig)
{
    return Rig.Find<QLabel>("LStatus")->text();
}

QAction* MenuAction(const TMainWindowRig& Rig, const char* Name)
{
    return Rig.Window->findChild<QAction*>(Name);
}

// A row with a file of a little audio behind it, appended to the list as the
// recorder or recognition would leave it.
void AddRow(TMainWindowRig& Rig, const std::string& Title, TRowState State = TRowState::rsRecorded,
            std::vector<TTrackInfo> Candidates = {})
{
    auto data = std::make_shared<TTrackData>();
    data->FileName = Rig.Dir.File(Title + ".wav");
    data->Duration = 1;
    data->Candidates = std::move(Candidates);
    WriteWholeFile(data->FileName, PcmWavImage(std::vector<std::int16_t>(2000, 100), 2, 22050));
    TRecordingRow row;
    row.Caption = Title;
    row.Artist = "Unknown";
    row.Album = "Live";
    row.Time = "00:01";
    row.State = State;
    row.Data = data;
    Rig.Main->List().Append(row);
}

QStringList Captions(const TMainWindowRig& Rig)
{
    QStringList captions;
    for (int row = 0; row < Rig.Model()->rowCount(); ++row)
        captions << Rig.Cell(row, 0);
    return captions;
}

void SelectRow(TMainWindowRig& Rig, int Row)
{
    Rig.Find<QTreeView>("LV")->setCurrentIndex(Rig.Model()->index(Row, 0));
}

// The popup as it opens over Row: its entries' texts.
QStringList PopupOver(TMainWindowRig& Rig, int Row)
{
    auto* lv = Rig.Find<QTreeView>("LV");
    const QPoint at = lv->visualRect(Rig.Model()->index(Row, 1)).center();
    emit lv->customContextMenuRequested(at);
    auto* popup = Rig.Window->findChild<QMenu*>("PopupMenu");
    QStringList texts;
    if (!popup->isVisible())
        return texts;
    for (QAction* action : popup->actions())
        texts << (action->isSeparator() ? QString("-") : action->text());
    return texts;
}

void TriggerPopupEntry(TMainWindowRig& Rig, const QString& Text)
{
    auto* popup = Rig.Window->findChild<QMenu*>("PopupMenu");
    for (QAction* action : popup->actions())
        if (action->text() == Text) {
            popup->close();
            action->trigger();
            return;
        }
    QFAIL(qPrintable("no popup entry " + Text));
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    // The window as it opens: the bar's buttons in order with their hints,
    // the default album name, the genres, the columns, the totals, and the
    // commands whose windows do not exist yet switched off with a reason.
    void OpensWithItsControls()
    {
        TMainWindowRig rig(SongsWithGaps(1, 0.5, 0.5));
        QCOMPARE(rig.Window->windowTitle(), QString("Kestrune"));
        // Inside the screen's free area, its top (where the title bar hangs)
        // included, though it would like to be wider than this screen.
        const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(free.contains(rig.Window->geometry()), qPrintable(QString("%1,%2 %3x%4")
                                                                       .arg(rig.Window->x())
                                                                       .arg(rig.Window->y())
                                                                       .arg(rig.Window->width())
                                                                       .arg(rig.Window->height())));
        const QStringList bar{"BtnStartRecord", "BtnStopRec", "bsSkinButton1", "BtnSettings", "btnBurnCD",
                              "BtnConvert",     "IRemove",    "IPlay",         "IMoveUp",     "IMoveDown"};
        QStringList found;
        for (QToolButton* button : rig.Find<QWidget>("bsSkinPanel1")->findChildren<QToolButton*>())
            found << button->objectName();
        QCOMPARE(found, bar);
        QCOMPARE(rig.Find<QToolButton>("btnBurnCD")->toolTip(), QString("Burn a CD!"));
        QVERIFY(!rig.Find<QToolButton>("BtnStartRecord")->icon().isNull());
        QCOMPARE(rig.Find<QLineEdit>("EAlbumName")->text(), QString("Kestrune 2024-05-01 (1)"));
        QCOMPARE(rig.Main->Recorder().GetAlbumName(), std::string("Kestrune 2024-05-01 (1)"));
        QCOMPARE(rig.Find<QComboBox>("CBGenre")->count(), 3);
        QCOMPARE(rig.Find<QLabel>("LTimeSize")->text(), QString("Total Time/Size : 0:00/0 KB"));
        QVERIFY(rig.Find<QPushButton>("BRip")->isHidden());
        QStringList columns;
        for (int c = 0; c < rig.Model()->columnCount(); ++c)
            columns << rig.Model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(columns, (QStringList{"Title", "Artist", "Album", "Genre", "Time"}));

        for (const char* name : {"BtnSettings", "BtnConvert"}) {
            QVERIFY2(!rig.Find<QToolButton>(name)->isEnabled(), name);
            QVERIFY2(rig.Find<QToolButton>(name)->toolTip().contains("later version"), name);
        }
        for (const char* name : {"Settings1", "Convert1", "RipCD1"})
            QVERIFY2(!MenuAction(rig, name)->isEnabled(), name);
        // Burn stays on and says why nothing can be burnt.
        rig.Find<QToolButton>("btnBurnCD")->click();
        QCOMPARE(rig.Dialogs.Shown().back().Text, std::string("No CD-RW drives available"));
        // Help: the about window, modal over the main window; the help page
        // that is not there is said to be missing.
        bool aboutShown = false;
        AnswerModal("FAbout", [&](QWidget* About) {
            aboutShown = About->parentWidget() == rig.Window.get();
            static_cast<QDialog*>(About)->accept();
        });
        MenuAction(rig, "About1")->trigger();
        QVERIFY(aboutShown);
        MenuAction(rig, "OnlineHelp1")->trigger();
        QVERIFY(rig.Desktop.Opened.empty());
        QCOMPARE(rig.Dialogs.Shown().back().Kind, TDialogKind::dkError);

        // The genre chosen is the one the recorder writes.
        rig.Find<QComboBox>("CBGenre")->setCurrentIndex(1);
        QCOMPARE(rig.Main->Recorder().GetGenre(), std::string("Rock"));
    }

    // A window given later switches its commands on; a shortcut it returns
    // opens the next window through the main window's chain.
    void WindowsGivenLaterOpenAndChain()
    {
        TMainWindowRig rig(SongsWithGaps(1, 0.5, 0.5));
        std::vector<std::string> opened;
        rig.Window->SetWindow(TWindowCommand::wcConvert, [&] {
            opened.push_back("convert");
            return TWindowCommand::wcNone;
        });
        rig.Window->SetWindow(TWindowCommand::wcSettings, [&] {
            opened.push_back("settings");
            return TWindowCommand::wcConvert;
        });
        for (const char* name : {"BtnSettings", "BtnConvert"}) {
            QVERIFY2(rig.Find<QToolButton>(name)->isEnabled(), name);
            QVERIFY2(!rig.Find<QToolButton>(name)->toolTip().contains("later version"), name);
        }
        QCOMPARE(rig.Find<QToolButton>("BtnSettings")->toolTip(), QString("Click Here For Settings"));
        QVERIFY(MenuAction(rig, "Settings1")->isEnabled());
        QVERIFY(!MenuAction(rig, "RipCD1")->isEnabled());
        rig.Find<QToolButton>("BtnSettings")->click();
        QCOMPARE(opened, (std::vector<std::string>{"settings", "convert"}));
        MenuAction(rig, "Convert1")->trigger();
        QCOMPARE(opened.back(), std::string("convert"));
        QCOMPARE(opened.size(), std::size_t{3});

        // The rip window, once given, is reached from Tools; its follow-up
        // goes on through the same chain.
        rig.Window->SetRipWindow([&] {
            opened.push_back("rip");
            return TWindowCommand::wcSettings;
        });
        QVERIFY(MenuAction(rig, "RipCD1")->isEnabled());
        MenuAction(rig, "RipCD1")->trigger();
        QCOMPARE(opened, (std::vector<std::string>{"settings", "convert", "convert", "rip", "settings", "convert"}));
    }

    // Start: rows appear as the songs are cut, the controls are off while it
    // runs (Stop stays on, and so do the windows that were never on stay
    // off afterwards), the status follows the job, the focus goes to the list.
    void RecordingCutsSongsIntoRows()
    {
        TMainWindowRig rig(SongsWithGaps(3, 1.5, 1.0));
        rig.Window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(rig.Window.get()));
        rig.Find<QComboBox>("CBGenre")->setCurrentIndex(2);
        QSignalSpy inserted(rig.Model(), &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(rig.Model(), &QAbstractItemModel::rowsRemoved);
        std::vector<bool> whileRecording;
        QObject::connect(rig.Model(), &QAbstractItemModel::rowsInserted, [&] {
            whileRecording = {
                rig.Find<QToolButton>("BtnStartRecord")->isEnabled(), rig.Find<QToolButton>("BtnStopRec")->isEnabled(),
                rig.Find<QToolButton>("IRemove")->isEnabled(), rig.Find<QLineEdit>("EAlbumName")->isEnabled(),
                rig.Find<QComboBox>("CBGenre")->isEnabled(), MenuAction(rig, "Play1")->isEnabled(),
                MenuAction(rig, "Start1")->isEnabled(), MenuAction(rig, "Stop1")->isEnabled(),
                // the menu that holds Stop must still open
                rig.Window->findChild<QMenu*>("Recording1")->menuAction()->isEnabled()};
        });
        QTest::mouseClick(rig.Find<QToolButton>("BtnStartRecord"), Qt::LeftButton);
        QCOMPARE(Status(rig), QString("Recording..."));
        QCOMPARE(QApplication::focusWidget(), rig.Find<QWidget>("LV"));
        QVERIFY(rig.WaitIdle());

        QCOMPARE(whileRecording, (std::vector<bool>{false, true, false, false, false, false, false, true, true}));
        QCOMPARE(rig.Model()->rowCount(), 3);
        // The track opened after the last song's quiet had no sound: its row
        // came and went.
        QCOMPARE(inserted.count(), 4);
        QCOMPARE(removed.count(), 1);
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(rig.Cell(row, 1), QString("Unknown"));
            QCOMPARE(rig.Cell(row, 2), QString("Kestrune 2024-05-01 (1)"));
            QCOMPARE(rig.Cell(row, 3), QString("Pop"));
            QCOMPARE(rig.Cell(row, 4),
                     QString::fromStdString(TRecordingsList::TimeText(rig.Main->List().Row(row).Data->Duration)));
            QVERIFY(rig.Main->List().Row(row).Data->Duration >= 1);
            QVERIFY(fs::exists(rig.Main->List().Row(row).Data->FileName));
        }
        QCOMPARE(Status(rig), QString("Recording Finished"));
        QCOMPARE(rig.Find<QLabel>("LTimeSize")->text(), QString::fromStdString(rig.Main->List().TotalsText()));
        QVERIFY(rig.Main->List().TotalSeconds() >= 3);
        QVERIFY(rig.Find<QToolButton>("BtnStartRecord")->isEnabled());
        QVERIFY(MenuAction(rig, "Play1")->isEnabled());
        QVERIFY(!rig.Find<QToolButton>("BtnSettings")->isEnabled());
        QVERIFY(!MenuAction(rig, "Convert1")->isEnabled());
    }

    // Stop from the button ends the recording with the track running kept;
    // the close request while recording only stops it, keeps or drops the
    // last track by its length of sound, and then closes the window.
    void StopAndCloseWhileRecording_data()
    {
        QTest::addColumn<bool>("ByClose");
        QTest::addColumn<int>("SoundMs");
        QTest::addColumn<int>("Rows");
        QTest::newRow("Stop after 2.5 s keeps the track") << false << 2500 << 1;
        QTest::newRow("close after 2.5 s keeps the track") << true << 2500 << 1;
        QTest::newRow("close after 0.2 s drops it") << true << 200 << 0;
        QTest::newRow("Stop after 0.2 s drops it") << false << 200 << 0;
    }
    void StopAndCloseWhileRecording()
    {
        QFETCH(bool, ByClose);
        QFETCH(int, SoundMs);
        QFETCH(int, Rows);
        TMainWindowRig rig(SongsWithGaps(1, 20, 0), true);
        rig.Find<QToolButton>("BtnStartRecord")->click();
        QVERIFY(rig.Main->Recorder().Recording());
        // The meter follows the input while the recording runs.
        double peak = 0;
        QTest::qWait(SoundMs);
        peak = rig.Panel->PeakFraction();
        QVERIFY(rig.Panel->Active());
        QVERIFY2(peak > 0.2, qPrintable(QString::number(peak)));
        if (ByClose) {
            QVERIFY(!rig.Window->close());
            QVERIFY(rig.Window->isVisible());
        } else
            rig.Find<QToolButton>("BtnStopRec")->click();
        QVERIFY(rig.WaitIdle(10s));
        QVERIFY(rig.Dispatcher.WaitServing([&] { return !ByClose || !rig.Window->isVisible(); }, 10s));
        QCOMPARE(rig.Model()->rowCount(), Rows);
        // A dropped track is named with the reason, and the album folder
        // the recording made goes with it.
        const fs::path album = rig.Dir.Path() / "Records" / rig.Main->Recorder().GetAlbumName();
        if (Rows == 0) {
            QCOMPARE(Status(rig),
                     QString("Recording Finished: Track0.WAV was shorter than the minimum of 1 s and was dropped"));
            QVERIFY(!fs::exists(album));
        } else {
            QCOMPARE(Status(rig), QString("Recording Finished"));
            QVERIFY(fs::exists(album));
        }
        QCOMPARE(rig.Window->isVisible(), !ByClose);
        QVERIFY(!rig.Panel->Active());
    }

    // The program ends while recording: the window lets go first, and the
    // controller's ending (which finishes the last track) no longer reaches
    // it, so the list it shows stays as it was.
    void EndingWhileRecording_data()
    {
        QTest::addColumn<int>("SoundMs");
        QTest::newRow("last track dropped") << 300;
        QTest::newRow("last track kept") << 1500;
    }
    void EndingWhileRecording()
    {
        QFETCH(int, SoundMs);
        TMainWindowRig rig(SongsWithGaps(1, 20, 0), true);
        rig.Find<QToolButton>("BtnStartRecord")->click();
        QTest::qWait(SoundMs);
        QCOMPARE(rig.Model()->rowCount(), 1);
        QTest::failOnWarning(QRegularExpression(".*"));
        rig.Window->Detach();
        rig.Main.reset();
        QCOMPARE(rig.Model()->rowCount(), 0);
        QVERIFY(rig.Find<QLabel>("LStatus")->text() == "Recording...");
    }

    // An input that stays near silence is said once in the status line,
    // where it stays while the recording runs.
    void SilentInputIsToldInTheStatusLine()
    {
        TMainWindowRig rig(std::vector<std::int16_t>(22050 * 2 * 6, 3), true);
        rig.Find<QToolButton>("BtnStartRecord")->click();
        const QString warning =
            QString::fromStdString(TInputLevelCheck::Text(TInputLevelWarning::ilNearSilence, false));
        QVERIFY(rig.Dispatcher.WaitServing([&] { return Status(rig) == warning; }, 10s));
        QTest::qWait(500);
        QCOMPARE(Status(rig), warning);
        rig.Find<QToolButton>("BtnStopRec")->click();
        QVERIFY(rig.WaitIdle(10s));
        QCOMPARE(Status(rig), QString("Recording Finished"));
    }

    void FailingDeviceEndsWithAnError()
    {
        TMainWindowRig rig({});
        rig.Find<QToolButton>("BtnStartRecord")->click();
        QVERIFY(rig.WaitIdle(10s));
        QVERIFY2(Status(rig).startsWith("Error "), qPrintable(Status(rig)));
        QVERIFY(rig.Find<QToolButton>("BtnStartRecord")->isEnabled());
        QVERIFY(rig.Find<QLineEdit>("EAlbumName")->isEnabled());
    }

    // The list's keys and bar buttons on the selected row; keys do nothing
    // while recording (controls off), and the bar's edge cases do nothing.
    void ListCommands()
    {
        TMainWindowRig rig(SongsWithGaps(1, 0.5, 0.5));
        for (const char* title : {"a", "b", "c"})
            AddRow(rig, title);
        auto* lv = rig.Find<QTreeView>("LV");

        SelectRow(rig, 0);
        QTest::keyClick(lv, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(Captions(rig), (QStringList{"b", "a", "c"}));
        QCOMPARE(rig.Window->SelectedRow(), 1);
        QTest::keyClick(lv, Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(Captions(rig), (QStringList{"a", "b", "c"}));
        QTest::keyClick(lv, Qt::Key_Up, Qt::ControlModifier); // the first row stays
        QCOMPARE(Captions(rig), (QStringList{"a", "b", "c"}));
        SelectRow(rig, 2);
        rig.Find<QToolButton>("IMoveDown")->click(); // the last row stays
        rig.Find<QToolButton>("IMoveUp")->click();
        QCOMPARE(Captions(rig), (QStringList{"a", "c", "b"}));

        // While recording the keys and the double click are ignored.
        rig.Window->EnableControls(false);
        SelectRow(rig, 0);
        QTest::keyClick(lv, Qt::Key_Delete);
        QTest::keyClick(lv, Qt::Key_Down, Qt::ControlModifier);
        QTest::mouseDClick(lv->viewport(), Qt::LeftButton, {}, lv->visualRect(rig.Model()->index(0, 0)).center());
        QCOMPARE(Captions(rig), (QStringList{"a", "c", "b"}));
        QVERIFY(rig.Desktop.Opened.empty());
        rig.Window->EnableControls(true);

        QTest::mouseDClick(lv->viewport(), Qt::LeftButton, {}, lv->visualRect(rig.Model()->index(0, 0)).center());
        QCOMPARE(rig.Desktop.Opened, (std::vector<std::string>{rig.Dir.File("a.wav")}));

        // Delete moves the file to the trash, where it can be brought back,
        // and says so.
        rig.Desktop.TrashFolder = rig.Dir.File("Trash");
        const std::string fileA = rig.Main->List().Row(0).Data->FileName;
        SelectRow(rig, 0);
        QTest::keyClick(lv, Qt::Key_Delete, Qt::ShiftModifier); // whatever modifier is held
        QCOMPARE(Captions(rig), (QStringList{"c", "b"}));
        QVERIFY(!fs::exists(fileA));
        QVERIFY(fs::exists(rig.Dir.File("Trash/a.wav")));
        QCOMPARE(Status(rig), QString::fromStdString("Moved to the trash: " + fileA));
        QVERIFY(rig.Dialogs.Shown().empty());

        // A trash that refuses: deleted for good only when the user says so.
        rig.Desktop.TrashFolder.clear();
        const std::string fileC = rig.Main->List().Row(0).Data->FileName;
        SelectRow(rig, 0);
        rig.Dialogs.Script(TDialogResult::drNo);
        rig.Find<QToolButton>("IRemove")->click();
        QCOMPARE(Captions(rig), (QStringList{"c", "b"}));
        QVERIFY(fs::exists(fileC));
        QCOMPARE(rig.Dialogs.Shown().back().Text, fileC + " cannot be moved to the trash. Delete it for good?");
        rig.Dialogs.Script(TDialogResult::drYes);
        rig.Find<QToolButton>("IRemove")->click();
        QCOMPARE(Captions(rig).size(), 1);
        QVERIFY(!fs::exists(fileC));
        QCOMPARE(Status(rig), QString::fromStdString("Deleted: " + fileC));
    }

    // A recognition that could not ask the service says why: the row's hint
    // and the status line; one that ran leaves the status line alone.
    void FailedRecognitionSaysWhy()
    {
        TMainWindowRig rig(SongsWithGaps(1, 0.5, 0.5));
        AddRow(rig, "a");
        TRecordingRow row = rig.Main->List().Row(0);
        row.Artist = "Querying online database...";
        row.Hint = "Recognition failed: The recognition service refused the query: invalid API key";
        rig.Main->List().UpdateRow(0, row);
        QCOMPARE(rig.Model()->index(0, 1).data(Qt::ToolTipRole).toString(), QString::fromStdString(row.Hint));

        rig.Window->SetStatusText("Recording Finished");
        TJobEvents& job = rig.Main->Recognition().Job();
        job.Started("Querying online database... a");
        job.Finished(TJobOutcome::joSucceeded, "");
        QCOMPARE(Status(rig), QString("Recording Finished"));
        job.Started("Querying online database... a");
        job.Finished(TJobOutcome::joFailed, "Could not connect to the recognition service");
        QCOMPARE(Status(rig), QString("Recognition failed: Could not connect to the recognition service"));
    }

    // The popup: its entries by the row's recognition state; Edit Info
    // writes the texts into the row and names the file after them; the
    // alternate choice writes the chosen candidate; none while recording.
    void PopupOnRows()
    {
        TMainWindowRig rig(SongsWithGaps(1, 0.5, 0.5));
        AddRow(rig, "plain");
        AddRow(rig, "one", TRowState::rsOneMatch, {{"Band", "One", "LP"}});
        AddRow(rig, "several", TRowState::rsSeveralMatches, {{"Band", "First", "LP"}, {"Other Band", "Second", "EP"}});
        const QStringList base{"Edit Info", "Delete", "-", "Play"};
        QCOMPARE(PopupOver(rig, 0), base);
        QCOMPARE(PopupOver(rig, 1), base);
        QCOMPARE(PopupOver(rig, 2), base + QStringList{"Choose an alternate track"});
        QCOMPARE(rig.Window->SelectedRow(), 2); // the row under the mouse

        TriggerPopupEntry(rig, "Choose an alternate track");
        QCOMPARE(rig.Chooser.Shown, 1);
        QCOMPARE(rig.Cell(2, 0), QString("Second"));
        QCOMPARE(rig.Cell(2, 1), QString("Other Band"));

        rig.TrackInfo.Change = [](ITrackInfoDialog::TFields& Fields) {
            Fields.Title = "New Title";
            Fields.Artist = "New Artist";
        };
        QCOMPARE(PopupOver(rig, 0), base);
        TriggerPopupEntry(rig, "Edit Info");
        QCOMPARE(rig.TrackInfo.Seen.Title, std::string("plain"));
        QCOMPARE(rig.Cell(0, 0), QString("New Title"));
        QCOMPARE(rig.Cell(0, 1), QString("New Artist"));
        QVERIFY(fs::exists(rig.Main->List().Row(0).Data->FileName));
        QVERIFY(!fs::exists(rig.Dir.File("plain.wav")));

        rig.Window->EnableControls(false);
        QCOMPARE(PopupOver(rig, 0), QStringList());
    }

    // The keys a desktop user expects: a mnemonic on every menu entry,
    // Ctrl+R and Ctrl+. for Start and Stop, Ctrl+Q as a close request
    // (while recording it stops, then the window closes), and the bar's
    // buttons in the Tab chain.
    void Keys()
    {
        TMainWindowRig rig(SongsWithGaps(1, 20, 0), true);
        for (QMenu* menu : rig.Window->menuBar()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
            for (QAction* action : menu->actions())
                if (!action->isSeparator())
                    QVERIFY2(action->text().contains('&'), qPrintable(action->text()));
        QCOMPARE(MenuAction(rig, "Exit1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));

        QVERIFY(QTest::qWaitForWindowActive(rig.Window.get()));
        rig.Find<QLineEdit>("EAlbumName")->setFocus();
        QStringList reached;
        for (int i = 0; i < 30; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            reached << QApplication::focusWidget()->objectName();
        }
        for (const char* name : {"BtnStartRecord", "bsSkinButton1", "IPlay"})
            QVERIFY2(reached.contains(name), qPrintable(reached.join(' ')));

        QTest::keyClick(rig.Window.get(), Qt::Key_R, Qt::ControlModifier);
        QVERIFY(rig.Main->Recorder().Recording());
        QTest::qWait(1500);
        QTest::keyClick(rig.Window.get(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(rig.WaitIdle(10s));
        QVERIFY(rig.Dispatcher.WaitServing([&] { return !rig.Window->isVisible(); }, 10s));
        QCOMPARE(rig.Model()->rowCount(), 1);
        QVERIFY(!rig.Main->Recorder().Recording());

        TMainWindowRig again(SongsWithGaps(1, 20, 0), true);
        QVERIFY(QTest::qWaitForWindowActive(again.Window.get()));
        QTest::keyClick(again.Window.get(), Qt::Key_R, Qt::ControlModifier);
        QVERIFY(again.Main->Recorder().Recording());
        QTest::qWait(300);
        QTest::keyClick(again.Window.get(), Qt::Key_Period, Qt::ControlModifier);
        QVERIFY(again.WaitIdle(10s));
        QVERIFY(!again.Main->Recorder().Recording());
        QVERIFY(again.Window->isVisible());
    }

    // The wizard's paths: record (saved, then recording), cancel on the album
    // page (nothing saved, nothing recorded), burn and convert.
    void Wizard_data()
    {
        QTest::addColumn<QString>("Choice");
        QTest::addColumn<bool>("AlbumNext");
        QTest::newRow("record") << "RBRecord" << true;
        QTest::newRow("record, cancel on the album page") << "RBRecord" << false;
        QTest::newRow("record, cancel on the last page") << "RBRecord" << true;
        QTest::newRow("burn") << "RBCD" << true;
        QTest::newRow("convert") << "RBConvert" << true;
        QTest::newRow("cancel on the first page") << "" << true;
    }
    void Wizard()
    {
        QFETCH(QString, Choice);
        QFETCH(bool, AlbumNext);
        TMainWindowRig rig(SongsWithGaps(2, 1.5, 1.0));
        const std::string wizardFolder = rig.Dir.File("Wizard");
        bool recordPageSeen = false;
        bool firstChecked = false;
        AnswerModal("FWizard0", [&](QWidget* Page) {
            QCOMPARE(Page->windowTitle(), QString("Wizard"));
            firstChecked = Page->findChild<QRadioButton*>("RBRecord")->isChecked();
            if (Choice.isEmpty()) {
                static_cast<QDialog*>(Page)->reject();
                return;
            }
            Page->findChild<QRadioButton*>(Choice)->setChecked(true);
            static_cast<QDialog*>(Page)->accept();
            if (Choice != "RBRecord")
                return;
            AnswerModal("FWizard1", [&](QWidget* Album) {
                QCOMPARE(Album->findChild<QLineEdit*>("EAlbumName")->text(), QString("Kestrune 2024-05-01 (1)"));
                QCOMPARE(Album->findChild<QComboBox*>("CBGenre")->count(), 3);
                Album->findChild<QLineEdit*>("EAlbumName")->setText("Night Out");
                Album->findChild<QComboBox*>("CBGenre")->setCurrentIndex(1);
                Album->findChild<QLineEdit*>("EFolder")->setText(QString::fromStdString(wizardFolder));
                if (!AlbumNext) {
                    static_cast<QDialog*>(Album)->reject();
                    return;
                }
                static_cast<QDialog*>(Album)->accept();
                AnswerModal("FWizard2", [&](QWidget* Last) {
                    recordPageSeen = true;
                    auto* cancel = Last->findChild<QPushButton*>("BCancel");
                    QVERIFY(cancel && cancel->text() == "Cancel");
                    if (QString(QTest::currentDataTag()).contains("last page"))
                        cancel->click();
                    else
                        Last->findChild<QPushButton*>()->click();
                });
            });
        });
        rig.Find<QToolButton>("bsSkinButton1")->click();
        QVERIFY(rig.WaitIdle());
        QVERIFY(firstChecked);

        const bool lastCancelled = QString(QTest::currentDataTag()).contains("last page");
        const bool saved = Choice == "RBRecord" && AlbumNext;
        const bool recorded = saved && !lastCancelled;
        QCOMPARE(recordPageSeen, saved);
        QCOMPARE(fs::exists(rig.Dir.File("kestrune.ini")), saved);
        QCOMPARE(rig.Model()->rowCount(), recorded ? 2 : 0);
        QCOMPARE(rig.Find<QLineEdit>("EAlbumName")->text(), QString(saved ? "Night Out" : "Kestrune 2024-05-01 (1)"));
        QCOMPARE(rig.Find<QComboBox>("CBGenre")->currentIndex(), saved ? 1 : -1);
        QCOMPARE(rig.Main->Options().Folder, saved ? wizardFolder + "/" : rig.Dir.Path().string() + "/Records/");
        if (recorded) {
            QCOMPARE(rig.Cell(0, 3), QString("Rock"));
            QVERIFY(fs::exists(fs::path(wizardFolder) / "Night Out"));
        }
        const bool warned =
            !rig.Dialogs.Shown().empty() && rig.Dialogs.Shown().back().Text == "No CD-RW drives available";
        QCOMPARE(warned, Choice == "RBCD");
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
