// The rip window driven as a user drives it, over BIN/CUE images listed as
// drives: the drive scan and the track list, a refresh asked for by a check
// box, album entries from a CDDB server on loopback (and the close refused
// while it is asked), a rip of two tracks to WAV files, a stopped rip, the
// format options and the follow-ups.
#include "cd/TCdioDriveProvider.h"
#include "cd/TCueImage.h"
#include "cd/TFakeCddbServer.h"
#include "common/TPlainDialogs.h"
#include "common/ui/TQtDispatcher.h"
#include "convert/TConvertController.h"
#include "mocks/TNoDevices.h"
#include "common/ui/TSkin.h"
#include "rip/ui/TFRip.h"
#include "settings/TOptions.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <thread>

using namespace kestrune;
using namespace kestrune::test;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr int SectorBytes = 2352;

// Two tracks of noise (the first with an ISRC) and a data track.
TCueImage TwoSongsAndData(int Sectors = 150)
{
    TCueImage image;
    image.Tracks = {{TCueImageTrack::tkNoise, Sectors, 0, "USABC2400001", false, "", ""},
                    {TCueImageTrack::tkNoise, Sectors * 3 / 5, 0, "", false, "", ""},
                    {TCueImageTrack::tkData, 40, 0, "", false, "", ""}};
    return image;
}

// Three songs of noise, of different lengths.
TCueImage ThreeSongs()
{
    TCueImage image;
    image.Tracks = {{TCueImageTrack::tkNoise, 150, 0, "", false, "", ""},
                    {TCueImageTrack::tkNoise, 80, 0, "", false, "", ""},
                    {TCueImageTrack::tkNoise, 110, 0, "", false, "", ""}};
    return image;
}

// Two album entries for any disc, the first answered after Delay.
std::function<std::pair<int, std::string>(const std::string&)> TwoEntries(std::chrono::milliseconds Delay = 0ms)
{
    return [Delay](const std::string& Cmd) -> std::pair<int, std::string> {
        if (Cmd.rfind("cddb query", 0) == 0) {
            std::this_thread::sleep_for(Delay);
            return {200, "210 Found exact matches\r\nrock 0a000301 Artist A / Album One\r\n"
                         "jazz 0a000301 Artist B / Album Two\r\n.\r\n"};
        }
        const bool rock = Cmd.find("rock") != std::string::npos;
        return {200, std::string("210 x 0a000301 follows\r\nDTITLE=") +
                         (rock ? "Artist A / Album One" : "Artist B / Album Two") + "\r\nDGENRE=" +
                         (rock ? "Rock" : "Jazz") + "\r\nTTITLE0=" + (rock ? "First" : "Erste") +
                         "\r\nTTITLE1=" + (rock ? "Second" : "Zweite") + "\r\nTTITLE2=Data\r\n.\r\n"};
    };
}

// Image drives with a tray: after Eject the drive reports no disc, as a
// real drive with its tray open does, until LoadTray.
class TTrayDrive final : public ICdDrive {
public:
    TTrayDrive(std::unique_ptr<ICdDrive> Inner, std::shared_ptr<bool> Open)
        : D(std::move(Inner)), TrayOpen(std::move(Open))
    {
    }
    TDiscPresence Presence() override { return *TrayOpen ? TDiscPresence::dpNone : D->Presence(); }
    TDiscToc Toc() override { return D->Toc(); }
    TCdText CdText() override { return D->CdText(); }
    int MediaType() override { return D->MediaType(); }
    std::unique_ptr<ISectorReader> Read(std::int32_t FirstLsn, std::int32_t Sectors, int ReadOption, int Attempts,
                                        TRetry OnRetry) override
    {
        return D->Read(FirstLsn, Sectors, ReadOption, Attempts, std::move(OnRetry));
    }
    void Eject() override { *TrayOpen = true; }
    void LoadTray() override { *TrayOpen = false; }

private:
    std::unique_ptr<ICdDrive> D;
    std::shared_ptr<bool> TrayOpen;
};

class TTrayDriveProvider final : public ICdDriveProvider {
public:
    explicit TTrayDriveProvider(std::vector<std::string> Images) : D(std::move(Images), false) {}
    std::vector<TDriveEntry> List() override { return D.List(); }
    std::unique_ptr<ICdDrive> Open(const std::string& Name) override
    {
        return std::make_unique<TTrayDrive>(D.Open(Name), TrayOpen);
    }
    std::optional<std::string> MediaStamp(const std::string& Name) override { return D.MediaStamp(Name); }
    std::shared_ptr<bool> TrayOpen = std::make_shared<bool>(false);

private:
    TCdioDriveProvider D;
};

// What the grab run's job said.
struct TJobWatch final : public TJobListenerBase {
    void JobStarted(TJobKind, const std::string&) override { ++Started; }
    void JobProgress(TJobKind, double, const std::string&) override
    {
        ++Progress;
        if (OnProgress)
            OnProgress();
    }
    void JobFinished(TJobKind, TJobOutcome O, const std::string& R) override
    {
        ++Finished;
        Outcome = O;
        Reason = R;
    }
    int Started = 0, Progress = 0, Finished = 0;
    TJobOutcome Outcome = TJobOutcome::joFailed;
    std::string Reason;
    std::function<void()> OnProgress;
};

// A rip window over one image as its only drive, a rip folder of its own, an
// album server on loopback (or none that answers), no verification on line.
struct TRig {
    TTempDir Dir;
    TCueImage Image;
    fs::path Cue;
    TNoDevices Platform;
    std::unique_ptr<TOptions> Options;
    TQtDispatcher Dispatcher;
    TPlainDialogs Dialogs;
    int HelpCalls = 0, AboutCalls = 0;
    std::vector<int> EncoderAsked;
    std::shared_ptr<TTrayDriveProvider> Drives;
    std::unique_ptr<TFRip> Window;
    TJobWatch Watch;

    // Second: an image listed as a second drive.
    explicit TRig(TCueImage DiscImage, const std::string& CddbUrl = "", const TCueImage* Second = nullptr)
        : Image(std::move(DiscImage))
    {
        Cue = Image.Write(Dir.Path(), "disc");
        std::vector<std::string> drives{Cue.string()};
        if (Second)
            drives.push_back(Second->Write(Dir.Path(), "second").string());
        Options = std::make_unique<TOptions>(Dir.File("kestrune.ini"), Platform,
                                             TOptions::TDefaults{Dir.Path().string() + "/"});
        Options->RipPath = Dir.File("Rip") + "/";
        Options->Bitrate = 14; // 192 kbit/s
        TRipSettings settings = RipSettingsFrom(*Options);
        // Nothing listens on the discard port: a refused connection at once.
        settings.Cddb.Servers = {CddbUrl.empty() ? std::string("http://127.0.0.1:9/~cddb/cddb.cgi") : CddbUrl};
        settings.Cddb.Email = "ripper@example.org";
        settings.Cddb.Timeout = 5s;
        settings.Cddb.CacheFolder = Dir.File("cache");
        settings.UseMusicBrainz = false;
        settings.Verify = false;
        Window = std::make_unique<TFRip>(TRipWindowContext{*Options,
                                                           Dialogs,
                                                           Dispatcher,
                                                           Drives = std::make_shared<TTrayDriveProvider>(drives),
                                                           [this] { ++HelpCalls; },
                                                           [this] { ++AboutCalls; },
                                                           {"Blues", "Jazz", "Rock"},
                                                           settings});
        Window->SetEditEncoder([this](QWidget*, int Format, TEncoderSettings& Settings) {
            EncoderAsked.push_back(Format);
            EncoderAsked.push_back(static_cast<int>(Settings.Mp3.BitRate));
            Settings.Mp3.BitRate = TMP3BitRate::br320;
            return true;
        });
        Window->Controller().Events().Subscribe(&Watch);
    }
    ~TRig() { Window->Controller().Events().Unsubscribe(&Watch); }

    template <typename T> T* Find(const char* Name) const
    {
        T* found = Window->findChild<T*>(QString::fromLatin1(Name));
        if (!found)
            qWarning("no control %s", Name);
        return found;
    }
    QTreeWidget* List() const { return Find<QTreeWidget>("TrackListView"); }
    QString Cell(int Row, int Column) const
    {
        QTreeWidgetItem* item = List()->topLevelItem(Row);
        return item ? item->text(Column) : QString("<no row %1>").arg(Row);
    }
    QString Status() const { return Find<QLabel>("LStatus")->text(); }
    // Shown, its drives scanned and the disc's tracks listed.
    bool ShowListed()
    {
        Window->show();
        return QTest::qWaitFor([this] { return List()->topLevelItemCount() == int(Image.Tracks.size()); }, 10000) &&
               QTest::qWaitFor([this] { return Find<QPushButton>("cmdGrab")->isEnabled(); }, 10000);
    }
    std::string LastBox() const { return Dialogs.Shown().empty() ? "" : Dialogs.Shown().back().Text; }
    bool Shown(const std::string& Text) const
    {
        return std::any_of(Dialogs.Shown().begin(), Dialogs.Shown().end(),
                           [&](const TPlainDialogs::TShown& S) { return S.Text == Text; });
    }
    // The audio bytes of a track of the image, as the bin holds them.
    std::vector<std::uint8_t> TrackBytes(std::size_t Track) const
    {
        const std::vector<std::uint8_t> bin = Image.Bin();
        const std::vector<int> starts = Image.Starts();
        const auto from = static_cast<std::size_t>(starts[Track]) * SectorBytes;
        const auto to = Track + 1 < starts.size() ? static_cast<std::size_t>(starts[Track + 1]) * SectorBytes
                                                  : bin.size();
        return {bin.begin() + static_cast<std::ptrdiff_t>(from), bin.begin() + static_cast<std::ptrdiff_t>(to)};
    }
    QAction* Action(const char* Name) const { return Find<QAction>(Name); }
};

// The samples of a WAV file's data chunk.
std::vector<std::uint8_t> WavData(const std::string& File)
{
    const std::vector<std::uint8_t> bytes = ReadWholeFile(File);
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const std::uint32_t size = bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16 |
                                   static_cast<std::uint32_t>(bytes[at + 7]) << 24;
        if (std::equal(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       bytes.begin() + static_cast<std::ptrdiff_t>(at + 4), "data"))
            return {bytes.begin() + static_cast<std::ptrdiff_t>(at + 8),
                    bytes.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(at + 8 + size, bytes.size()))};
        at += 8 + size + (size & 1);
    }
    return {};
}

bool Contains(const std::vector<std::uint8_t>& Bytes, const std::string& Text)
{
    return std::search(Bytes.begin(), Bytes.end(), Text.begin(), Text.end()) != Bytes.end();
}

} // namespace

class RipWindowTest : public QObject {
    Q_OBJECT
private slots:
    // The window as it opens: its controls with their names and texts, the
    // drive scanned, the tracks listed with their types, checks, durations
    // and hidden Tags, the disc identifier.
    void ScansTheDriveAndListsTheTracks()
    {
        TRig rig(TwoSongsAndData());
        QCOMPARE(rig.Window->windowTitle(), QString("Rip CD"));
        QCOMPARE(rig.Status(), QString("No disc"));
        QVERIFY(rig.Find<QProgressBar>("progressBar")->isHidden());
        QVERIFY(rig.ShowListed());

        auto* drives = rig.Find<QComboBox>("DriveCombo");
        QCOMPARE(drives->count(), 1);
        QVERIFY2(drives->itemText(0).startsWith("[" + QString::fromStdString(rig.Cue.string()) + "]  "),
                 qPrintable(drives->itemText(0)));
        QCOMPARE(drives->currentIndex(), 0);

        QTreeWidget* list = rig.List();
        QStringList headers;
        for (int c = 0; c < list->columnCount(); ++c)
            headers << list->headerItem()->text(c);
        QCOMPARE(headers, (QStringList{"Track Name", "Type", "ISRC", "Duration", "Percent", "Tag"}));
        QVERIFY(list->isColumnHidden(5));
        QVERIFY(!list->isSortingEnabled());
        const QStringList names{"Session1_Track1", "Session1_Track2", "Session1_Track3"};
        const QStringList types{"AUDIO", "AUDIO", "DATA (Mode 1)"};
        for (int r = 0; r < 3; ++r) {
            QCOMPARE(rig.Cell(r, 0), names[r]);
            QCOMPARE(rig.Cell(r, 1), types[r]);
            // The ISRC is read only when asked for.
            QCOMPARE(rig.Cell(r, 2), QString());
            QCOMPARE(rig.Cell(r, 4), QString("0%"));
            QCOMPARE(rig.Cell(r, 5), QString::number(r));
            QCOMPARE(list->topLevelItem(r)->checkState(0), r < 2 ? Qt::Checked : Qt::Unchecked);
        }
        QCOMPARE(rig.Cell(0, 3), QString("0:02.000"));
        QCOMPARE(list->currentItem(), list->topLevelItem(0));
        // A double click anywhere on a row edits its name in place, and only
        // its name; the name typed is the one the rip uses.
        list->editItem(list->topLevelItem(1), 1);
        QVERIFY(!list->viewport()->findChild<QLineEdit*>());
        emit list->itemDoubleClicked(list->topLevelItem(1), 1);
        auto* editor = list->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor);
        QCOMPARE(editor->text(), names[1]);
        editor->setText("Typed Name");
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(rig.Cell(1, 0), QString("Typed Name"));
        QCOMPARE(rig.Cell(1, 1), QString("AUDIO"));
        QCOMPARE(rig.Window->Controller().Rows()[1].Caption, std::string("Typed Name"));
        QCOMPARE(rig.Find<QLabel>("LCDDB")->text(),
                 QString("CDDB ID: %1").arg(rig.Window->Controller().Grabber().DiscId(), 0, 16));

        // Album fields empty and editable, the entry chooser at 1 of 1, the
        // format list and sample formats as offered, WAV first.
        QCOMPARE(rig.Find<QLineEdit>("txtAlbum")->text(), QString());
        QVERIFY(rig.Find<QComboBox>("txtGenre")->isEditable());
        QCOMPARE(rig.Find<QComboBox>("txtGenre")->count(), 3);
        QCOMPARE(rig.Find<QSpinBox>("txtAlbumNum")->value(), 1);
        QCOMPARE(rig.Find<QSpinBox>("txtAlbumNum")->maximum(), 1);
        auto* format = rig.Find<QComboBox>("txtFormat");
        QCOMPARE(format->count(), int(TRipController::FormatTexts().size()));
        QCOMPARE(format->currentText(), QString("WAV"));
        auto* freq = rig.Find<QComboBox>("CBFreq");
        QCOMPARE(freq->count(), 12);
        QCOMPARE(freq->currentText(), QString("44,100 Hz; 16 Bit; Stereo;"));
        QCOMPARE(freq->itemText(0), QString("11,025 Hz; 8 Bit; Mono;"));
        QCOMPARE(rig.Find<QCheckBox>("chkFreedbInfo")->text(), QString("Load CD Album Information"));
        QVERIFY(!rig.Find<QCheckBox>("chkFreedbInfo")->isChecked());
        QCOMPARE(rig.Find<QCheckBox>("chkISRCInfo")->text(), QString("Read track ISRC"));
        QCOMPARE(rig.Find<QPushButton>("cmdGrab")->text(), QString("Grab Track"));
        QCOMPARE(rig.Find<QPushButton>("cmdSaveToCDGRABBERINI")->text(), QString("Save Album Info"));
        QCOMPARE(rig.Find<QPushButton>("cmdOptions")->text(), QString("Advanced Settings"));

        // The menus, with the CD menu shown while the control set is on.
        QStringList menus;
        for (QAction* menu : rig.Find<QMenuBar>("MainMenu")->actions())
            if (menu->isVisible())
                menus << menu->text().remove('&');
        QCOMPARE(menus, (QStringList{"File", "Tools", "CD", "Help"}));
        const std::pair<const char*, QStringList> entries[] = {
            {"File1", {"Grab Track", "Save Album Info", "Format Options", "", "Exit"}},
            {"Tools1", {"Wizard", "Convert", "Settings", "Burn"}},
            {"CD1", {"Eject", "Load"}},
            {"Help1", {"Online Help", "About"}}};
        for (const auto& [menu, texts] : entries) {
            QStringList found;
            for (QAction* action : rig.Find<QMenu>(menu)->actions())
                found << action->text();
            QCOMPARE(found, texts);
        }
        rig.Action("OnlineHelp1")->trigger();
        rig.Action("About1")->trigger();
        QCOMPARE(rig.HelpCalls, 1);
        QCOMPARE(rig.AboutCalls, 1);
    }

    // Choosing another drive reads its disc; the list filled by the scan
    // is not a choice of the user's.
    void ChoosingAnotherDriveReadsItsDisc()
    {
        const TCueImage three = ThreeSongs();
        TRig rig(TwoSongsAndData(), "", &three);
        QVERIFY(rig.ShowListed());
        auto* drives = rig.Find<QComboBox>("DriveCombo");
        QCOMPARE(drives->count(), 2);
        QCOMPARE(drives->currentIndex(), 0);
        QCOMPARE(rig.Cell(2, 1), QString("DATA (Mode 1)"));
        drives->setCurrentIndex(1);
        QTRY_COMPARE(rig.Cell(2, 1), QString("AUDIO"));
        QCOMPARE(rig.List()->topLevelItem(2)->checkState(0), Qt::Checked);
        QCOMPARE(rig.Window->Controller().Grabber().CurrentDrive(), 2);
    }

    // With no disc in the drive (after Eject) the tray can be closed again:
    // CD > Load is on, and the disc is read once it is back.
    void LoadAfterEjectReadsTheDiscAgain()
    {
        TRig rig(ThreeSongs());
        QVERIFY(rig.ShowListed());
        QVERIFY(rig.Action("Eject1")->isEnabled());
        rig.Action("Eject1")->trigger();
        QTRY_COMPARE(rig.Status(), QString("No disc"));
        QVERIFY(*rig.Drives->TrayOpen);
        QCOMPARE(rig.List()->topLevelItemCount(), 0);
        QVERIFY(rig.Action("Load1")->isEnabled());
        rig.Action("Load1")->trigger();
        QVERIFY(!*rig.Drives->TrayOpen);
        QTRY_COMPARE(rig.List()->topLevelItemCount(), 3);
    }

    // A click on a check box asks whether to read the disc again; Yes does,
    // with the ISRCs now; No leaves the list as it is.
    void CheckBoxesAskBeforeTheRefresh()
    {
        TRig rig(TwoSongsAndData());
        QVERIFY(rig.ShowListed());
        rig.List()->topLevelItem(0)->setText(0, "Renamed");

        rig.Dialogs.Script(TDialogResult::drNo);
        rig.Find<QCheckBox>("chkISRCInfo")->click();
        QCOMPARE(rig.LastBox(), std::string("Refresh the CD Information?"));
        QCOMPARE(rig.Dialogs.Shown().back().Buttons, TDialogButtons::dbYesNo);
        QCOMPARE(rig.Cell(0, 0), QString("Renamed"));
        QCOMPARE(rig.Cell(0, 2), QString());

        rig.Find<QCheckBox>("chkISRCInfo")->click();
        rig.Dialogs.Script(TDialogResult::drYes);
        rig.Find<QCheckBox>("chkISRCInfo")->click();
        QTRY_COMPARE(rig.Cell(0, 2), QString("USABC2400001"));
        QCOMPARE(rig.Cell(1, 2), QString("N/A"));
        QCOMPARE(rig.Cell(0, 0), QString("Session1_Track1"));
        QTRY_VERIFY(rig.Find<QPushButton>("cmdGrab")->isEnabled());

        // A disc that cannot be read any more: the status says "Error: "
        // as always, its tooltip says why.
        fs::remove(fs::path(rig.Cue).replace_extension(".bin"));
        rig.Dialogs.Script(TDialogResult::drYes);
        rig.Find<QCheckBox>("chkISRCInfo")->click();
        QTRY_COMPARE(rig.Status(), QString("Error: "));
        QVERIFY2(!rig.Find<QLabel>("LStatus")->toolTip().isEmpty(), "no cause given");
    }

    // Album information from the server: the control set stays off and the
    // window will not close while it is asked; then the first entry fills
    // the fields and the names, and the chooser shows the second.
    void AlbumEntriesAndTheCloseRefusedMeanwhile()
    {
        TFakeCddbServer server;
        server.Answer = TwoEntries(1500ms);
        TRig rig(TwoSongsAndData(), server.Url());
        QVERIFY(rig.ShowListed());

        rig.Dialogs.Script(TDialogResult::drYes);
        rig.Find<QCheckBox>("chkFreedbInfo")->click();
        QVERIFY(rig.Window->Controller().QueryRunning());
        QVERIFY(!rig.Find<QPushButton>("cmdGrab")->isEnabled());
        QVERIFY(!rig.Find<QComboBox>("DriveCombo")->isEnabled());
        QVERIFY(!rig.Find<QMenu>("CD1")->menuAction()->isVisible());
        QVERIFY(!rig.Window->close());
        QVERIFY(rig.Window->isVisible());
        // Nor does a shortcut close it, or leave its follow-up for later.
        rig.Find<QAbstractButton>("BtnSettings")->click();
        QVERIFY(rig.Window->isVisible());

        QTRY_VERIFY_WITH_TIMEOUT(!rig.Window->Controller().QueryRunning(), 15000);
        QVERIFY(rig.Window->Controller().AlbumInfoLoaded());
        QCOMPARE(rig.Find<QLineEdit>("txtAlbum")->text(), QString("Album One"));
        QCOMPARE(rig.Find<QLineEdit>("txtArtist")->text(), QString("Artist A"));
        QCOMPARE(rig.Find<QComboBox>("txtGenre")->currentText(), QString("Rock"));
        QCOMPARE(rig.Cell(0, 0), QString("First"));
        QCOMPARE(rig.Cell(1, 0), QString("Second"));
        auto* entry = rig.Find<QSpinBox>("txtAlbumNum");
        QCOMPARE(entry->minimum(), 1);
        QCOMPARE(entry->maximum(), 2);
        QCOMPARE(entry->value(), 1);
        QVERIFY(rig.Find<QPushButton>("cmdGrab")->isEnabled());
        QVERIFY(rig.Find<QMenu>("CD1")->menuAction()->isVisible());

        entry->setValue(2);
        QCOMPARE(rig.Find<QLineEdit>("txtAlbum")->text(), QString("Album Two"));
        QCOMPARE(rig.Find<QLineEdit>("txtArtist")->text(), QString("Artist B"));
        QCOMPARE(rig.Cell(0, 0), QString("Erste"));

        // Fields edited and saved: the next query finds them first, without
        // asking the server.
        rig.Find<QLineEdit>("txtAlbum")->setText("Edited Album");
        rig.Find<QPushButton>("cmdSaveToCDGRABBERINI")->click();
        const std::size_t asked = server.Seen().size();
        rig.List()->topLevelItem(0)->setText(0, "Not Saved");
        rig.Dialogs.Script(TDialogResult::drNo);
        rig.Find<QCheckBox>("chkFreedbInfo")->click();
        rig.Dialogs.Script(TDialogResult::drYes);
        rig.Find<QCheckBox>("chkFreedbInfo")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.Window->Controller().QueryRunning(), 15000);
        QCOMPARE(rig.Cell(0, 0), QString("Erste"));
        QCOMPARE(rig.Find<QLineEdit>("txtAlbum")->text(), QString("Edited Album"));
        QCOMPARE(rig.Find<QLineEdit>("txtArtist")->text(), QString("Artist B"));
        QCOMPARE(server.Seen().size(), asked);

        // Now it closes, and the shortcut refused before is not remembered.
        QTimer::singleShot(0, rig.Window.get(), [&] { QVERIFY(rig.Window->close()); });
        QCOMPARE(rig.Window->Run(), TRipFollowUp::rfNone);
        QVERIFY(!rig.Window->isVisible());
    }

    // The first and last of three tracks to WAV (the middle one unchecked by
    // the user): the files hold the disc's audio exactly, under the album's
    // folder, named after the (cleaned) row names and tagged with them as
    // shown; the gauge shows while it runs, and the run ends with "Grab
    // finished" and the controls back.
    void RipsTwoTracksToWav()
    {
        TRig rig(ThreeSongs());
        QVERIFY(rig.ShowListed());
        rig.List()->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        rig.Find<QLineEdit>("txtAlbum")->setText("Night Album");
        rig.Find<QLineEdit>("txtArtist")->setText("Some Artist");
        rig.Find<QComboBox>("txtGenre")->setEditText("Jazz");
        rig.List()->topLevelItem(0)->setText(0, "Intro/Outro?");

        bool gaugeShown = false, stopOffered = false, controlsOff = false;
        rig.Watch.OnProgress = [&] {
            gaugeShown = gaugeShown || rig.Find<QProgressBar>("progressBar")->isVisible();
            stopOffered = stopOffered || rig.Find<QPushButton>("cmdGrab")->text() == "Stop grabing";
            controlsOff = controlsOff || !rig.Find<QComboBox>("DriveCombo")->isEnabled();
        };
        rig.Find<QPushButton>("cmdGrab")->click();
        QTRY_COMPARE_WITH_TIMEOUT(rig.Watch.Finished, 1, 30000);
        QCOMPARE(rig.Watch.Outcome, TJobOutcome::joSucceeded);
        QVERIFY(gaugeShown);
        QVERIFY(stopOffered);
        QVERIFY(controlsOff);
        // The closing message says where the files went and what the
        // verification found (here: it was off).
        const fs::path album = fs::path(rig.Options->RipPath) / "Night Album";
        QTRY_VERIFY(rig.LastBox().rfind("Grab finished", 0) == 0);
        QCOMPARE(QString::fromStdString(rig.LastBox()),
                 QString::fromStdString("Grab finished\n\n2 tracks in " + album.string() +
                                        "\nNot verified (verification is off or the rip was stopped)."));
        QVERIFY(rig.Find<QProgressBar>("progressBar")->isHidden());
        QCOMPARE(rig.Find<QPushButton>("cmdGrab")->text(), QString("Grab Track"));
        QVERIFY(rig.Find<QPushButton>("cmdGrab")->isEnabled());
        QVERIFY(rig.Find<QComboBox>("DriveCombo")->isEnabled());

        const std::string first = (album / "Intro-Outro-.wav").string();
        const std::string second = (album / "Session1_Track3.wav").string();
        QVERIFY2(fs::exists(first), first.c_str());
        QVERIFY2(fs::exists(second), second.c_str());
        QVERIFY(WavData(first) == rig.TrackBytes(0));
        QVERIFY(WavData(second) == rig.TrackBytes(2));
        // The title as the row shows it, the album fields as typed.
        const std::vector<std::uint8_t> tagged = ReadWholeFile(first);
        for (const char* text : {"Intro/Outro?", "Some Artist", "Night Album", "Jazz"})
            QVERIFY2(Contains(tagged, text), text);
        // Nothing of the unchecked track.
        std::size_t files = 0;
        for (const auto& entry : fs::directory_iterator(album))
            files += entry.path().extension() == ".wav";
        QCOMPARE(files, std::size_t{2});
        QCOMPARE(rig.Cell(0, 4), QString("100.00%"));
        QCOMPARE(rig.Cell(1, 4), QString("0%"));
        QCOMPARE(rig.Cell(2, 4), QString("100.00%"));
    }

    // Stop while the first of two long tracks is read: "Canceling...", the
    // run ends as cancelled with "Grab finished", and no half file stays.
    void StopLeavesNoHalfFile()
    {
        TRig rig(TwoSongsAndData(75 * 90));
        QVERIFY(rig.ShowListed());
        auto* grab = rig.Find<QPushButton>("cmdGrab");
        bool stopped = false;
        QString canceling;
        rig.Watch.OnProgress = [&] {
            if (stopped || grab->text() != "Stop grabing")
                return;
            stopped = true;
            QTimer::singleShot(0, grab, [&] {
                grab->click();
                canceling = rig.Status();
            });
        };
        grab->click();
        QTRY_COMPARE_WITH_TIMEOUT(rig.Watch.Finished, 1, 60000);
        QVERIFY(stopped);
        QCOMPARE(canceling, QString("Canceling..."));
        QCOMPARE(rig.Watch.Outcome, TJobOutcome::joCancelled);
        QTRY_VERIFY(rig.LastBox().rfind("Grab finished", 0) == 0);
        QCOMPARE(grab->text(), QString("Grab Track"));
        QVERIFY(grab->isEnabled());
        std::size_t files = 0;
        if (fs::exists(rig.Options->RipPath))
            for (const auto& entry : fs::recursive_directory_iterator(rig.Options->RipPath))
                files += entry.path().extension() == ".wav";
        QCOMPARE(files, std::size_t{0});
    }

    // Closing the window while it rips stops the run; the track under way
    // leaves no file behind.
    void ClosingDuringARipStopsIt()
    {
        TRig rig(TwoSongsAndData(75 * 90));
        QVERIFY(rig.ShowListed());
        bool closed = false;
        rig.Watch.OnProgress = [&] {
            if (!closed)
                QTimer::singleShot(0, rig.Window.get(), [&] { closed = rig.Window->close(); });
        };
        rig.Find<QPushButton>("cmdGrab")->click();
        QTRY_COMPARE_WITH_TIMEOUT(rig.Watch.Finished, 1, 60000);
        QVERIFY(closed);
        QVERIFY(!rig.Window->isVisible());
        QCOMPARE(rig.Watch.Outcome, TJobOutcome::joCancelled);
        // A track read whole before the close took effect keeps its file, and
        // the log may tell of the stopped run; nothing else may be left, above
        // all no part of the track that was under way.
        const std::uintmax_t wholeFirst = std::uintmax_t{75 * 90} * 2352 + 44;
        if (fs::exists(rig.Options->RipPath))
            for (const auto& entry : fs::recursive_directory_iterator(rig.Options->RipPath)) {
                if (!entry.is_regular_file() || entry.path().filename() == "rip.log")
                    continue;
                QVERIFY2(entry.path().extension() == ".wav" && entry.file_size() >= wholeFirst,
                         entry.path().c_str());
            }
    }

    // The format options: off for WAV, on for the formats that have them;
    // the MP3 dialog opens on the options' bit rate and its choice stays.
    void FormatOptionsFollowTheFormat()
    {
        {
            // With the skin and the window at its least size (as on a
            // screen too small for it), the button keeps its whole caption.
            TSkin::Apply(*qobject_cast<QApplication*>(QCoreApplication::instance()));
            TRig skinned(ThreeSongs());
            QVERIFY(skinned.ShowListed());
            skinned.Window->resize(skinned.Window->minimumSizeHint());
            QCoreApplication::processEvents();
            auto* options = skinned.Find<QPushButton>("cmdOptions");
            QVERIFY2(options->width() >= options->fontMetrics().horizontalAdvance(options->text()),
                     qPrintable(QString::number(options->width())));
            qApp->setStyleSheet(QString());
        }
        TRig rig(TwoSongsAndData());
        QVERIFY(rig.ShowListed());
        auto* options = rig.Find<QPushButton>("cmdOptions");
        QVERIFY(!options->isEnabled());
        QVERIFY(!rig.Action("FormatOptions1")->isEnabled());
        auto* format = rig.Find<QComboBox>("txtFormat");
        format->setCurrentIndex(TRipController::rfMp3);
        QVERIFY(options->isEnabled());
        QVERIFY(rig.Action("FormatOptions1")->isEnabled());
        options->click();
        QCOMPARE(rig.EncoderAsked, (std::vector<int>{TConvertController::fiMp3, static_cast<int>(TMP3BitRate::br192)}));
        QCOMPARE(rig.Window->Controller().EncoderSettings().Mp3.BitRate, TMP3BitRate::br320);
        format->setCurrentIndex(TRipController::rfFlac);
        rig.Action("FormatOptions1")->trigger();
        QCOMPARE(rig.EncoderAsked.at(2), TConvertController::fiFlac);
        // The sample format leaves the options as the format has them.
        rig.Find<QComboBox>("CBFreq")->setCurrentIndex(0);
        QVERIFY(options->isEnabled());
        format->setCurrentIndex(TRipController::rfWav);
        QVERIFY(!options->isEnabled());
        QVERIFY(!rig.Action("FormatOptions1")->isEnabled());
    }

    // The shortcut buttons and Tools entries close the window and say which
    // window the main window opens next; Exit and the close box say none.
    void FollowUps_data()
    {
        QTest::addColumn<QString>("Control");
        QTest::addColumn<int>("Next");
        QTest::newRow("BWiz") << "BWiz" << int(TRipFollowUp::rfWizard);
        QTest::newRow("BtnSettings") << "BtnSettings" << int(TRipFollowUp::rfSettings);
        QTest::newRow("BtnConvert") << "BtnConvert" << int(TRipFollowUp::rfConvert);
        QTest::newRow("Wizard") << "Wizard1" << int(TRipFollowUp::rfWizard);
        QTest::newRow("Convert") << "Convert1" << int(TRipFollowUp::rfConvert);
        QTest::newRow("Settings") << "Settings1" << int(TRipFollowUp::rfSettings);
        QTest::newRow("Burn") << "Burn1" << int(TRipFollowUp::rfBurn);
        QTest::newRow("Exit") << "Exit1" << int(TRipFollowUp::rfNone);
        QTest::newRow("close box") << "" << int(TRipFollowUp::rfNone);
    }
    void FollowUps()
    {
        QFETCH(QString, Control);
        QFETCH(int, Next);
        TRig rig(TwoSongsAndData());
        // A window that never closes must not hang the test.
        QTimer::singleShot(20000, rig.Window.get(), [&] { rig.Window->done(0); });
        QTimer::singleShot(0, rig.Window.get(), [&] {
            QVERIFY(QTest::qWaitFor([&] { return rig.Find<QPushButton>("cmdGrab")->isEnabled(); }, 10000));
            if (Control.isEmpty())
                rig.Window->close();
            else if (auto* button = rig.Window->findChild<QAbstractButton*>(Control))
                button->click();
            else
                rig.Window->findChild<QAction*>(Control)->trigger();
        });
        QCOMPARE(int(rig.Window->Run()), Next);
        QVERIFY(!rig.Window->isVisible());
    }
};

QTEST_MAIN(RipWindowTest)
#include "RipWindowTest.moc"
