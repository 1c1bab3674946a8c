// The burn window driven as a user drives it, over the image drive (a blank
// CD-R that writes a BIN/CUE image): the drive scan and the disc's lines,
// files chosen in the open dialog, the list's keys, the space line turning
// red on a disc too small, a burn to the image, a burn stopped, an erase
// refused, and the shortcuts to the other windows; and over libburn's
// pseudo-drive, a burn refused with libburn's reason.
#include "burn/TBurnFixture.h"
#include "burn/TCdWriter.h"
#include "burn/TImageDrive.h"
#include "burn/TLibburnDrive.h"
#include "burn/ui/TFBurn.h"
#include "common/TPlainDialogs.h"
#include "common/ui/TQtDispatcher.h"
#include "mocks/TNoDevices.h"
#include "settings/TOptions.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <atomic>
#include <filesystem>
#include <memory>

using namespace kestrune;
using namespace kestrune::test;
namespace fs = std::filesystem;

namespace {

constexpr int Rate = 44100;

// Seconds of a quiet stereo tone, as a CD-ready WAV file.
std::string Song(const TTempDir& Dir, const std::string& Name, int Seconds)
{
    std::vector<std::int16_t> samples(static_cast<std::size_t>(Rate) * 2 * static_cast<std::size_t>(Seconds));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>((i / 2) % 200 * 20 - 2000);
    return WriteWav(Dir.File(Name), samples, 2, Rate);
}

// A burn window over one image drive of Minutes, hidden, its scan finished.
// An image drive that counts its disc reads.
class TCountingDrive final : public IBurnDrive {
public:
    TCountingDrive(std::unique_ptr<IBurnDrive> Drive_, std::shared_ptr<std::atomic<int>> Reads_)
        : Drive(std::move(Drive_)), Reads(std::move(Reads_))
    {
    }
    std::string Vendor() const override { return Drive->Vendor(); }
    std::string Model() const override { return Drive->Model(); }
    std::string Revision() const override { return Drive->Revision(); }
    int MaxWriteSpeed() override { return Drive->MaxWriteSpeed(); }
    int ImposedWriteMethod() const override { return Drive->ImposedWriteMethod(); }
    TBurnDisc ReadDisc() override
    {
        ++*Reads;
        return Drive->ReadDisc();
    }
    bool Write(const TBurnJob& Job, const TBurnStepFn& Step, const std::atomic<bool>& Stop) override
    {
        return Drive->Write(Job, Step, Stop);
    }
    bool Erase(bool Quick, const TBurnStepFn& Step, const std::atomic<bool>& Stop) override
    {
        return Drive->Erase(Quick, Step, Stop);
    }
    void Eject() override { Drive->Eject(); }
    void LoadTray() override { Drive->LoadTray(); }
    std::string LastImage() const override { return Drive->LastImage(); }

private:
    std::unique_ptr<IBurnDrive> Drive;
    std::shared_ptr<std::atomic<int>> Reads;
};

struct TRig {
    TTempDir Dir;
    TNoDevices Platform;
    std::unique_ptr<TOptions> Options;
    TQtDispatcher Dispatcher;
    TPlainDialogs Dialogs;
    fs::path Cue;
    std::unique_ptr<TFBurn> Window;

    // DiscReads, when given, counts the drive's disc reads.
    explicit TRig(int Minutes = 80, std::shared_ptr<std::atomic<int>> DiscReads = nullptr)
    {
        Options = std::make_unique<TOptions>(Dir.File("kestrune.ini"), Platform,
                                             TOptions::TDefaults{Dir.Path().string() + "/"});
        Options->Folder = Dir.Path().string() + "/";
        Cue = Dir.Path() / "out" / "disc.cue";
        fs::create_directories(Cue.parent_path());
        const fs::path cue = Cue;
        std::vector<TBurnDriveScan> scans{[cue, Minutes, DiscReads] {
            std::vector<std::unique_ptr<IBurnDrive>> drives;
            std::unique_ptr<IBurnDrive> drive = std::make_unique<TImageDrive>(cue, Minutes);
            if (DiscReads)
                drive = std::make_unique<TCountingDrive>(std::move(drive), DiscReads);
            drives.push_back(std::move(drive));
            return drives;
        }};
        Make(std::move(scans));
    }
    // A burn window over the drives Scan finds instead.
    explicit TRig(TBurnDriveScan Scan)
    {
        Options = std::make_unique<TOptions>(Dir.File("kestrune.ini"), Platform,
                                             TOptions::TDefaults{Dir.Path().string() + "/"});
        Make({std::move(Scan)});
    }
    void Make(std::vector<TBurnDriveScan> Scans)
    {
        Window = std::make_unique<TFBurn>(TBurnWindowContext{
            *Options, Dialogs, Dispatcher, std::make_shared<TCdWriter>(Dispatcher, std::move(Scans)), {}, {}, false});
    }

    // Waits for the next message box.
    bool MessageCame(int Timeout) const
    {
        return QTest::qWaitFor([this] { return Dialogs.Shown().size() > Seen; }, Timeout);
    }
    // Shown and active, so the list's keys reach it.
    bool Show()
    {
        Window->show();
        Window->activateWindow();
        return QTest::qWaitForWindowActive(Window.get());
    }

    bool Scan()
    {
        Window->Controller().StartScan();
        return QTest::qWaitFor([this] { return Window->Controller().WriterAvailable(); }, 10000);
    }

    template <typename T> T* Find(const char* Name) const
    {
        T* found = Window->findChild<T*>(QString::fromLatin1(Name));
        if (!found)
            qWarning("no control %s", Name);
        return found;
    }
    QString Text(const char* Label) const { return Find<QLabel>(Label)->text(); }
    QStringList Rows(int Column) const
    {
        QStringList rows;
        auto* list = Find<QTreeWidget>("clBox");
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows << list->topLevelItem(i)->text(Column);
        return rows;
    }
    // The messages shown since the last call.
    QStringList Messages()
    {
        QStringList texts;
        for (std::size_t i = Seen; i < Dialogs.Shown().size(); ++i)
            texts << QString::fromStdString(Dialogs.Shown()[i].Text);
        Seen = Dialogs.Shown().size();
        return texts;
    }
    // Answers the open dialog that Open brings up with Files (none: Cancel);
    // what the dialog offered, for the checks.
    struct TOffered {
        bool Came = false;
        QString Title, Folder, Filter;
        QStringList Filters;
        QFileDialog::FileMode Mode = QFileDialog::AnyFile;
    };
    TOffered Choose(const std::function<void()>& Open, const QStringList& Files)
    {
        TOffered offered;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            offered = {true,           dialog->windowTitle(),        dialog->directory().absolutePath(),
                       dialog->selectedNameFilter(), dialog->nameFilters(), dialog->fileMode()};
            if (Files.isEmpty()) {
                dialog->reject();
                return;
            }
            QStringList quoted;
            for (const QString& file : Files)
                quoted << '"' + QFileInfo(file).fileName() + '"';
            dialog->setDirectory(QFileInfo(Files.front()).absolutePath());
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText(quoted.join(' '));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        Open();
        return offered;
    }

private:
    std::size_t Seen = 0;
};

QColor Ink(QLabel* Label)
{
    Label->ensurePolished();
    return Label->palette().color(Label->foregroundRole());
}

} // namespace

class BurnWindowTest : public QObject {
    Q_OBJECT
private slots:
    // Made hidden with the texts of an idle window and no disc; the scan
    // lists the image drive and its speeds and reads its blank disc.
    void ScanFillsTheDrivesAndTheDiscLines()
    {
        TRig rig;
        QCOMPARE(rig.Window->windowTitle(), QString("CD Burning"));
        QVERIFY(!rig.Window->isVisible());
        QVERIFY(!rig.Window->Shown());
        QCOMPARE(rig.Text("LDescription"), QString("No disc"));
        QCOMPARE(rig.Text("LSpace"), QString("No disc"));
        QCOMPARE(rig.Text("status"), QString("IDLE"));
        QVERIFY(rig.Find<QProgressBar>("PB")->isHidden());
        QCOMPARE(rig.Find<QPushButton>("BBurn")->text(), QString("BURN CD!"));
        QCOMPARE(rig.Find<QTreeWidget>("clBox")->headerItem()->text(1), QString("Name"));
        for (const char* name : {"bsSkinButton1", "BErase", "BLoad", "BEject", "BWiz", "BtnSettings", "BtnConvert"})
            QVERIFY2(rig.Find<QAbstractButton>(name), name);
        QStringList menus;
        for (QAction* menu : rig.Find<QMenuBar>("MainMenu")->actions()) {
            QStringList items;
            for (QAction* item : menu->menu()->actions())
                items << item->text();
            menus << menu->text().remove('&') + ": " + items.join(", ");
        }
        QCOMPARE(menus, (QStringList{"File: Add File(s), Exit", "Tools: Convert, Settings",
                                     "CD: Quick Erase, Eject, Load, Burn", "Help: Online Help, About"}));

        QVERIFY(rig.Scan());
        auto* drives = rig.Find<QComboBox>("lbDrives");
        QCOMPARE(drives->count(), 1);
        QVERIFY2(drives->currentText().startsWith("Image " + QString::fromStdString(rig.Cue.string())),
                 qPrintable(drives->currentText()));
        auto* speeds = rig.Find<QComboBox>("lbSpeed");
        QVERIFY(speeds->count() > 0);
        QVERIFY(speeds->currentText().endsWith('x'));
        QCOMPARE(rig.Text("LDescription"), QString("CD-R | Blank"));
        QVERIFY2(rig.Text("LSpace").startsWith("Used space: 0:00 | To be written: 0:00 | Disc capacity: 80:"),
                 qPrintable(rig.Text("LSpace")));
        QCOMPARE(rig.Text("status"), QString("IDLE"));
        QVERIFY(rig.Find<QPushButton>("BErase")->isEnabled());
        QVERIFY(rig.Find<QMenuBar>("MainMenu")->findChild<QAction*>("Burn1")->isEnabled());
        QCOMPARE(rig.Messages(), QStringList());
    }

    // "Add Files" offers the types the program reads, from the recordings
    // folder; the chosen files become rows in order, each with the growth of
    // the space line as its duration. Delete takes the selected row out,
    // Ctrl+Delete all, Insert adds again.
    void FilesFromTheOpenDialogAndTheListsKeys()
    {
        TRig rig;
        QVERIFY(rig.Scan());
        QVERIFY(rig.Show());
        const QStringList files{QString::fromStdString(Song(rig.Dir, "one.wav", 30)),
                                QString::fromStdString(Song(rig.Dir, "Two.WAV", 90)),
                                QString::fromStdString(Song(rig.Dir, "three.wav", 5))};
        auto* add = rig.Find<QPushButton>("bsSkinButton1");
        const TRig::TOffered offered = rig.Choose([&] { add->click(); }, files);
        QVERIFY(offered.Came);
        QCOMPARE(offered.Title, QString("Open file"));
        QCOMPARE(offered.Mode, QFileDialog::ExistingFiles);
        QCOMPARE(offered.Filters, TFBurn::FileFilters());
        QCOMPARE(offered.Filter, TFBurn::FileFilters().front());
        QVERIFY(offered.Filters.front().contains("*.flac") && offered.Filters.front().contains("*.ape"));
        QVERIFY(!offered.Filters.join(' ').contains("*.wma"));
        QCOMPARE(offered.Folder, QDir(QString::fromStdString(rig.Dir.Path().string())).absolutePath());

        QCOMPARE(rig.Rows(0), (QStringList{".WAV", ".WAV", ".WAV"}));
        QCOMPARE(rig.Rows(1), files);
        // Each song's seconds, and the gap before it, rounded up on its own.
        const QStringList durations = rig.Rows(2);
        QCOMPARE(durations.size(), 3);
        QVERIFY2(durations[0] >= "00:30" && durations[0] <= "00:33", qPrintable(durations[0]));
        QVERIFY2(durations[1] >= "01:30" && durations[1] <= "01:33", qPrintable(durations[1]));
        QVERIFY2(durations[2] >= "00:05" && durations[2] <= "00:08", qPrintable(durations[2]));
        const QString full = rig.Text("LSpace");
        QVERIFY2(full.contains("To be written: 2:"), qPrintable(full));

        // The dialog took the focus; the window has it back.
        QVERIFY(rig.Show());
        auto* list = rig.Find<QTreeWidget>("clBox");
        list->setFocus();
        list->setCurrentItem(list->topLevelItem(1));
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(rig.Rows(1), (QStringList{files[0], files[2]}));
        QCOMPARE(rig.Window->Controller().Rows().size(), 2u);
        QVERIFY2(rig.Text("LSpace").contains("To be written: 0:"), qPrintable(rig.Text("LSpace")));

        QTest::keyClick(list, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(list->topLevelItemCount(), 0);
        QVERIFY2(rig.Text("LSpace").contains("To be written: 0:00"), qPrintable(rig.Text("LSpace")));

        QVERIFY(rig.Choose([&] { QTest::keyClick(list, Qt::Key_Insert); }, {files[2]}).Came);
        QCOMPARE(rig.Rows(1), QStringList{files[2]});
        QCOMPARE(rig.Messages(), QStringList());
    }

    // On a disc too small the space line turns red and "BURN CD!" writes
    // nothing; once the queue fits again the line takes the window's ink.
    void SpaceLineRedOnADiscTooSmall()
    {
        TRig rig(1);
        QVERIFY(rig.Scan());
        QVERIFY(rig.Show());
        auto* space = rig.Find<QLabel>("LSpace");
        const QColor normal = Ink(space);
        const std::string song = Song(rig.Dir, "long.wav", 70);
        rig.Window->Controller().AddFiles({song});
        const QColor red = Ink(space);
        QVERIFY2(red.red() > 150 && red.green() < 120 && red.blue() < 120, qPrintable(red.name()));

        rig.Find<QPushButton>("BBurn")->click();
        QCOMPARE(rig.Messages(), QStringList{"The disk capacity is smaller then needed! \r\n"
                                             "Please delete some files or insert a bigger disk."});
        QCOMPARE(rig.Find<QPushButton>("BBurn")->text(), QString("BURN CD!"));
        QVERIFY(rig.Find<QProgressBar>("PB")->isHidden());
        QTest::qWait(100);
        QVERIFY(!fs::exists(rig.Cue));

        auto* list = rig.Find<QTreeWidget>("clBox");
        list->setFocus();
        list->setCurrentItem(list->topLevelItem(0));
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(Ink(space), normal);
    }

    // "BURN CD!" writes the queue to the image: while it runs the button is
    // "STOP" and the control set is off; at the end "Writing completed!", an
    // empty queue and an idle window.
    void BurnsTheQueueToAnImage()
    {
        TRig rig;
        QVERIFY(rig.Scan());
        rig.Window->Controller().AddFiles({Song(rig.Dir, "a.wav", 4), Song(rig.Dir, "b.wav", 3)});
        auto* burn = rig.Find<QPushButton>("BBurn");
        burn->click();
        QCOMPARE(burn->text(), QString("STOP"));
        QVERIFY(burn->isEnabled());
        QVERIFY(!rig.Find<QPushButton>("BErase")->isEnabled());
        QVERIFY(!rig.Find<QMenuBar>("MainMenu")->findChild<QAction*>("Exit1")->isEnabled());
        QVERIFY(!rig.Find<QProgressBar>("PB")->isHidden());
        QVERIFY2(rig.Text("status").startsWith("Write"), qPrintable(rig.Text("status")));

        // While the message is up the window behind it is at rest already,
        // and both name the image it wrote.
        QString statusBehind, buttonBehind;
        bool progressBehind = true;
        rig.Dialogs.OnShow = [&](const TPlainDialogs::TShown&) {
            statusBehind = rig.Text("status");
            buttonBehind = burn->text();
            progressBehind = !rig.Find<QProgressBar>("PB")->isHidden();
        };
        QVERIFY(rig.MessageCame(20000));
        rig.Dialogs.OnShow = nullptr;
        const QString image = QString::fromStdString(rig.Cue.string());
        QCOMPARE(rig.Messages(), QStringList{"Writing completed! The image is " + image});
        QCOMPARE(statusBehind, "Image written: " + image);
        QCOMPARE(buttonBehind, QString("BURN CD!"));
        QVERIFY(!progressBehind);
        QCOMPARE(rig.Find<QTreeWidget>("clBox")->topLevelItemCount(), 0);
        QCOMPARE(burn->text(), QString("BURN CD!"));
        QVERIFY(rig.Find<QProgressBar>("PB")->isHidden());
        QVERIFY(rig.Find<QPushButton>("BErase")->isEnabled());
        QCOMPARE(rig.Text("status"), "Image written: " + image);
        QCOMPARE(ReadImage(rig.Cue).Toc.Tracks.size(), 2u);
    }

    // "STOP" ends the write at once without a message and keeps the queue;
    // no image is left, and the next "BURN CD!" writes it whole.
    void StopKeepsTheQueueAndLeavesNoImage()
    {
        TRig rig;
        QVERIFY(rig.Scan());
        const std::string song = Song(rig.Dir, "long.wav", 240);
        rig.Window->Controller().AddFiles({song});
        auto* burn = rig.Find<QPushButton>("BBurn");
        burn->click();
        QCOMPARE(burn->text(), QString("STOP"));
        // Stopped once the song is being written, as a hand can.
        QVERIFY(QTest::qWaitFor([&] { return rig.Text("status").startsWith("Writing:"); }, 10000));
        burn->click();
        QCOMPARE(rig.Text("status"), QString("IDLE"));
        QCOMPARE(burn->text(), QString("BURN CD!"));
        QVERIFY(rig.Find<QProgressBar>("PB")->isHidden());
        QVERIFY(rig.Find<QPushButton>("BErase")->isEnabled());
        QCOMPARE(rig.Rows(1), QStringList{QString::fromStdString(song)});
        QTest::qWait(500);
        QCOMPARE(rig.Messages(), QStringList());
        QVERIFY(!fs::exists(rig.Cue));
        QCOMPARE(FilesIn(rig.Cue.parent_path()), std::vector<std::string>{});

        burn->click();
        QVERIFY(rig.MessageCame(30000));
        QCOMPARE(rig.Messages(),
                 QStringList{"Writing completed! The image is " + QString::fromStdString(rig.Cue.string())});
        QCOMPARE(ReadImage(rig.Cue).Tracks.size(), 1u);
    }

    // libburn's pseudo-drive over a file: its medium is shown by libburn's
    // name and takes a queue; "BURN CD!" gets libburn's refusal of audio as
    // the error, the window is idle again with its queue, and the file keeps
    // what it held.
    void PseudoDriveRefusesAudioWithLibburnsReason()
    {
        TTempDir files;
        const std::string target = files.File("pseudo");
        const std::vector<std::uint8_t> held{'k', 'e', 'e', 'p'};
        WriteWholeFile(target, held);
        TRig rig([target] { return TLibburnDrive::Scan({"stdio:" + target}); });
        QVERIFY(rig.Scan());
        QCOMPARE(rig.Text("LDescription"), QString("stdio file | Blank"));
        const std::string song = Song(rig.Dir, "a.wav", 3);
        rig.Window->Controller().AddFiles({song});
        QCOMPARE(rig.Rows(1), QStringList{QString::fromStdString(song)});

        auto* burn = rig.Find<QPushButton>("BBurn");
        burn->click();
        QVERIFY(rig.MessageCame(30000));
        QCOMPARE(rig.Messages(),
                 QStringList{"Error: -102. The drive refuses this job: audio track prohibited by non-CD."});
        QCOMPARE(burn->text(), QString("BURN CD!"));
        QVERIFY(rig.Find<QProgressBar>("PB")->isHidden());
        QVERIFY(rig.Find<QPushButton>("BErase")->isEnabled());
        QCOMPARE(rig.Text("status"), QString("IDLE"));
        QCOMPARE(rig.Rows(1), QStringList{QString::fromStdString(song)});
        QCOMPARE(ReadWholeFile(target), held);
    }

    // The image drive holds a CD-R: Quick Erase says so and changes nothing.
    void EraseRefusedOnACdR()
    {
        TRig rig;
        QVERIFY(rig.Scan());
        rig.Find<QPushButton>("BErase")->click();
        QCOMPARE(rig.Messages(), QStringList{"Disc is not erasable by this control! Please insert a CD-RW disc"});
        QVERIFY(rig.Find<QProgressBar>("PB")->isHidden());
        QVERIFY(rig.Find<QPushButton>("BBurn")->isEnabled());
        QCOMPARE(rig.Text("status"), QString("IDLE"));
    }

    // The picture buttons and the Tools entries close the window and name
    // the window to open next; Exit and the close box name none.
    void ShortcutsLeaveTheNextWindow_data()
    {
        QTest::addColumn<QString>("Control");
        QTest::addColumn<int>("Next");
        QTest::newRow("wizard button") << "BWiz" << static_cast<int>(TBurnFollowUp::bfWizard);
        QTest::newRow("settings button") << "BtnSettings" << static_cast<int>(TBurnFollowUp::bfSettings);
        QTest::newRow("convert button") << "BtnConvert" << static_cast<int>(TBurnFollowUp::bfConvert);
        QTest::newRow("Tools > Settings") << "Settings1" << static_cast<int>(TBurnFollowUp::bfSettings);
        QTest::newRow("Tools > Convert") << "Convert1" << static_cast<int>(TBurnFollowUp::bfConvert);
        QTest::newRow("File > Exit") << "Exit1" << static_cast<int>(TBurnFollowUp::bfNone);
        QTest::newRow("close box") << "" << static_cast<int>(TBurnFollowUp::bfNone);
    }
    void ShortcutsLeaveTheNextWindow()
    {
        QFETCH(QString, Control);
        QFETCH(int, Next);
        TRig rig;
        QVERIFY(rig.Scan());
        bool shown = false;
        QTimer::singleShot(0, [&] {
            shown = rig.Window->Shown();
            if (Control.isEmpty())
                rig.Window->close();
            else if (auto* button = rig.Window->findChild<QAbstractButton*>(Control))
                button->click();
            else
                rig.Window->findChild<QAction*>(Control)->trigger();
        });
        QTimer::singleShot(5000, rig.Window.get(), &QDialog::reject);
        QCOMPARE(static_cast<int>(rig.Window->Run()), Next);
        QVERIFY(shown);
        QVERIFY(!rig.Window->Shown());
        // Shown again, it starts without a follow-up.
        QTimer::singleShot(0, rig.Window.get(), &QWidget::close);
        QCOMPARE(rig.Window->Run(), TBurnFollowUp::bfNone);
    }

    // Opened on a new queue the window reads the disc once: loading the
    // queue reads it, and showing right after does not read it again. Shown
    // again without a new queue, it looks at the disc afresh.
    void OpeningOnAQueueReadsTheDiscOnce()
    {
        auto reads = std::make_shared<std::atomic<int>>(0);
        TRig rig(80, reads);
        QVERIFY(rig.Scan());
        const int before = *reads;
        QTimer::singleShot(0, rig.Window.get(), &QWidget::close);
        QCOMPARE(rig.Window->Run(std::vector<std::string>{}), TBurnFollowUp::bfNone);
        QCOMPARE(*reads - before, 1);
        QTimer::singleShot(0, rig.Window.get(), &QWidget::close);
        QCOMPARE(rig.Window->Run(), TBurnFollowUp::bfNone);
        QCOMPARE(*reads - before, 2);
    }
};

QTEST_MAIN(BurnWindowTest)
#include "BurnWindowTest.moc"
