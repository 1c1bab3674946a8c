// How long the desktop program's GUI thread is kept from its event loop while
// it records with song recognition on: the real program (its start-up, main
// window and controllers) records a virtual capture device in real time for
// the given seconds, its Start and Stop buttons pressed as a user would, with
// the lookup service on loopback. A probe notes the longest stretch between
// two turns of the event loop (a turn ends when the loop goes to wait again)
// and the longest delay of a 5 ms timer.
//
//   kestrune-gui-latency CAPTURE.wav SECONDS
#include "app/TDesktopProgram.h"
#include "common/ui/TSkin.h"
#include "recognition/TFakeLookupService.h"
#include "recording/TMainController.h"
#include "recording/ui/TFMain.h"
#include "settings/TSystemOptionsPlatform.h"

#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace kestrune;

namespace {

class TLoopProbe {
public:
    TLoopProbe()
    {
        Clock.start();
        auto* loop = QAbstractEventDispatcher::instance();
        QObject::connect(loop, &QAbstractEventDispatcher::awake, [this] { Awake = Clock.nsecsElapsed(); });
        QObject::connect(loop, &QAbstractEventDispatcher::aboutToBlock, [this] {
            const qint64 now = Clock.nsecsElapsed();
            if (Awake >= 0)
                LongestTurn = std::max(LongestTurn, now - Awake);
            Awake = -1;
        });
        Tick.setTimerType(Qt::PreciseTimer);
        Tick.setInterval(5);
        QObject::connect(&Tick, &QTimer::timeout, [this] {
            const qint64 now = Clock.nsecsElapsed();
            if (LastTick >= 0)
                LongestTickGap = std::max(LongestTickGap, now - LastTick);
            LastTick = now;
            ++Ticks;
        });
        Tick.start();
    }
    double LongestTurnMs() const { return static_cast<double>(LongestTurn) / 1e6; }
    double LongestTickDelayMs() const { return static_cast<double>(LongestTickGap) / 1e6 - 5.0; }
    long long TickCount() const { return Ticks; }

private:
    QElapsedTimer Clock;
    QTimer Tick;
    qint64 Awake = -1;
    qint64 LongestTurn = 0;
    qint64 LastTick = -1;
    qint64 LongestTickGap = 0;
    long long Ticks = 0;
};

QAbstractButton* Button(TFMain& Window, const char* Name)
{
    auto* button = Window.findChild<QAbstractButton*>(Name);
    if (!button) {
        std::fprintf(stderr, "no button %s\n", Name);
        std::exit(1);
    }
    return button;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: kestrune-gui-latency CAPTURE.wav SECONDS\n");
        return 2;
    }
    const std::string capture = std::filesystem::absolute(argv[1]).string();
    const int seconds = std::atoi(argv[2]);

    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    TSkin::Apply(app);

    // Every fingerprint finds two songs, after the delay a distant server
    // would take.
    test::TFakeLookupService service;
    std::atomic<int> lookups{0};
    service.SetAnswer([&](const test::TFakeLookupService::TRequest&) {
        ++lookups;
        test::TFakeLookupService::TAnswer answer;
        answer.Delay = std::chrono::milliseconds(150);
        answer.Body = test::TFakeLookupService::Matches({{"First Song", "Some Artist", "An Album"},
                                                         {"Second Song", "Other Artist", "Another Album"}});
        return answer;
    });

    const std::filesystem::path home = std::filesystem::temp_directory_path() / ("kestrune-latency-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    const std::string ini = (home / "kestrune.ini").string();
    std::ofstream(ini) << "[General]\nFolder=" << (home / "Records").string() << "/\n"
                       << "[Recording]\nDriver=virtual:" << capture << "\n"
                       << "[Recordings]\nFormat=MP3\nAutoRecognize=1\n"
                       << "[Silence]\nSilenceLg=1500\nMinLength=5\nLevel16=300\n"
                       << "[Recognition]\nServer=" << service.Url() << "\nKey=bench\n";

    TSystemOptionsPlatform platform;
    TDesktopProgram::TArgs args;
    args.ConfigFile = ini;
    int kept = 0;
    double turn = 0, tick = 0;
    long long ticks = 0;
    {
        TDesktopProgram program(args, platform);
        program.Start(TDesktopProgram::LocalToday());
        TLoopProbe probe;
        QTimer::singleShot(500, [&] { Button(program.Window(), "BtnStartRecord")->click(); });
        QTimer::singleShot(500 + seconds * 1000, [&] { Button(program.Window(), "BtnStopRec")->click(); });
        QTimer finish;
        finish.setInterval(50);
        QObject::connect(&finish, &QTimer::timeout, [&] {
            if (probe.TickCount() > 200 && !program.Main().Recorder().Recording() &&
                program.Main().Recognition().RecognitionCount() == 0)
                QApplication::quit();
        });
        QTimer::singleShot(1000, [&] { finish.start(); });
        QApplication::exec();
        turn = probe.LongestTurnMs();
        tick = probe.LongestTickDelayMs();
        ticks = probe.TickCount();
        kept = program.Main().List().Count();
    }
    std::printf("recorded %d s: %d tracks kept, %d lookups; timer ticks %lld\n", seconds, kept, lookups.load(), ticks);
    std::printf("longest event-loop turn %.2f ms, longest timer delay %.2f ms  goal <= 20 ms  %s\n", turn, tick,
                std::max(turn, tick) <= 20.0 ? "met" : "MISSED");
    std::filesystem::remove_all(home);
    return 0;
}
