#include "app/TDesktopProgram.h"

#include "recording/TSessionGuard.h"

#include "burn/TCdWriter.h"
#include "burn/ui/TFBurn.h"
#include "cd/TCddbClient.h"
#include "cd/TCdioDriveProvider.h"
#include "convert/ui/TFConvert.h"
#include "recording/THelpPages.h"
#include "recording/TMainController.h"
#include "recording/ui/TFFirst.h"
#include "recording/ui/TFMain.h"
#include "recording/ui/TFTrackInfo.h"
#include "recording/ui/TFTrackList.h"
#include "recording/ui/TLevelPanel.h"
#include "rip/ui/TFRip.h"
#include "settings/TOptions.h"
#include "settings/TSettingsLocation.h"
#include "settings/ui/TFSettings.h"

#include <QEvent>
#include <QTimer>

#include <ctime>
#include <exception>
#include <ostream>

namespace kestrune {

namespace {

// Runs Then once, from the event loop, after Watched was first painted.
class TAfterFirstPaint final : public QObject {
public:
    TAfterFirstPaint(std::function<void()> Then, QObject* Parent) : QObject(Parent), FThen(std::move(Then)) {}

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if (Event->type() == QEvent::Paint && FThen) {
            Watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                const std::function<void()> then = std::move(FThen);
                FThen = nullptr;
                then();
                deleteLater();
            });
        }
        return QObject::eventFilter(Watched, Event);
    }

private:
    std::function<void()> FThen;
};

} // namespace

std::string TDesktopProgram::Usage()
{
    return "Usage: kestrune [options]\n"
           "\n"
           "Records the sound card's input, one file per song, and recognises the songs.\n"
           "\n"
           "Options:\n"
           "  --config FILE   the settings file to read and write (default:\n"
           "                  $XDG_CONFIG_HOME/kestrune/kestrune.ini, or kestrune.ini beside\n"
           "                  the program when one is there)\n"
           "  --cd-image FILE.cue\n"
           "                  a BIN/CUE image the rip window lists as a drive (may be\n"
           "                  given more than once)\n"
           "  --new-instance  start even when Kestrune already runs with the same settings\n"
           "                  (otherwise the running one comes to the front)\n"
           "  --quit-after-first-paint\n"
           "                  end as soon as the main window has been drawn (start-up\n"
           "                  benchmarks)\n"
           "  --help          this text\n"
           "  --version       the program's version\n";
}

int TDesktopProgram::ParseArgs(const std::vector<std::string>& Words, TArgs& Args, std::ostream& Out, std::ostream& Err)
{
    for (size_t i = 0; i < Words.size(); ++i) {
        const std::string& word = Words[i];
        if (word == "--help" || word == "-h") {
            Out << Usage();
            return 0;
        }
        if (word == "--version") {
            Out << "kestrune " KESTRUNE_VERSION "\n";
            return 0;
        }
        if (word == "--config" && i + 1 < Words.size() && !Words[i + 1].empty()) {
            Args.ConfigFile = Words[++i];
            continue;
        }
        if (word == "--cd-image" && i + 1 < Words.size() && !Words[i + 1].empty()) {
            Args.CdImages.push_back(Words[++i]);
            continue;
        }
        if (word == "--new-instance") {
            Args.NewInstance = true;
            continue;
        }
        if (word == "--quit-after-first-paint") {
            Args.QuitAfterFirstPaint = true;
            continue;
        }
        if (word.rfind("--config=", 0) == 0 && word.size() > 9) {
            Args.ConfigFile = word.substr(9);
            continue;
        }
        if (word == "--cd-image")
            Err << "kestrune: --cd-image needs a file name\n";
        else
            Err << (word == "--config" || word == "--config=" ? std::string("kestrune: --config needs a file name\n")
                                                              : "kestrune: unknown option \"" + word + "\"\n");
        Err << Usage();
        return 2;
    }
    return -1;
}

std::string TDesktopProgram::IniFileName(const TArgs& Args)
{
    return Args.ConfigFile.empty() ? TSettingsLocation::IniFileName(TSettingsLocation::ProgramFolder())
                                   : Args.ConfigFile;
}

TDesktopProgram::TDesktopProgram(const TArgs& Args, IOptionsPlatform& Platform)
    : FCdDrives(std::make_shared<TCdioDriveProvider>(Args.CdImages))
{
    // Work posted from a worker that throws has nobody to tell but the user.
    FDispatcher.OnUnhandled = [this](const std::string& Message) { FDialogs.Error(Message); };

    FWindow = std::make_unique<TFMain>(FDialogs, FDesktop);
    const std::string programFolder = TSettingsLocation::ProgramFolder();
    auto options = std::make_unique<TOptions>(IniFileName(Args), Platform,
                                              TOptions::TDefaults{TSettingsLocation::RecordsFolder(programFolder)});
    // Warns when there is no capture device, and loads the genre list.
    FMain = std::make_unique<TMainController>(std::move(options),
                                              TMainController::TViews{*FWindow, *FWindow, FDialogs, FDispatcher},
                                              FGenres, TGenreList::DefaultFile());

    TrackInfo = new TFTrackInfo(FWindow.get());
    TrackInfo->SetGenres(FGenres.Names());
    TrackList = new TFTrackList(FWindow.get());
    FWindow->Attach(*FMain, new TLevelPanel(FMain->Recorder()), *TrackInfo, *TrackList, THelpPages::IndexPage());
    // The session stays awake while recording; kept tracks are announced.
    FSessionGuard = std::make_unique<TSessionGuard>(FMain->Recorder(), FMain->Recognition(), FMain->List(), FSession);
    // The other windows are made when first opened, so the main window comes
    // up sooner; their commands are on from the start.
    FWindow->SetWindow(TWindowCommand::wcSettings, [this] { return ShowSettings(); });
    FWindow->SetWindow(TWindowCommand::wcConvert, [this] { return ShowConvert(); });
    FWindow->SetRipWindow([this] { return ShowRip(); });
    FWindow->Commands()->WriterAvailable = [this] { return EnsureBurn().Controller().WriterAvailable(); };
    FWindow->SetWindow(TWindowCommand::wcBurn, [this] { return ShowBurn(); });
}

TFBurn& TDesktopProgram::EnsureBurn()
{
    if (Burn)
        return *Burn;
    // The burn window, hidden; it looks for the writer drives as soon as the
    // event loop runs. The image drive writes where the settings say.
    TOptions& opts = FMain->Options();
    Burn =
        new TFBurn(TBurnWindowContext{opts, FDialogs, FDispatcher,
                                      TCdWriter::Standard(FDispatcher, opts.ImageCuePath(), opts.ImageMinutes),
                                      [this] { FWindow->Commands()->OnlineHelp(); }, [this] { FWindow->ShowAbout(); }},
                   FWindow.get());
    // The automatic writing mode: the recorder offers each kept track to it.
    FMain->SetBurn(&Burn->Controller());
    // While the drives load the main window's status line says so.
    Burn->Controller().SetMainStatus([this](const std::string& Text) { FWindow->SetStatusText(Text); });
    return *Burn;
}

TWindowCommand TDesktopProgram::ShowBurn()
{
    std::vector<std::string> files;
    const TRecordingsList& list = FMain->List();
    for (int i = 0; i < list.Count(); ++i)
        if (list.Row(i).Data)
            files.push_back(list.Row(i).Data->FileName);
    // The follow-ups carry the main window's own numbers.
    return static_cast<TWindowCommand>(EnsureBurn().Run(files));
}

TWindowCommand TDesktopProgram::ShowConvert()
{
    if (!Convert)
        Convert = new TFConvert(
            FDialogs, FDispatcher, FMain->Options().PlaybackDriver, FMain->Options().Folder,
            [this] { FWindow->Commands()->OnlineHelp(); }, [this] { FWindow->ShowAbout(); }, FWindow.get());
    // The settings may have moved the folder or the playback device since.
    Convert->SetFolder(FMain->Options().Folder);
    Convert->SetPlaybackDevice(FMain->Options().PlaybackDriver);
    // The follow-ups carry the main window's own numbers.
    return static_cast<TWindowCommand>(Convert->Run());
}

std::optional<std::string> TDesktopProgram::TFreeDBServers::ServerName(int Index)
{
    std::string name = TCddbClient::ServerName(TCddbSettings{}, Index);
    if (name.empty())
        return std::nullopt;
    return name;
}

TWindowCommand TDesktopProgram::ShowSettings()
{
    TSettingsWindowContext context{FMain->Options(),
                                   FDialogs,
                                   *FMain,
                                   EnsureBurn().Controller(),
                                   &FFreeDB,
                                   FDispatcher,
                                   [this] { FWindow->Commands()->OnlineHelp(); },
                                   [this] { FWindow->ShowAbout(); }};
    TFSettings window(std::move(context), FWindow.get());
    // The follow-ups carry the main window's own numbers.
    return static_cast<TWindowCommand>(window.Run());
}

TWindowCommand TDesktopProgram::ShowRip()
{
    TRipWindowContext context{FMain->Options(),
                              FDialogs,
                              FDispatcher,
                              FCdDrives,
                              [this] { FWindow->Commands()->OnlineHelp(); },
                              [this] { FWindow->ShowAbout(); },
                              FGenres.Names()};
    TFRip window(std::move(context), FWindow.get());
    // The follow-ups carry the main window's own numbers.
    return static_cast<TWindowCommand>(window.Run());
}

TDesktopProgram::~TDesktopProgram()
{
    FSessionGuard.reset();
    FWindow->Detach();
    // The recorder lets go of the burn window, and a write still running
    // stops, before the options they read go.
    FMain->SetBurn(nullptr);
    delete Burn;
    Burn = nullptr;
    FMain.reset();
}

void TDesktopProgram::Start(std::chrono::year_month_day Today)
{
    if (FMain->FirstRun()) {
        TFFirst welcome;
        welcome.exec();
        // The settings window in its first-run mode: only Save leaves it
        // with a settings file, after the noise capture it offers.
        ShowSettings();
    }
    FWindow->ShowMain(Today);
    // The writer drives are looked for once the main window is on screen.
    FWindow->installEventFilter(new TAfterFirstPaint([this] { EnsureBurn(); }, FWindow.get()));
}

std::chrono::year_month_day TDesktopProgram::LocalToday()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return std::chrono::year_month_day{std::chrono::year{local.tm_year + 1900},
                                       std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)},
                                       std::chrono::day{static_cast<unsigned>(local.tm_mday)}};
}

} // namespace kestrune
