// The desktop session over a private D-Bus session bus, with stand-ins for
// the idle inhibitor and the notification server that log what they are
// asked; the stand-ins answer on a thread of their own, so the window thread
// is free to show that it never waits for them.
#include "common/TPlainDialogs.h"
#include "common/ui/TQtDesktopSession.h"
#include "common/ui/TQtDispatcher.h"
#include "mocks/TFakeMainView.h"
#include "mocks/TNoDevices.h"
#include "recognition/TFakeLookupService.h"
#include "recording/TRecognitionController.h"
#include "recording/TRecorder.h"
#include "recording/TSessionGuard.h"
#include "settings/TOptions.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QMutex>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <filesystem>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kestrune;
using namespace kestrune::test;
using namespace std::chrono_literals;

namespace {

// What the stand-ins were asked, one line a call, shared by both.
class TCallLog {
public:
    void Add(const QString& Line)
    {
        QMutexLocker lock(&Mutex);
        Lines << Line;
    }
    QStringList All() const
    {
        QMutexLocker lock(&Mutex);
        return Lines;
    }
    void Clear()
    {
        QMutexLocker lock(&Mutex);
        Lines.clear();
    }

private:
    mutable QMutex Mutex;
    QStringList Lines;
};

} // namespace

class TStandInScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    explicit TStandInScreenSaver(TCallLog& L) : Log(L) {}
    // Released by the test to let a held Inhibit answer.
    QSemaphore Gate{0};
    std::atomic<bool> Gated{false};

public slots:
    uint Inhibit(const QString& Application, const QString& Reason)
    {
        if (Gated)
            Gate.tryAcquire(1, 10000);
        const uint cookie = NextCookie++;
        Log.Add(QStringLiteral("Inhibit %1 %2 -> %3").arg(Application, Reason).arg(cookie));
        return cookie;
    }
    void UnInhibit(uint Cookie) { Log.Add(QStringLiteral("UnInhibit %1").arg(Cookie)); }

private:
    TCallLog& Log;
    uint NextCookie = 7;
};

class TStandInNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    explicit TStandInNotifications(TCallLog& L) : Log(L) {}

public slots:
    uint Notify(const QString& Application, uint ReplacesId, const QString& Icon, const QString& Summary,
                const QString& Body, const QStringList& Actions, const QVariantMap& Hints, int Timeout)
    {
        Q_UNUSED(Actions);
        Q_UNUSED(Timeout);
        const uint id = ReplacesId != 0 ? ReplacesId : NextId++;
        Log.Add(QStringLiteral("Notify %1 %2 %3 [%4] %5 | %6 -> %7")
                    .arg(Application)
                    .arg(ReplacesId)
                    .arg(Icon, Hints.value(QStringLiteral("desktop-entry")).toString(), Summary, Body)
                    .arg(id));
        return id;
    }

private:
    TCallLog& Log;
    uint NextId = 100;
};

class DesktopSessionTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir Dir;
    pid_t DaemonPid = -1;
    QString Address;
    QThread ServiceThread;
    TCallLog Log;
    TStandInScreenSaver* ScreenSaver = nullptr;
    TStandInNotifications* Notifications = nullptr;

    QDBusConnection Client(const QString& Name) { return QDBusConnection::connectToBus(Address, Name); }

    // Waits (serving the event loop) until the log has Count lines.
    QStringList LogOf(int Count)
    {
        QElapsedTimer timer;
        timer.start();
        while (Log.All().size() < Count && timer.elapsed() < 10000)
            QTest::qWait(10);
        // Anything more that was under way comes in too.
        QTest::qWait(100);
        return Log.All();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(Dir.isValid());
        const QString config = Dir.filePath(QStringLiteral("session.conf"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                                  " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                  "<busconfig>\n"
                                  "  <type>session</type>\n"
                                  "  <listen>unix:dir=%1</listen>\n"
                                  "  <auth>EXTERNAL</auth>\n"
                                  "  <policy context=\"default\">\n"
                                  "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                                  "    <allow eavesdrop=\"true\"/>\n"
                                  "    <allow own=\"*\"/>\n"
                                  "  </policy>\n"
                                  "</busconfig>\n")
                       .arg(Dir.path())
                       .toUtf8());
        file.close();
        // Spawned, not forked: a fork of this threaded process is what the
        // thread checker cannot follow.
        int pipeFds[2];
        QVERIFY(pipe(pipeFds) == 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        // Its complaints (it may not raise its file limit here) are not ours,
        // and an inherited test output would hold the test runner open.
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const QByteArray configArg = ("--config-file=" + config).toLocal8Bit();
        std::vector<char*> argv{const_cast<char*>("dbus-daemon"), const_cast<char*>(configArg.constData()),
                                const_cast<char*>("--nofork"), const_cast<char*>("--print-address"), nullptr};
        const int spawned = posix_spawnp(&DaemonPid, "dbus-daemon", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeFds[1]);
        QVERIFY2(spawned == 0, "dbus-daemon did not start");
        // The daemon prints its address as one line once it listens.
        QByteArray line;
        char c = 0;
        while (read(pipeFds[0], &c, 1) == 1 && c != '\n')
            line += c;
        close(pipeFds[0]);
        Address = QString::fromUtf8(line).trimmed();
        QVERIFY2(!Address.isEmpty(), "dbus-daemon gave no address");
    }

    void cleanupTestCase()
    {
        if (ServiceThread.isRunning()) {
            ServiceThread.quit();
            ServiceThread.wait();
        }
        delete ScreenSaver;
        delete Notifications;
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
        if (DaemonPid > 0) {
            kill(DaemonPid, SIGTERM);
            waitpid(DaemonPid, nullptr, 0);
        }
    }

    // Before the stand-ins are there: nothing answers, nothing is said, and
    // the session still knows what it holds. Without any bus, the same.
    void MissingServicesAreSilentlyFine()
    {
        for (const bool onBus : {true, false}) {
            auto session = onBus ? std::make_unique<TQtDesktopSession>(Client(QStringLiteral("nobody")))
                                 : std::make_unique<TQtDesktopSession>(QDBusConnection::connectToBus(
                                       QStringLiteral("unix:path=") + Dir.filePath(QStringLiteral("no-bus")),
                                       QStringLiteral("no-bus")));
            session->Inhibit("Recording...");
            QVERIFY(session->Inhibited());
            session->Notify(1, "Track0.WAV", "Recorded, 00:03");
            session->Notify(1, "Song", "Band");
            QTest::qWait(200);
            session->Release();
            QVERIFY(!session->Inhibited());
        }
    }

    void StartStandIns()
    {
        ScreenSaver = new TStandInScreenSaver(Log);
        Notifications = new TStandInNotifications(Log);
        ScreenSaver->moveToThread(&ServiceThread);
        Notifications->moveToThread(&ServiceThread);
        ServiceThread.start();
        QDBusConnection bus = QDBusConnection::connectToBus(Address, QStringLiteral("service"));
        QVERIFY(bus.isConnected());
        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), ScreenSaver,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), Notifications,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    }

    // The window thread goes on while the inhibitor takes its time; a
    // release before the cookie came hands that cookie back once it comes,
    // and a release with the cookie in hand hands it back at once.
    void InhibitAndReleaseNeverWait()
    {
        Log.Clear();
        TQtDesktopSession session(Client(QStringLiteral("inhibit")));
        ScreenSaver->Gated = true;
        QElapsedTimer timer;
        timer.start();
        session.Inhibit("Recording...");
        session.Release();
        session.Inhibit("Recording...");
        session.Release();
        QVERIFY2(timer.elapsed() < 5000, "the window thread waited for the inhibitor");
        ScreenSaver->Gate.release();
        ScreenSaver->Gated = false;
        QCOMPARE(LogOf(2), (QStringList{"Inhibit Kestrune Recording... -> 7", "UnInhibit 7"}));

        Log.Clear();
        session.Inhibit("Recording...");
        session.Inhibit("Recording...");
        QCOMPARE(LogOf(1), QStringList{"Inhibit Kestrune Recording... -> 8"});
        session.Release();
        session.Release();
        QCOMPARE(LogOf(2), (QStringList{"Inhibit Kestrune Recording... -> 8", "UnInhibit 8"}));
    }

    // A note sent again under the same key replaces the first, even when
    // the server had not answered the first yet; other keys stand apart.
    void NotesOfOneKeyReplaceEachOther()
    {
        Log.Clear();
        TQtDesktopSession session(Client(QStringLiteral("notes")));
        session.Notify(1, "Track0.WAV", "Recorded, 00:03");
        session.Notify(1, "Song 3", "Band 3 - LP, 00:03");
        session.Notify(2, "Track1.WAV", "Recorded, 00:04");
        const QStringList expected{
            "Notify Kestrune 0 kestrune [kestrune] Track0.WAV | Recorded, 00:03 -> 100",
            "Notify Kestrune 0 kestrune [kestrune] Track1.WAV | Recorded, 00:04 -> 101",
            "Notify Kestrune 100 kestrune [kestrune] Song 3 | Band 3 - LP, 00:03 -> 100",
        };
        QStringList got = LogOf(3);
        // The second key's note may come before or after the first's
        // replacement; what matters is that the replacement names the first.
        QCOMPARE(got.size(), 3);
        QCOMPARE(got.front(), expected.front());
        QVERIFY2(got.contains(expected[1]), qPrintable(got.join('\n')));
        QVERIFY2(got.contains(expected[2]), qPrintable(got.join('\n')));
    }

    // The real recorder and recognition, the guard between them and the
    // session on the bus: inhibited from the start to the end of a
    // recording however it ends, and every kept track announced, its note
    // replaced by one with its title once it is recognised.
    void RecordingOnTheBus()
    {
        struct TCase {
            const char* Name;
            bool DeviceFails;
            bool StopAfterStart;
        };
        for (const TCase& c : {TCase{"to the end of the audio", false, false}, TCase{"stopped", false, true},
                               TCase{"failing device", true, false}}) {
            Log.Clear();
            TFakeLookupService service;
            service.SetAnswer([](const TFakeLookupService::TRequest& R) {
                const std::string d = R.Fields.count("duration") ? R.Fields.at("duration") : "?";
                return TFakeLookupService::TAnswer{200,
                                                   TFakeLookupService::Matches({{"Song " + d, "Band " + d, "LP"}})};
            });
            TTempDir dir;
            std::vector<std::int16_t> capture;
            for (const int seconds : {3, 0, 4}) {
                const auto part =
                    seconds ? Sine16(seconds * 22050, 2, 22050, 440, 12000) : Noise16(22050 * 3 / 2, 2, 3, 200);
                capture.insert(capture.end(), part.begin(), part.end());
            }
            WriteWholeFile(dir.File("capture.wav"), PcmWavImage(capture, 2, 22050));
            TNoDevices platform;
            TQtDispatcher dispatcher;
            TPlainDialogs dialogs;
            TFakeMainView view;
            TOptions options(dir.File("kestrune.ini"), platform,
                             TOptions::TDefaults{dir.Path().string() + "/Records/"});
            options.Format = "WAV";
            options.SamplesPerSec = 22050;
            options.BitsPerSample = 16;
            options.Channels = 2;
            options.SilenceLg = 1000;
            options.MinLength = 2;
            options.DriverNames = {"virtual:" + dir.File(c.DeviceFails ? "missing.wav" : "capture.wav")};
            options.DriverIndex = 0;
            options.RecognitionServer = service.Url();
            options.RecognitionKey = "key";
            TRecordingsList list(view);
            TRecognitionController recognition(list, dispatcher);
            TRecognitionSettings settings = TRecognitionController::SettingsFrom(options);
            settings.Timeout = 3s;
            QVERIFY(recognition.Open(settings));
            TRecorder recorder(options, list, view, dialogs, dispatcher);
            recorder.SetRecognition(&recognition);
            recorder.AudioIn1().SetRealTime(c.StopAfterStart);
            recorder.SetAlbumName("Live");
            recorder.Job().Subscribe(&view);
            TQtDesktopSession session(Client(QStringLiteral("recorder")));
            TSessionGuard guard(recorder, recognition, list, session);

            recorder.StartRecording();
            if (c.StopAfterStart) {
                // The cookie is in hand before the user stops.
                LogOf(1);
                recorder.StopRecording();
            }
            QVERIFY(dispatcher.WaitServing([&] { return !recorder.Recording(); }, 60s));
            QVERIFY(recognition.WaitForWorkers(20s));
            QVERIFY(!session.Inhibited());

            const QStringList got = LogOf(c.DeviceFails || c.StopAfterStart ? 2 : 5);
            const QString trace = QString::fromUtf8(c.Name) + ":\n" + got.join('\n');
            QVERIFY2(got.size() >= 2, qPrintable(trace));
            QVERIFY2(got.front().startsWith("Inhibit Kestrune Recording... -> "), qPrintable(trace));
            const QString cookie = got.front().section(QStringLiteral(" -> "), 1);
            QCOMPARE(got.filter(QStringLiteral("UnInhibit")), QStringList{"UnInhibit " + cookie});
            QCOMPARE(got.filter(QStringLiteral("Inhibit Kestrune")).size(), 1);
            if (c.DeviceFails || c.StopAfterStart) {
                QVERIFY2(got.filter(QStringLiteral("Notify")).isEmpty(), qPrintable(trace));
                continue;
            }
            // Both tracks announced by their file names, then each replaced
            // by its title.
            const QString prefix = QStringLiteral("Notify Kestrune ");
            const QString first = got.filter(QStringLiteral("Track0.WAV")).value(0).section(QStringLiteral(" -> "), 1);
            const QString second = got.filter(QStringLiteral("Track1.WAV")).value(0).section(QStringLiteral(" -> "), 1);
            QVERIFY2(got.contains(prefix + "0 kestrune [kestrune] Track0.WAV | Recorded, 00:03 -> " + first),
                     qPrintable(trace));
            QVERIFY2(first != second, qPrintable(trace));
            QVERIFY2(got.contains(prefix + "0 kestrune [kestrune] Track1.WAV | Recorded, 00:04 -> " + second),
                     qPrintable(trace));
            QVERIFY2(got.contains(prefix + first + " kestrune [kestrune] Song 3 | Band 3 - LP, 00:03 -> " + first),
                     qPrintable(trace));
            QVERIFY2(got.contains(prefix + second + " kestrune [kestrune] Song 4 | Band 4 - LP, 00:04 -> " + second),
                     qPrintable(trace));
            QCOMPARE(got.size(), 6);
        }
    }
};

QTEST_MAIN(DesktopSessionTest)
#include "DesktopSessionTest.moc"
