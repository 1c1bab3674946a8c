// The conversion window driven as a user drives it: its controls, every pair
// of formats, cancel, the completion question with the result played on a
// stand-in sound card, the checks, the encoder dialogs and the follow-ups.
#include "common/TPlainDialogs.h"
#include "common/ui/TQtDispatcher.h"
#include "convert/ui/TFConvert.h"
#include "formats/TFLACIn.h"
#include "formats/TMACIn.h"
#include "formats/TVorbisIn.h"
#include "formats/TWaveIn.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QtTest>

#include <filesystem>
#include <memory>

using namespace kestrune;
using namespace kestrune::test;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr int Rate = 44100;
const std::string ListenQuestion = "Conversion completed! Do you want to listen to the converted file?";
const char* const Extensions[] = {".wav", ".mp3", ".ogg", ".ape", ".flac"};

// What the window's gauge and status bar showed while a run went on.
struct TGaugeWatch final : public TJobListenerBase {
    explicit TGaugeWatch(TFConvert& W) : Window(W) {}
    void JobProgress(TJobKind, double Fraction, const std::string&) override
    {
        auto* gauge = Window.findChild<QProgressBar*>("Gauge");
        ++Progress;
        if (Fraction >= 0)
            Highest = std::max(Highest, gauge->value() * 1.0 / gauge->maximum());
        if (Window.findChild<QStatusBar*>("StatusBar")->isHidden())
            ++HiddenDuringRun;
    }
    void JobFinished(TJobKind, TJobOutcome O, const std::string& R) override
    {
        ++Finished;
        Outcome = O;
        Reason = R;
    }
    TFConvert& Window;
    int Progress = 0, HiddenDuringRun = 0, Finished = 0;
    double Highest = 0;
    TJobOutcome Outcome = TJobOutcome::joFailed;
    std::string Reason;
};

// A shown window over a plain dispatcher-free set-up: message boxes are
// recorded and answered from a script; results play into a WAV file.
struct TRig {
    TTempDir Dir;
    TQtDispatcher Dispatcher;
    TPlainDialogs Dialogs;
    int HelpCalls = 0, AboutCalls = 0;
    std::unique_ptr<TFConvert> Window;
    std::unique_ptr<TGaugeWatch> Watch;

    TRig()
    {
        Window = std::make_unique<TFConvert>(
            Dialogs, Dispatcher, "virtual:" + Dir.File("played.wav"), Dir.Path().string() + "/",
            [this] { ++HelpCalls; }, [this] { ++AboutCalls; });
        Window->SetOpenOnShow(false);
        Window->Player().Output().SetRealTime(false);
        Watch = std::make_unique<TGaugeWatch>(*Window);
        Window->Controller().Events().Subscribe(Watch.get());
    }
    ~TRig() { Window->Controller().Events().Unsubscribe(Watch.get()); }

    template <typename T> T* Find(const char* Name) const { return Window->findChild<T*>(Name); }
    void Choose(const std::string& In, int Format, const std::string& Out = "")
    {
        Find<QLineEdit>("InFileName")->setText(QString::fromStdString(In));
        Find<QComboBox>("OutFormat")->setCurrentIndex(Format);
        if (!Out.empty())
            Find<QLineEdit>("OutfileName")->setText(QString::fromStdString(Out));
    }
    void Convert() { Find<QPushButton>("BtnConvert")->click(); }
    bool WaitFinished(std::chrono::milliseconds Timeout = 20s)
    {
        return Dispatcher.WaitServing([this] { return Watch->Finished > 0 && !Window->Controller().Converting(); },
                                      Timeout);
    }
    std::string LastBox() const { return Dialogs.Shown().empty() ? "" : Dialogs.Shown().back().Text; }
    // Shows the window modally; Act runs once it is up.
    TConvertFollowUp RunWith(std::function<void()> Act)
    {
        QTimer::singleShot(0, Window.get(), std::move(Act));
        return Window->Run();
    }
};

// Frames of audio in a file of our formats, by its extension; -1 for MP3,
// which has no reader of its own here.
std::int64_t Frames(const std::string& File)
{
    const std::string ext = fs::path(File).extension().string();
    if (ext == ".wav")
        return FramesIn<TWaveIn>(File);
    if (ext == ".ogg")
        return FramesIn<TVorbisIn>(File);
    if (ext == ".ape")
        return FramesIn<TMACIn>(File);
    if (ext == ".flac")
        return FramesIn<TFLACIn>(File);
    return -1;
}

bool LooksLikeMp3(const std::string& File)
{
    const auto bytes = ReadWholeFile(File);
    if (bytes.size() < 1000)
        return false;
    if (bytes[0] == 'I' && bytes[1] == 'D' && bytes[2] == '3')
        return true;
    return bytes[0] == 0xFF && (bytes[1] & 0xE0) == 0xE0;
}

} // namespace

class ConvertWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TTempDir> Fixtures;
    std::string Fixture(int Format) const { return Fixtures->File(std::string("tone") + Extensions[Format]); }
    static constexpr int FixtureFrames = Rate / 2;

private slots:
    // Half a second of a stereo tone in each of the five formats: the WAV
    // written here, the others made from it by the controller.
    void initTestCase()
    {
        Fixtures = std::make_unique<TTempDir>();
        WriteWholeFile(Fixture(0), PcmWavImage(Sine16(FixtureFrames, 2, Rate, 440, 9000), 2, Rate));
        for (int format = 1; format < 5; ++format) {
            TRig rig;
            rig.Window->Controller().SetInFileName(Fixture(0));
            rig.Window->Controller().ChooseOutFormat(format);
            rig.Window->Controller().Convert();
            QVERIFY(rig.WaitFinished());
            QVERIFY2(rig.Watch->Outcome == TJobOutcome::joSucceeded, rig.Watch->Reason.c_str());
        }
    }
    void cleanupTestCase() { Fixtures.reset(); }

    // Showing the window puts the recordings folder into the input and opens
    // the file dialog there, with the format filters; the file chosen becomes
    // the input and its format is named.
    void ShowingOpensTheFileDialogAtTheFolder()
    {
        TRig rig;
        rig.Window->SetOpenOnShow(true);
        rig.Window->SetFolder(Fixtures->Path().string() + "/");
        QStringList filters;
        QString directory;
        QString shownIn, formatBefore;
        const TConvertFollowUp next = rig.RunWith([&] {
            formatBefore = rig.Find<QLabel>("InFormat")->text();
            QTimer::singleShot(0, [&] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                filters = dialog->nameFilters();
                directory = dialog->directory().absolutePath();
                shownIn = rig.Find<QLineEdit>("InFileName")->text();
                dialog->selectFile(QString::fromStdString(Fixture(4)));
                QMetaObject::invokeMethod(dialog, "accept");
                QTimer::singleShot(0, [&] { rig.Find<QPushButton>("BtnCancel")->click(); });
            });
        });
        QCOMPARE(next, TConvertFollowUp::cfNone);
        QCOMPARE(formatBefore, QString("Choose an input file"));
        QCOMPARE(shownIn, QString::fromStdString(Fixtures->Path().string() + "/"));
        QCOMPARE(directory, QString::fromStdString(fs::canonical(Fixtures->Path()).string()));
        QCOMPARE(filters.size(), 6);
        QCOMPARE(filters.front(), QString("All audio (*.wav *.mp3 *.ogg *.ape *.flac)"));
        QCOMPARE(filters[2], QString("MP3 Audio File (*.mp3)"));
        QCOMPARE(rig.Find<QLineEdit>("InFileName")->text(), QString::fromStdString(Fixture(4)));
        QCOMPARE(rig.Find<QLabel>("InFormat")->text(), QString("FLAC Audio File"));
    }

    void ConvertsEveryPairOfFormats_data()
    {
        QTest::addColumn<int>("From");
        QTest::addColumn<int>("To");
        for (int from = 0; from < 5; ++from)
            for (int to = 0; to < 5; ++to)
                QTest::addRow("%s to %s", Extensions[from] + 1, Extensions[to] + 1) << from << to;
    }
    // Every format into every format from the window's controls: the gauge
    // shows the run in the status bar, which goes once it is over.
    void ConvertsEveryPairOfFormats()
    {
        QFETCH(int, From);
        QFETCH(int, To);
        TRig rig;
        const std::string out = rig.Dir.File(std::string("result") + Extensions[To]);
        rig.Choose(Fixture(From), To);
        // The output's name follows the input's, then goes where the user says.
        QCOMPARE(rig.Find<QLineEdit>("OutfileName")->text(),
                 QString::fromStdString(fs::path(Fixture(From)).replace_extension(Extensions[To]).string()));
        rig.Find<QLineEdit>("OutfileName")->setText(QString::fromStdString(out));
        rig.Convert();
        QVERIFY(rig.Find<QStatusBar>("StatusBar")->isVisibleTo(rig.Window.get()));
        QVERIFY(rig.WaitFinished());
        QVERIFY2(rig.Watch->Outcome == TJobOutcome::joSucceeded, rig.Watch->Reason.c_str());
        QVERIFY(rig.Watch->Progress > 0);
        QCOMPARE(rig.Watch->HiddenDuringRun, 0);
        QCOMPARE(rig.Watch->Highest, 1.0);
        QVERIFY(!rig.Find<QStatusBar>("StatusBar")->isVisibleTo(rig.Window.get()));
        // Asked whether to listen; not answered, so nothing plays.
        QCOMPARE(rig.LastBox(), ListenQuestion);
        QVERIFY(!rig.Window->Player().Playing());
        if (To == TConvertController::fiMp3) {
            QVERIFY(LooksLikeMp3(out));
            return;
        }
        const std::int64_t frames = Frames(out);
        const bool lossless = From != TConvertController::fiMp3 && From != TConvertController::fiOgg &&
                              To != TConvertController::fiOgg;
        if (lossless)
            QCOMPARE(frames, std::int64_t{FixtureFrames});
        else // an MP3 decoder's delay and padding come on top
            QVERIFY2(std::abs(frames - FixtureFrames) < FixtureFrames / 4, std::to_string(frames).c_str());
    }

    // Cancel during a run stops it, says so and leaves no file; the window
    // stays until the next Cancel closes it.
    void CancelStopsTheRunAndThenCloses()
    {
        TRig rig;
        WriteWholeFile(rig.Dir.File("long.wav"), PcmWavImage(Noise16(Rate * 60, 2, 7), 2, Rate));
        const std::string out = rig.Dir.File("long.flac");
        bool stayed = false, gaugeShown = false;
        const TConvertFollowUp next = rig.RunWith([&] {
            rig.Choose(rig.Dir.File("long.wav"), TConvertController::fiFlac, out);
            rig.Convert();
            QVERIFY(rig.Dispatcher.WaitServing([&] { return rig.Watch->Progress > 0; }, 10s));
            gaugeShown = rig.Find<QStatusBar>("StatusBar")->isVisible();
            rig.Find<QPushButton>("BtnCancel")->click();
            QVERIFY(rig.WaitFinished());
            stayed = rig.Window->isVisible();
            rig.Find<QPushButton>("BtnCancel")->click();
        });
        QCOMPARE(next, TConvertFollowUp::cfNone);
        QVERIFY(gaugeShown);
        QVERIFY(stayed);
        QVERIFY(!rig.Window->isVisible());
        QCOMPARE(rig.Watch->Outcome, TJobOutcome::joCancelled);
        QCOMPARE(rig.LastBox(), std::string("Conversion canceled"));
        QCOMPARE(rig.Dialogs.Shown().back().Kind, TDialogKind::dkInformation);
        QVERIFY(!fs::exists(out));
        QVERIFY(rig.Find<QStatusBar>("StatusBar")->isHidden());
    }

    void CompletionQuestion_data()
    {
        QTest::addColumn<int>("To");
        QTest::addColumn<bool>("Yes");
        QTest::newRow("flac, no") << int{TConvertController::fiFlac} << false;
        QTest::newRow("flac, yes") << int{TConvertController::fiFlac} << true;
        QTest::newRow("ape, yes") << int{TConvertController::fiApe} << true;
        QTest::newRow("mp3, yes") << int{TConvertController::fiMp3} << true;
    }
    // "No" plays nothing; "Yes" plays the converted file on the chosen
    // device, here a stand-in card that writes what it plays into a file.
    void CompletionQuestion()
    {
        QFETCH(int, To);
        QFETCH(bool, Yes);
        TRig rig;
        rig.Dialogs.Script(Yes ? TDialogResult::drYes : TDialogResult::drNo);
        rig.Choose(Fixture(0), To, rig.Dir.File(std::string("result") + Extensions[To]));
        rig.Convert();
        QVERIFY(rig.WaitFinished());
        QCOMPARE(rig.LastBox(), ListenQuestion);
        QCOMPARE(rig.Dialogs.Shown().back().Kind, TDialogKind::dkConfirmation);
        QVERIFY(rig.Dispatcher.WaitServing([&] { return !rig.Window->Player().Playing(); }, 10s));
        const std::string played = rig.Dir.File("played.wav");
        QCOMPARE(fs::exists(played), Yes);
        if (!Yes)
            return;
        TWaveIn source, heard;
        source.SetFileName(Fixture(0));
        heard.SetFileName(played);
        const auto sourceBytes = ReadAll(source);
        const auto heardBytes = ReadAll(heard);
        if (To == TConvertController::fiMp3)
            QVERIFY(std::abs(static_cast<long>(heardBytes.size()) - static_cast<long>(sourceBytes.size())) <
                    static_cast<long>(sourceBytes.size()) / 4);
        else
            QVERIFY(heardBytes == sourceBytes);
        // The result is played from the file itself, which stays.
        QVERIFY(fs::exists(rig.Dir.File(std::string("result") + Extensions[To])));
    }

    // While the result plays, CONVERT! starts nothing and Cancel silences it
    // without closing; the next Cancel closes. Closing while it plays stops it.
    void CancelStopsPlaybackFirst()
    {
        for (const bool exit : {false, true}) {
            TRig rig;
            rig.Window->SetPlaybackDevice("virtual:null");
            rig.Window->Player().Output().SetRealTime(true);
            WriteWholeFile(rig.Dir.File("five.wav"), PcmWavImage(Sine16(Rate * 5, 2, Rate, 330, 9000), 2, Rate));
            rig.Dialogs.Script(TDialogResult::drYes);
            bool playing = false, convertIgnored = false, stayed = false, stopped = false;
            rig.RunWith([&] {
                rig.Choose(rig.Dir.File("five.wav"), TConvertController::fiWav, rig.Dir.File("copy.wav"));
                rig.Convert();
                QVERIFY(rig.WaitFinished());
                playing = rig.Window->Player().Playing();
                const int finished = rig.Watch->Finished;
                rig.Convert();
                convertIgnored = rig.Watch->Finished == finished && !rig.Window->Controller().Converting();
                if (exit) {
                    rig.Find<QAction>("Exit1")->trigger();
                    return;
                }
                rig.Find<QPushButton>("BtnCancel")->click();
                stopped = !rig.Window->Player().Playing();
                stayed = rig.Window->isVisible();
                rig.Find<QPushButton>("BtnCancel")->click();
            });
            QVERIFY(playing);
            QVERIFY(convertIgnored);
            QVERIFY(!rig.Window->Player().Playing());
            QVERIFY(!rig.Window->isVisible());
            if (!exit) {
                QVERIFY(stopped);
                QVERIFY(stayed);
            }
        }
    }

    void ChecksSayWhatIsWrong_data()
    {
        QTest::addColumn<QString>("In");
        QTest::addColumn<int>("Format");
        QTest::addColumn<QString>("Out");
        QTest::addColumn<QString>("Says");
        const QString tone = QString::fromStdString(Fixture(0));
        const QString folder = QString::fromStdString(Fixtures->Path().string() + "/");
        QTest::newRow("input is the folder") << folder << 2 << "x.ogg" << "Input file name missing";
        QTest::newRow("no output format") << tone << -1 << "x.ogg" << "Output format missing";
        QTest::newRow("no output name") << tone << 2 << "" << "Output file name missing";
        QTest::newRow("output is the input")
            << tone << 0 << tone << "The output file must be different from the input file!";
        QTest::newRow("input gone") << folder + "gone.wav" << 2 << folder + "gone.ogg" << "Input file missing";
    }
    // CONVERT! refuses with a warning and starts nothing.
    void ChecksSayWhatIsWrong()
    {
        QFETCH(QString, In);
        QFETCH(int, Format);
        QFETCH(QString, Out);
        QFETCH(QString, Says);
        TRig rig;
        rig.Choose(In.toStdString(), Format);
        rig.Find<QLineEdit>("OutfileName")->setText(Out);
        rig.Convert();
        QCOMPARE(QString::fromStdString(rig.LastBox()), Says);
        QCOMPARE(rig.Dialogs.Shown().back().Kind, TDialogKind::dkWarning);
        QVERIFY(!rig.Window->Controller().Converting());
        QVERIFY(rig.Find<QStatusBar>("StatusBar")->isHidden());
        QVERIFY(fs::exists(Fixture(0)));
    }

    // SETTINGS opens the dialog of the format chosen, and what the user saves
    // there is what the next conversion writes with.
    void SettingsOpensTheChosenFormatsDialog()
    {
        for (const bool save : {true, false}) {
            TRig rig;
            std::vector<int> opened;
            rig.Window->SetEditEncoder([&](QWidget* Parent, int Index, TEncoderSettings& Settings) {
                opened.push_back(Index);
                if (Parent != rig.Window.get())
                    return false;
                Settings.Ape.CompressionLevel = 4000;
                Settings.Mp3.BitRate = TMP3BitRate::br320;
                return save;
            });
            rig.Find<QPushButton>("BtnSettings")->click(); // no format yet: nothing opens
            for (int format = 0; format < 5; ++format) {
                rig.Find<QComboBox>("OutFormat")->setCurrentIndex(format);
                rig.Find<QPushButton>("BtnSettings")->click();
            }
            QCOMPARE(opened, (std::vector<int>{0, 1, 2, 3, 4}));
            const TEncoderSettings now = rig.Window->Controller().EncoderSettings();
            QCOMPARE(now.Ape.CompressionLevel, save ? 4000 : 2000);
            QCOMPARE(now.Mp3.BitRate, save ? TMP3BitRate::br320 : TMP3BitRate::br128);
        }
    }

    // With the real encoder dialogs: each format opens its own.
    void SettingsOpensTheRealDialogs()
    {
        TRig rig;
        QStringList opened;
        for (int format = 0; format < 5; ++format) {
            rig.Find<QComboBox>("OutFormat")->setCurrentIndex(format);
            QTimer::singleShot(0, [&] {
                QWidget* dialog = QApplication::activeModalWidget();
                opened << (dialog ? dialog->objectName() : QString("none"));
                if (auto* modal = qobject_cast<QDialog*>(dialog))
                    modal->reject();
            });
            rig.Find<QPushButton>("BtnSettings")->click();
        }
        QCOMPARE(opened, (QStringList{"TFWav", "TFMP3", "TFOgg", "TFApe", "TFFlac"}));
    }

    void FollowUps_data()
    {
        QTest::addColumn<QString>("Control");
        QTest::addColumn<int>("Next");
        QTest::newRow("wizard button") << "BtnWizard" << 0;
        QTest::newRow("settings button") << "BtnSettingsWindow" << 1;
        QTest::newRow("burn button") << "BtnBurn" << 2;
        QTest::newRow("Tools, Settings") << "Settings1" << 1;
        QTest::newRow("Tools, Burn") << "Burn1" << 2;
        QTest::newRow("File, Exit") << "Exit1" << -1;
        QTest::newRow("Cancel") << "BtnCancel" << -1;
    }
    // The picture buttons and the Tools entries close the window and name the
    // window to open next; the window keeps its choices for the next showing,
    // which starts without a follow-up.
    void FollowUps()
    {
        QFETCH(QString, Control);
        QFETCH(int, Next);
        TRig rig;
        auto press = [&](const QString& Name) {
            if (auto* action = rig.Window->findChild<QAction*>(Name))
                action->trigger();
            else
                rig.Window->findChild<QAbstractButton*>(Name)->click();
        };
        const TConvertFollowUp first = rig.RunWith([&] {
            rig.Choose(Fixture(0), TConvertController::fiOgg, rig.Dir.File("kept.ogg"));
            rig.Find<QAction>("OnlineHelp1")->trigger();
            rig.Find<QAction>("About1")->trigger();
            press(Control);
        });
        QCOMPARE(static_cast<int>(first), Next);
        QCOMPARE(rig.HelpCalls, 1);
        QCOMPARE(rig.AboutCalls, 1);
        QString format, out;
        const TConvertFollowUp second = rig.RunWith([&] {
            format = rig.Find<QComboBox>("OutFormat")->currentText();
            out = rig.Find<QLineEdit>("OutfileName")->text();
            press("BtnCancel");
        });
        QCOMPARE(second, TConvertFollowUp::cfNone);
        QCOMPARE(format, QString("Ogg Vorbis Audio File"));
        QCOMPARE(out, QString::fromStdString(rig.Dir.File("kept.ogg")));
    }

    // The queue's list takes room while it shows and gives it back once the
    // queue is cleared.
    void ClearingTheQueueGivesItsRoomBack()
    {
        TRig rig;
        const auto tone = PcmWavImage(Sine16(Rate / 10, 2, Rate, 440, 9000), 2, Rate);
        for (const char* name : {"one.wav", "two.wav"})
            WriteWholeFile(rig.Dir.File(name), tone);
        int single = 0, several = 0, cleared = 0;
        bool listShown = false, listHidden = false;
        rig.RunWith([&] {
            single = rig.Window->height();
            rig.Window->AddFiles({QString::fromStdString(rig.Dir.File("one.wav")),
                                  QString::fromStdString(rig.Dir.File("two.wav"))});
            listShown = rig.Find<QTreeWidget>("Queue")->isVisible();
            several = rig.Window->height();
            rig.Find<QAction>("ClearList1")->trigger();
            listHidden = !rig.Find<QTreeWidget>("Queue")->isVisible();
            cleared = rig.Window->height();
            rig.Find<QPushButton>("BtnCancel")->click();
        });
        QVERIFY(listShown && listHidden);
        QVERIFY2(several > single, qPrintable(QString("%1 -> %2").arg(single).arg(several)));
        QCOMPARE(cleared, single);
    }

    // Several files chosen together in the file dialog, dropped on the window
    // or added as a folder form a queue of rows; CONVERT! converts them all
    // into the output folder, each row reaching "Done" with a full bar, while
    // a bad file fails with its reason and the rest go on.
    void QueueConvertsSeveralFiles()
    {
        TRig rig;
        rig.Window->SetOpenOnShow(true);
        const fs::path in = rig.Dir.Path() / "in", more = rig.Dir.Path() / "more", out = rig.Dir.Path() / "out";
        for (const fs::path& folder : {in, more, out})
            fs::create_directories(folder);
        const auto tone = PcmWavImage(Sine16(Rate / 4, 2, Rate, 440, 9000), 2, Rate);
        for (const char* name : {"one.wav", "two.wav"})
            WriteWholeFile((in / name).string(), tone);
        for (const char* name : {"three.wav", "four.wav"})
            WriteWholeFile((more / name).string(), tone);
        WriteWholeFile((in / "bad.wav").string(), {'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o'});
        TGaugeWatch batchWatch(*rig.Window);
        rig.Window->Batch().Events().Subscribe(&batchWatch);
        rig.Window->SetFolder(in.string() + "/");

        QStringList rows, states;
        QList<int> bars;
        QString outLabel;
        bool folderOffered = false;
        rig.RunWith([&] {
            // The file dialog that opens with the window takes two files at once.
            QTimer::singleShot(0, [&] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFiles);
                dialog->selectFile("\"one.wav\" \"two.wav\"");
                QMetaObject::invokeMethod(dialog, "accept");
                QTimer::singleShot(0, [&] {
                    // A file and a folder dropped on the window.
                    QMimeData mime;
                    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString((in / "bad.wav").string())),
                                  QUrl::fromLocalFile(QString::fromStdString(more.string()))});
                    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
                    QApplication::sendEvent(rig.Window.get(), &enter);
                    QVERIFY(enter.isAccepted());
                    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
                    QApplication::sendEvent(rig.Window.get(), &drop);
                    QVERIFY(rig.Find<QTreeWidget>("Queue")->isVisible());
                    outLabel = rig.Find<QLineEdit>("OutfileName")->placeholderText();
                    rig.Find<QLineEdit>("OutfileName")->setText(QString::fromStdString(out.string()));
                    rig.Find<QComboBox>("OutFormat")->setCurrentIndex(TConvertController::fiOgg);
                    rig.Convert();
                    QVERIFY(rig.Dispatcher.WaitServing([&] { return !rig.Window->Queue().Running(); }, 60s));
                    auto* list = rig.Find<QTreeWidget>("Queue");
                    for (int i = 0; i < list->topLevelItemCount(); ++i) {
                        rows << list->topLevelItem(i)->text(0);
                        states << list->topLevelItem(i)->text(1);
                        auto* bar = qobject_cast<QProgressBar*>(list->itemWidget(list->topLevelItem(i), 2));
                        bars << (bar ? bar->value() * 100 / bar->maximum() : -1);
                    }
                    // "Add folder..." offers a folder chooser; the folder's
                    // files join the queue.
                    QTimer::singleShot(0, [&] {
                        auto* folder = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                        folderOffered = folder && folder->fileMode() == QFileDialog::Directory;
                        if (!folder)
                            return;
                        folder->setDirectory(QString::fromStdString(rig.Dir.Path().string()));
                        folder->selectFile("more");
                        QMetaObject::invokeMethod(folder, "accept");
                    });
                    rig.Find<QAction>("AddFolder1")->trigger();
                    rig.Find<QPushButton>("BtnCancel")->click();
                });
            });
        });
        rig.Window->Batch().Events().Unsubscribe(&batchWatch);
        QCOMPARE(outLabel, QString("Beside each input file"));
        QCOMPARE(rows, (QStringList{"one.wav", "two.wav", "bad.wav", "four.wav", "three.wav"}));
        QCOMPARE(states.size(), 5);
        QCOMPARE(states[2].left(8), QString("Failed: "));
        QVERIFY(states[2].size() > 8);
        for (int i : {0, 1, 3, 4}) {
            QCOMPARE(states[i], QString("Done"));
            QCOMPARE(bars[i], 100);
        }
        for (const char* name : {"one.ogg", "two.ogg", "three.ogg", "four.ogg"})
            QVERIFY2(FramesIn<TVorbisIn>((out / name).string()) == Rate / 4, name);
        QVERIFY(!fs::exists(out / "bad.ogg"));
        // The batch's gauge stood in the shown status bar while it ran.
        QVERIFY(batchWatch.Progress > 0);
        QCOMPARE(batchWatch.HiddenDuringRun, 0);
        QCOMPARE(batchWatch.Highest, 1.0);
        QCOMPARE(rig.Dialogs.Shown().back().Kind, TDialogKind::dkWarning);
        QCOMPARE(QString::fromStdString(rig.Dialogs.Shown().back().Text),
                 "4 of 5 files converted.\nThese failed:\nbad.wav: " + states[2].mid(8));
        QVERIFY(folderOffered);
        QCOMPARE(rig.Window->Queue().Count(), std::size_t{7});
    }
};

QTEST_MAIN(ConvertWindowTest)
#include "ConvertWindowTest.moc"
