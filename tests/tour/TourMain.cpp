// kestrune_tour [--dark] [--config FILE] OUTDIR [NAME...]: opens the program's windows one by one, as
// the program builds them, and saves a picture of each as OUTDIR/NAME.png, for
// the screenshots and for looking at a window at another scale or palette
// (QT_SCALE_FACTOR, a dark desktop) without clicking through the program.
#include "cd/TCdioDriveProvider.h"
#include "cd/TCueImage.h"
#include "burn/TCdWriter.h"
#include "burn/TImageDrive.h"
#include "burn/ui/TFBurn.h"
#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "common/ui/TQtDialogs.h"
#include "common/ui/TSkin.h"
#include "convert/ui/TFConvert.h"
#include "formats/TGenreList.h"
#include "mocks/TNoDevices.h"
#include "recording/ITrackChooserView.h"
#include "recording/TMainController.h"
#include "recording/ui/TFAbout.h"
#include "recording/ui/TFFirst.h"
#include "recording/ui/TFMain.h"
#include "recording/ui/TFWizard0.h"
#include "recording/ui/TFWizard1.h"
#include "recording/ui/TFWizard2.h"
#include "rip/ui/TFRip.h"
#include "settings/TOptions.h"
#include "convert/TConvertController.h"
#include "settings/ui/TEncoderDialogs.h"
#include "mocks/TFakeOptionsPlatform.h"
#include "mocks/TSettingsWindowDoubles.h"
#include "settings/ui/TFSettings.h"
#include "settings/ui/TFWait.h"

#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWidget>

#include "common/ui/TQtDispatcher.h"
#include "recording/TTrackChooser.h"
#include "recording/ui/TFTrackInfo.h"
#include "recording/ui/TFTrackList.h"
#include "recording/ui/TLevelPanel.h"

#include <QAbstractButton>

#ifdef KESTRUNE_TOUR_APP
#include "app/TDesktopProgram.h"
#include "settings/TSystemOptionsPlatform.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#endif

#include <QTimer>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <fstream>
#include <functional>
#include <random>
#include <memory>
#include <vector>

using namespace kestrune;

namespace {

struct TStop {
    const char* Name;
    // A window to show and grab...
    std::function<std::unique_ptr<QWidget>()> Make;
    // ...or the call that opens a modal window (and returns when it closes),
    // which is grabbed and closed while it is up.
    std::function<void()> OpenModal;
};

// Every kind of control the sheet styles, in one window, with the skin's
// icons: the look in one picture before the windows that use it exist.
std::unique_ptr<QWidget> Sampler()
{
    auto window = std::make_unique<QMainWindow>();
    window->setWindowTitle(QStringLiteral("Kestrune"));
    auto* file = window->menuBar()->addMenu(QStringLiteral("File"));
    file->addAction(QStringLiteral("Play"));
    window->menuBar()->addMenu(QStringLiteral("Recording"));
    window->menuBar()->addMenu(QStringLiteral("Tools"));
    window->menuBar()->addMenu(QStringLiteral("Help"));
    auto* bar = window->addToolBar(QStringLiteral("Commands"));
    bar->setMovable(false);
    for (const char* name :
         {"start", "stop", "wizard", "settings", "burn", "convert", "remove", "play", "moveup", "movedown", "rip"})
        bar->addAction(TSkin::Icon(name), QString::fromLatin1(name));
    bar->actions().at(1)->setEnabled(false);

    auto* centre = new QWidget;
    auto* layout = new QVBoxLayout(centre);
    auto* album = new QHBoxLayout;
    album->addWidget(new QLabel(QStringLiteral("Album")));
    album->addWidget(new QLineEdit(QStringLiteral("Kestrune 2026-12-10 (1)")), 1);
    auto* genre = new QComboBox;
    genre->addItems({QStringLiteral("Rock"), QStringLiteral("Jazz")});
    album->addWidget(genre);
    layout->addLayout(album);

    auto* list = new QTreeWidget;
    list->setRootIsDecorated(false);
    list->setHeaderLabels({QStringLiteral("Title"), QStringLiteral("Artist"), QStringLiteral("Album"),
                           QStringLiteral("Genre"), QStringLiteral("Time")});
    const char* icons[] = {"row-onematch", "row-severalmatches", "row-recorded"};
    const char* artists[] = {"Some Artist", "Another Artist", "Recording..."};
    for (int i = 0; i < 3; ++i) {
        auto* item = new QTreeWidgetItem(list, {QStringLiteral("Track%1.MP3").arg(i), QString::fromLatin1(artists[i]),
                                                QStringLiteral("Kestrune 2026-12-10 (1)"), QStringLiteral("Rock"),
                                                QStringLiteral("03:2%1").arg(i)});
        item->setIcon(0, TSkin::Icon(icons[i]));
    }
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list->setCurrentItem(list->topLevelItem(1));
    layout->addWidget(list, 1);

    auto* group = new QGroupBox(QStringLiteral("Output Settings"));
    auto* groupLayout = new QHBoxLayout(group);
    groupLayout->addWidget(new QCheckBox(QStringLiteral("Automatic song recognition")));
    auto* progress = new QProgressBar;
    progress->setValue(42);
    groupLayout->addWidget(progress, 1);
    layout->addWidget(group);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* ok = new QPushButton(QStringLiteral("Save Settings"));
    ok->setDefault(true);
    buttons->addWidget(ok);
    buttons->addWidget(new QPushButton(QStringLiteral("Cancel")));
    auto* off = new QPushButton(QStringLiteral("Disabled"));
    off->setEnabled(false);
    buttons->addWidget(off);
    layout->addLayout(buttons);
    window->setCentralWidget(centre);

    window->statusBar()->addWidget(new QLabel(QStringLiteral("Recording...")), 1);
    window->statusBar()->addPermanentWidget(new QLabel(QStringLiteral("Total Time/Size : 10:21/9.5 MB")));
    return window;
}

// The main window over a controller of its own, with rows in each of the
// states a recording and recognition leave them in.
class TTourMain {
public:
    TTourMain()
    {
        const std::string folder = Dir.path().toStdString() + "/";
        auto options = std::make_unique<TOptions>(folder + "kestrune.ini", Platform, TOptions::TDefaults{folder});
        options->DriverNames = {"virtual:demo"};
        options->DriverIndex = 0;
        Genres.LoadDefault();
        Window = std::make_unique<TFMain>(Dialogs, Desktop);
        Main = std::make_unique<TMainController>(std::move(options),
                                                 TMainController::TViews{*Window, *Window, Dialogs, Dispatcher}, Genres,
                                                 TGenreList::DefaultFile());
        QWidget* panel = new TLevelPanel(Main->Recorder());
        Window->Attach(*Main, panel, Info, Chooser, "");
        Window->ShowMain({std::chrono::year{2026}, std::chrono::December, std::chrono::day{10}});
        const char* titles[] = {"Sunday Morning", "Track02", "Night Drive"};
        const char* artists[] = {"Some Artist", "Unknown", "Another Artist"};
        const TRowState states[] = {TRowState::rsOneMatch, TRowState::rsRecorded, TRowState::rsSeveralMatches};
        for (int i = 0; i < 3; ++i) {
            TRecordingRow row;
            row.Caption = titles[i];
            row.Artist = artists[i];
            row.Album = Main->Recorder().GetAlbumName();
            row.Genre = "Rock";
            row.Time = "03:2" + std::to_string(i);
            row.State = states[i];
            row.Data = std::make_shared<TTrackData>();
            Main->List().Append(row);
        }
        Main->List().AddToTotals(621, 9708.438);
        Window->SelectRow(1);
    }
    ~TTourMain()
    {
        Window->Detach();
        Main.reset();
    }
    // Mid-recording: the built-in demo signal (songs with quiet between
    // them) recorded in real time through the Start button, long enough for
    // the meter to move and the strip to show a song ending in quiet.
    QWidget& Shown()
    {
        Window->findChild<QAbstractButton*>(QStringLiteral("BtnStartRecord"))->click();
        QTest::qWait(9000);
        return *Window;
    }

private:
    struct TNoInfo final : ITrackInfoDialog {
        bool Edit(TFields&) override { return false; }
    };
    struct TNoChooser final : ITrackChooserView {
        void SetRows(const std::vector<TTrackInfo>&) override {}
        void ShowModal(TTrackChooser&) override {}
        void Close() override {}
    };
    struct TNoDesktop final : IDesktop {
        bool Open(const std::string&) override { return false; }
    };
    QTemporaryDir Dir;
    test::TNoDevices Platform;
    TQtDispatcher Dispatcher;
    TPlainDialogs Dialogs;
    TNoDesktop Desktop;
    TNoInfo Info;
    TNoChooser Chooser;
    TGenreList Genres;
    std::unique_ptr<TFMain> Window;
    std::unique_ptr<TMainController> Main;
};

// The settings window over a sound card with a mixer, two CD writers and a
// settings file of its own, on the page of tree entry Entry (-1: the CD Rip
// page it opens on).
void ShowSettingsPage(int Entry)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    const std::string music = QDir::homePath().toStdString() + "/Music/Kestrune/";
    std::ofstream(folder + "kestrune.ini")
        << "[General]\nFolder=" << music << "\n[Recording]\nDriver=alsa:hw:0,0\n"
        << "[Recordings]\nInputLine=Stereo Mix\nFormatString=44100   Hz, Stereo, 16-bit\nFormat=MP3\nBitrate=11\n"
        << "[CDWriter]\nSpeed=16\nMethod=1\n[Proxy]\nUse=1\nServer=proxy.example.com\nPort=8080\n"
        << "[Rip]\nPath=" << music << "Rip/\nReadAtt=3\n";
    test::TFakePlatform platform;
    platform.Devices = {{"alsa:hw:0,0", "HDA Intel PCH", false}, {"pulse:default", "PulseAudio", false}};
    for (const TOptions::TQuality& quality : TOptions::Qualities())
        platform.Formats.push_back({quality.SampleRate, quality.BitsPerSample, quality.Channels});
    platform.Lines = {"Microphone", "Line In", "Stereo Mix"};
    platform.Script = [](TFakeMixer& Mixer) { Mixer.ItemSelected = {false, false, true}; };
    TOptions options(folder + "kestrune.ini", platform, TOptions::TDefaults{folder});
    TQtDialogs dialogs;
    TQtDispatcher dispatcher;
    test::TFakeSettingsHost host;
    test::TFakeBurnDrives drives;
    test::TFakeFreeDBServers servers;
    TFSettings window({options, dialogs, host, drives, &servers, dispatcher, {}, {}});
    if (Entry >= 0)
        QTimer::singleShot(0, &window, [&window, Entry] {
            auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("TV"));
            tree->setCurrentItem(tree->topLevelItem(Entry));
        });
    window.Run();
}

// The noise capture a dozen seconds into its twenty, on a virtual card that
// plays the faint hiss of a quiet line input.
class TTourNoiseCapture {
public:
    TTourNoiseCapture()
    {
        const QString file = Dir.filePath(QStringLiteral("hiss.wav"));
        WriteHiss(file.toStdString(), 40);
        Options = std::make_unique<TOptions>(Dir.filePath(QStringLiteral("kestrune.ini")).toStdString(), Platform,
                                             TOptions::TDefaults{Dir.path().toStdString() + "/"});
        Options->DriverNames = {"virtual:" + file.toStdString()};
        Options->DriverIndex = 0;
        Window = std::make_unique<TFWait>(*Options, Dispatcher, Dialogs);
    }
    QWidget& Shown()
    {
        Window->show();
        Window->Start();
        QTest::qWait(12500);
        return *Window;
    }

private:
    static void WriteHiss(const std::string& File, int Seconds)
    {
        const int rate = 22050;
        const std::uint32_t bytes = static_cast<std::uint32_t>(rate) * 2 * 2 * static_cast<std::uint32_t>(Seconds);
        std::ofstream out(File, std::ios::binary);
        const auto put32 = [&](std::uint32_t V) {
            for (int i = 0; i < 4; ++i)
                out.put(static_cast<char>((V >> (8 * i)) & 0xff));
        };
        const auto put16 = [&](std::uint16_t V) {
            out.put(static_cast<char>(V & 0xff));
            out.put(static_cast<char>(V >> 8));
        };
        out << "RIFF";
        put32(36 + bytes);
        out << "WAVEfmt ";
        put32(16);
        put16(1);
        put16(2);
        put32(static_cast<std::uint32_t>(rate));
        put32(static_cast<std::uint32_t>(rate) * 4);
        put16(4);
        put16(16);
        out << "data";
        put32(bytes);
        std::mt19937 noise(7);
        std::normal_distribution<double> hiss(0, 40);
        for (std::uint32_t i = 0; i < bytes / 2; ++i)
            put16(static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(hiss(noise)))));
    }

    QTemporaryDir Dir;
    test::TNoDevices Platform;
    TQtDispatcher Dispatcher;
    TPlainDialogs Dialogs;
    std::unique_ptr<TOptions> Options;
    std::unique_ptr<TFWait> Window;
};

QPalette DarkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    dark.setColor(QPalette::WindowText, QColor(0xe6, 0xe6, 0xe6));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x26));
    dark.setColor(QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
    dark.setColor(QPalette::Button, QColor(0x38, 0x38, 0x38));
    dark.setColor(QPalette::ButtonText, QColor(0xe6, 0xe6, 0xe6));
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0x7e, 0xc2));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Link, QColor(0x6c, 0xb4, 0xff));
    dark.setColor(QPalette::ToolTipBase, QColor(0x38, 0x38, 0x38));
    dark.setColor(QPalette::ToolTipText, QColor(0xe6, 0xe6, 0xe6));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    return dark;
}

// A WAV file of a chord, Seconds long, written here so the tour needs no tool.
bool WriteChord(const QString& Name, std::uint32_t Seconds)
{
    if (QFileInfo::exists(Name))
        return true;
    const std::uint32_t rate = 44100, frames = rate * Seconds, bytes = frames * 4;
    QFile file(Name);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream wav(&file);
    wav.setByteOrder(QDataStream::LittleEndian);
    wav.writeRawData("RIFF", 4);
    wav << std::uint32_t{36 + bytes};
    wav.writeRawData("WAVEfmt ", 8);
    wav << std::uint32_t{16} << std::uint16_t{1} << std::uint16_t{2} << rate << rate * 4 << std::uint16_t{4}
        << std::uint16_t{16};
    wav.writeRawData("data", 4);
    wav << bytes;
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const auto sample = static_cast<std::int16_t>(
            6000 * (std::sin(2 * std::numbers::pi * 220 * t) + std::sin(2 * std::numbers::pi * 330 * t)));
        wav << sample << sample;
    }
    return wav.status() == QDataStream::Ok;
}

// The burn window over the image drive (a blank 80-minute CD-R), with a
// recording session's songs queued from the open dialog's folder.
class TTourBurn {
public:
    TTourBurn()
    {
        const QString album = Files.filePath(QStringLiteral("Kestrune 2026-12-10 (1)"));
        QDir().mkpath(album);
        const std::pair<const char*, std::uint32_t> songs[] = {
            {"Sunday Morning.wav", 214}, {"Night Drive.wav", 187}, {"Harbour Lights.wav", 251},
            {"Slow Rain.wav", 163},      {"Paper Boats.wav", 199}};
        for (const auto& [name, seconds] : songs) {
            const QString file = album + "/" + name;
            if (WriteChord(file, seconds))
                Queue.push_back(file.toStdString());
        }
        const std::string folder = Files.path().toStdString() + "/";
        Options = std::make_unique<TOptions>(folder + "kestrune.ini", Platform, TOptions::TDefaults{folder});
        const std::filesystem::path cue = folder + "Images/Kestrune 2026-12-10 (1).cue";
        std::filesystem::create_directories(cue.parent_path());
        std::vector<TBurnDriveScan> scans{[cue] {
            std::vector<std::unique_ptr<IBurnDrive>> drives;
            drives.push_back(std::make_unique<TImageDrive>(cue, 80));
            return drives;
        }};
        Window = std::make_unique<TFBurn>(TBurnWindowContext{
            *Options, Dialogs, Dispatcher, std::make_shared<TCdWriter>(Dispatcher, scans), [] {}, [] {}, false});
        Window->Controller().StartScan();
        for (int waited = 0; waited < 10000 && !Window->Controller().WriterAvailable(); waited += 10)
            QTest::qWait(10);
        Window->Controller().AddFiles(Queue);
    }
    QWidget& Shown() { return *Window; }
    // Part way through writing the queue to the image: taken at once, since
    // the image is written faster than any disc.
    bool GrabRunning(const QString& File)
    {
        Window->show();
        if (!QTest::qWaitForWindowExposed(Window.get()))
            return false;
        QTest::qWait(150);
        Window->findChild<QPushButton*>(QStringLiteral("BBurn"))->click();
        auto* gauge = Window->findChild<QProgressBar*>(QStringLiteral("PB"));
        auto* status = Window->findChild<QLabel*>(QStringLiteral("status"));
        for (int waited = 0; waited < 20000 && !(gauge->value() >= 30 && status->text().startsWith("Writing:"));
             waited += 2)
            QTest::qWait(2);
        return Window->grab().save(File);
    }

private:
    QTemporaryDir Files;
    test::TNoDevices Platform;
    TPlainDialogs Dialogs;
    TQtDispatcher Dispatcher;
    std::unique_ptr<TOptions> Options;
    std::vector<std::string> Queue;
    std::unique_ptr<TFBurn> Window;
};

// The conversion window with a file chosen; Running: in the middle of a
// conversion, the gauge part way, and with the queue (when this build has
// it) showing files done, failed, converting and waiting.
std::unique_ptr<QWidget> TourConvert(bool Running)
{
    static TPlainDialogs dialogs;
    static QTemporaryDir files;
    // Goes with the window, after it.
    auto* dispatcher = new TQtDispatcher;
    const std::string music = QDir::homePath().toStdString() + "/Music/Kestrune/";
    auto window = std::make_unique<TFConvert>(dialogs, *dispatcher, "virtual:null", music, [] {}, [] {});
    dispatcher->setParent(window.get());
    window->SetOpenOnShow(false);
    auto* in = window->findChild<QLineEdit*>(QStringLiteral("InFileName"));
    auto* format = window->findChild<QComboBox*>(QStringLiteral("OutFormat"));
    if (!Running) {
        in->setText(QString::fromStdString(music + "Kestrune 2026-12-10 (1)/Sunday Morning.flac"));
        format->setCurrentIndex(TConvertController::fiMp3);
        return window;
    }
    const QString album = files.filePath(QStringLiteral("Kestrune 2026-12-10 (1)"));
    QDir().mkpath(album);
    const QString source = album + QStringLiteral("/Sunday Morning.wav");
    if (!WriteChord(source, 120))
        return window;
    QStringList queue;
    // Two short files that are done by the time of the picture, one that is
    // not audio, two long ones under way and two waiting.
    for (const char* name : {"Intro.wav", "Interlude.wav"})
        WriteChord(album + "/" + name, 3);
    QFile broken(album + QStringLiteral("/Broken Take.wav"));
    if (broken.open(QIODevice::WriteOnly))
        broken.write("not audio");
    broken.close();
    for (const char* name : {"Monday Blues.wav", "Tuesday.wav", "Wednesday.wav"})
        if (!QFileInfo::exists(album + "/" + name))
            QFile::copy(source, album + "/" + name);
    for (const char* name : {"Intro.wav", "Broken Take.wav", "Interlude.wav", "Sunday Morning.wav",
                             "Monday Blues.wav", "Tuesday.wav", "Wednesday.wav"})
        queue << album + "/" + name;
    window->AddFiles(queue);
    format->setCurrentIndex(TConvertController::fiMp3);
    window->findChild<QPushButton*>(QStringLiteral("BtnConvert"))->click();
    auto* gauge = window->findChild<QProgressBar*>(QStringLiteral("Gauge"));
    const int target = queue.isEmpty() ? gauge->maximum() * 2 / 5 : gauge->maximum() / 5;
    for (int waited = 0; waited < 20000 && gauge->value() < target; waited += 10)
        QTest::qWait(10);
    return window;
}

// The rip window over a disc image of a short album with a data track
// last, its ISRCs read, the album typed in and the tracks named as a user
// would; Running: part way through ripping the checked tracks to WAV files.
std::unique_ptr<QWidget> TourRip(bool Running)
{
    static TPlainDialogs dialogs;
    static test::TNoDevices platform;
    static QTemporaryDir files;
    static std::unique_ptr<TOptions> options;
    const std::string folder = files.path().toStdString() + "/";
    const QStringList titles{"Sunday Morning", "Night Drive",  "Harbour Lights", "Slow Rain",
                             "Paper Boats",    "Long Way Home", "Last Train"};
    test::TCueImage image;
    for (int i = 0; i < titles.size(); ++i)
        image.Tracks.push_back({test::TCueImageTrack::tkNoise, 75 * (Running ? 40 + 7 * i : 2 + i), 0,
                                i % 3 == 2 ? std::string() : "GBKES260000" + std::to_string(i + 1), false, "", ""});
    image.Tracks.push_back({test::TCueImageTrack::tkData, 300, 0, "", false, "", ""});
    const std::string cue = image.Write(files.path().toStdString(), Running ? "running" : "idle").string();
    options = std::make_unique<TOptions>(folder + "kestrune.ini", platform, TOptions::TDefaults{folder});
    options->RipPath = folder + "Rip/";
    TRipSettings settings = RipSettingsFrom(*options);
    // No album servers and no verification on line: the tour stays on this machine.
    settings.Verify = false;
    settings.UseMusicBrainz = false;
    // Goes with the window, after it.
    auto* dispatcher = new TQtDispatcher;
    TGenreList genres;
    genres.LoadDefault();
    auto window = std::make_unique<TFRip>(TRipWindowContext{
        *options, dialogs, *dispatcher,
        std::make_shared<TCdioDriveProvider>(std::vector<std::string>{cue}, false), [] {}, [] {}, genres.Names(),
        settings});
    dispatcher->setParent(window.get());
    window->findChild<QCheckBox*>(QStringLiteral("chkISRCInfo"))->setChecked(true);
    window->Controller().SetReadIsrc(true);
    window->show();
    auto* list = window->findChild<QTreeWidget*>(QStringLiteral("TrackListView"));
    auto* grab = window->findChild<QPushButton*>(QStringLiteral("cmdGrab"));
    for (int waited = 0; waited < 10000 && !(list->topLevelItemCount() > 0 && grab->isEnabled()); waited += 10)
        QTest::qWait(10);
    window->findChild<QLineEdit*>(QStringLiteral("txtAlbum"))->setText(QStringLiteral("Harbour Lights"));
    window->findChild<QLineEdit*>(QStringLiteral("txtArtist"))->setText(QStringLiteral("Some Artist"));
    window->findChild<QComboBox*>(QStringLiteral("txtGenre"))->setEditText(QStringLiteral("Jazz"));
    for (int i = 0; i < titles.size() && i < list->topLevelItemCount(); ++i)
        list->topLevelItem(i)->setText(0, titles[i]);
    if (!Running)
        return window;
    list->topLevelItem(3)->setCheckState(0, Qt::Unchecked);
    grab->click();
    auto* gauge = window->findChild<QProgressBar*>(QStringLiteral("progressBar"));
    for (int waited = 0; waited < 20000 && gauge->value() < 40; waited += 5)
        QTest::qWait(5);
    return window;
}

std::vector<TStop> Stops()
{
    std::vector<TStop> stops = {
        {"welcome", [] { return std::make_unique<TFFirst>(); }, {}},
        {"about", [] { return std::make_unique<TFAbout>(); }, {}},
        {"skin", [] { return Sampler(); }, {}},
        {"main", [] { return std::unique_ptr<QWidget>(); }, {}},
        {"wizard0", [] { return std::make_unique<TFWizard0>(); }, {}},
        {"wizard1",
         [] {
             auto page = std::make_unique<TFWizard1>();
             IMainWindows::TWizardAlbum album;
             album.AlbumName = "Kestrune 2026-12-10 (1)";
             album.Genres = {"Blues", "Classic Rock", "Country", "Rock"};
             album.GenreIndex = 3;
             album.Folder = QDir::homePath().toStdString() + "/Music/Kestrune/";
             page->SetAlbum(album);
             return page;
         },
         {}},
        {"wizard2", [] { return std::make_unique<TFWizard2>(); }, {}},
        {"message",
         {},
         [] {
             TQtDialogs dialogs;
             dialogs.Show(TDialogKind::dkConfirmation,
                          "In order to capture correctly the noise level of your driver, \r\nplease close all the "
                          "applications that can generate sounds!",
                          TDialogButtons::dbOKCancel);
         }},
    };
    stops.push_back(
        {"trackinfo", {}, [] {
             TFTrackInfo window;
             window.SetGenres({"Blues", "Classical", "Jazz", "Rock"});
             ITrackInfoDialog::TFields fields{"Sunday Morning", "Some Artist", "Kestrune 2026-12-10 (1)", "Jazz"};
             window.Edit(fields);
         }});
    stops.push_back({"chooser", {}, [] {
                         TFTrackList window;
                         TTrackChooser chooser(window);
                         chooser.Choose({{"Some Artist", "Sunday Morning", "First Album"},
                                         {"Some Artist", "Sunday Morning (Live)", "Live at the Hall"},
                                         {"Another Artist", "Sunday Morning", "Covers, Volume 2"}});
                     }});
    // The encoder option dialogs, each over settings a user might have made.
    for (const auto& [name, format] : {std::pair{"enc-wav", TConvertController::fiWav},
                                       std::pair{"enc-mp3", TConvertController::fiMp3},
                                       std::pair{"enc-ogg", TConvertController::fiOgg},
                                       std::pair{"enc-flac", TConvertController::fiFlac},
                                       std::pair{"enc-ape", TConvertController::fiApe}})
        stops.push_back({name, {}, [format = format] {
                             TEncoderSettings settings;
                             settings.Mp3.BitRate = TMP3BitRate::br192;
                             settings.Ogg.DesiredNominalBitrate = TVorbisBitRate::br128;
                             settings.Ogg.DesiredMaximumBitrate = TVorbisBitRate::br160;
                             settings.Ogg.Comments = {"TITLE=Sunday Morning", "ARTIST=Some Artist"};
                             settings.Ape.CompressionLevel = 3000;
                             EditEncoderSettings(nullptr, format, settings);
                         }});
    // The conversion window, idle and mid-conversion.
    stops.push_back({"convert", [] { return TourConvert(false); }, {}});
    stops.push_back({"convert-running", [] { return TourConvert(true); }, {}});
    // The rip window, idle and mid-rip.
    stops.push_back({"rip", [] { return TourRip(false); }, {}});
    stops.push_back({"rip-running", [] { return TourRip(true); }, {}});
    // The settings window's pages, and the noise capture counting down.
    stops.push_back({"settings-recording", {}, [] { ShowSettingsPage(0); }});
    stops.push_back({"settings-split", {}, [] { ShowSettingsPage(1); }});
    stops.push_back({"settings-proxy", {}, [] { ShowSettingsPage(2); }});
    stops.push_back({"settings-burning", {}, [] { ShowSettingsPage(3); }});
    stops.push_back({"settings-folders", {}, [] { ShowSettingsPage(4); }});
    stops.push_back({"settings-rip", {}, [] { ShowSettingsPage(-1); }});
    // The burn window with songs queued, and part way through a burn.
    stops.push_back({"burn", {}, {}});
    stops.push_back({"burn-running", {}, {}});
    stops.push_back({"noisecapture", {}, {}});
    return stops;
}

// Opens a modal window, grabs it once it is up, and closes it.
bool GrabModal(const std::function<void()>& Open, const QString& File)
{
    bool saved = false;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* window = QApplication::activeModalWidget();
        if (!window || !window->isVisible())
            return;
        poll.stop();
        QTest::qWait(150);
        saved = window->grab().save(File);
        window->close();
    });
    poll.start();
    // A window that never comes up must not hang the tour. The guard lives
    // only as long as this stop: a free-running timer would close a later
    // stop's window before its picture is taken.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QWidget* window = QApplication::activeModalWidget())
            window->close();
    });
    guard.start(10000);
    Open();
    return saved;
}

bool Grab(QWidget& Window, const QString& File)
{
    Window.show();
    if (!QTest::qWaitForWindowExposed(&Window))
        return false;
    // Let queued layout and paint work settle before the picture is taken.
    QTest::qWait(150);
    return Window.grab().save(File);
}

} // namespace

#ifdef KESTRUNE_TOUR_APP
// The desktop program itself on the settings file Config (a virtual sound
// card playing a file): the main window RecordSeconds into a recording
// started with its own Start button, and again after its Stop button.
int RecordingTour(const QString& Config, const QDir& Out, const QStringList& Wanted, int RecordSeconds)
{
    const auto wanted = [&](const char* Name) { return Wanted.isEmpty() || Wanted.contains(QLatin1String(Name)); };
    if (!wanted("recording") && !wanted("recording-stopped"))
        return 0;
    const auto file = [&](const char* Name) { return Out.filePath(QStringLiteral("%1.png").arg(QLatin1String(Name))); };
    int failures = 0;
    const auto report = [&](bool Saved, const char* Name) {
        if (Saved) {
            std::printf("%s\n", qPrintable(file(Name)));
        } else {
            std::fprintf(stderr, "kestrune_tour: could not take %s\n", Name);
            ++failures;
        }
    };

    TSystemOptionsPlatform platform;
    TDesktopProgram program({Config.toStdString()}, platform);
    program.Start(TDesktopProgram::LocalToday());
    QWidget& window = program.Window();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    auto* start = window.findChild<QAbstractButton*>(QStringLiteral("BtnStartRecord"));
    auto* stop = window.findChild<QAbstractButton*>(QStringLiteral("BtnStopRec"));
    if (!start || !stop) {
        std::fprintf(stderr, "kestrune_tour: the main window has no Start or Stop button\n");
        return 1;
    }
    start->click();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < RecordSeconds * 1000)
        QTest::qWait(100);
    if (wanted("recording"))
        report(window.grab().save(file("recording")), "recording");
    stop->click();
    // The last track is closed on the window thread; let it finish.
    QTest::qWait(1500);
    if (wanted("recording-stopped"))
        report(window.grab().save(file("recording-stopped")), "recording-stopped");
    window.close();
    return failures;
}
#endif

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList arguments = QApplication::arguments();
    // A dark desktop, as a dark theme would hand the program its palette.
    if (arguments.size() > 1 && arguments.at(1) == QLatin1String("--dark")) {
        QApplication::setPalette(DarkPalette());
        arguments.removeAt(1);
    }
    // The desktop program itself on this settings file.
    QString config;
    if (arguments.size() > 2 && arguments.at(1) == QLatin1String("--config")) {
        config = arguments.at(2);
        arguments.remove(1, 2);
    }
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: kestrune_tour [--dark] [--config FILE] OUTDIR [NAME...]\n");
        return 2;
    }
    TSkin::Apply(app);
    const QDir out(arguments.at(1));
    if (!QDir().mkpath(out.path()))
        return 1;
    const QStringList wanted = arguments.mid(2);
    int failures = 0;
    for (const TStop& stop : Stops()) {
        if (!wanted.isEmpty() && !wanted.contains(QLatin1String(stop.Name)))
            continue;
        const QString file = out.filePath(QStringLiteral("%1.png").arg(QLatin1String(stop.Name)));
        bool saved = false;
        if (QLatin1String(stop.Name) == QLatin1String("main")) {
            TTourMain main;
            saved = Grab(main.Shown(), file);
        } else if (QLatin1String(stop.Name) == QLatin1String("burn")) {
            TTourBurn burn;
            saved = Grab(burn.Shown(), file);
        } else if (QLatin1String(stop.Name) == QLatin1String("burn-running")) {
            TTourBurn burn;
            saved = burn.GrabRunning(file);
        } else if (QLatin1String(stop.Name) == QLatin1String("noisecapture")) {
            TTourNoiseCapture capture;
            saved = Grab(capture.Shown(), file);
        } else if (stop.Make) {
            const auto window = stop.Make();
            saved = Grab(*window, file);
        } else {
            saved = GrabModal(stop.OpenModal, file);
        }
        if (saved) {
            std::printf("%s\n", qPrintable(file));
        } else {
            std::fprintf(stderr, "kestrune_tour: could not take %s\n", stop.Name);
            ++failures;
        }
    }
#ifdef KESTRUNE_TOUR_APP
    if (!config.isEmpty()) {
        const int seconds = qEnvironmentVariableIntValue("KESTRUNE_TOUR_SECONDS");
        failures += RecordingTour(config, out, wanted, seconds > 0 ? seconds : 26);
    }
#else
    if (!config.isEmpty())
        std::fprintf(stderr, "kestrune_tour: this build has no desktop program; --config ignored\n");
#endif
    return failures == 0 ? 0 : 1;
}
