#pragma once

#include "cd/ICdDrive.h"
#include "common/ui/TQtDesktop.h"
#include "common/ui/TQtDesktopSession.h"
#include "common/ui/TQtDialogs.h"
#include "common/ui/TQtDispatcher.h"
#include "formats/TGenreList.h"
#include "settings/IFreeDBServers.h"

#include <chrono>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrune {

class IOptionsPlatform;
class TFBurn;
class TFConvert;
class TFMain;
class TFTrackInfo;
class TFTrackList;
class TMainController;
class TSessionGuard;
enum class TWindowCommand;

// The desktop program from its command line to the shown main window: the
// options, the genre list, the main controller, the windows that live as
// long as the program, the first-run pass and the default album name. The
// event loop is the caller's.
class TDesktopProgram {
public:
    struct TArgs {
        std::string ConfigFile; // empty: the settings file's usual place
        bool QuitAfterFirstPaint = false;
        // Start even when the program already runs on the same settings.
        bool NewInstance = false;
        // BIN/CUE images the rip window lists after the drives.
        std::vector<std::string> CdImages = {};
    };
    // Reads the command line (without the program's name). -1 when the
    // program goes on; otherwise the exit status, after the help or version
    // text on Out or the usage on Err.
    static int ParseArgs(const std::vector<std::string>& Words, TArgs& Args, std::ostream& Out, std::ostream& Err);
    static std::string Usage();
    // The settings file the program uses for Args.
    static std::string IniFileName(const TArgs& Args);

    // Creates the main window and, through its controller, the options and
    // the genre list, then the windows created once. Platform outlives the
    // program.
    TDesktopProgram(const TArgs& Args, IOptionsPlatform& Platform);
    // Lets go of the windows' ties to the controller, then ends the
    // controller (which stops a recording still running).
    ~TDesktopProgram();
    TDesktopProgram(const TDesktopProgram&) = delete;
    TDesktopProgram& operator=(const TDesktopProgram&) = delete;

    // The first-run pass (the welcome window and the settings window in its
    // first-run mode when there was no settings file), then the main window
    // with its default album name for Today.
    void Start(std::chrono::year_month_day Today);
    // Today in the local calendar.
    static std::chrono::year_month_day LocalToday();

    TFMain& Window() { return *FWindow; }
    TMainController& Main() { return *FMain; }
    TQtDispatcher& Dispatcher() { return FDispatcher; }
    // Made when first needed, or soon after the main window's first paint
    // (it looks for the writer drives then).
    TFBurn& BurnWindow() { return EnsureBurn(); }

private:
    // The album-information servers the settings window lists.
    class TFreeDBServers final : public IFreeDBServers {
    public:
        std::optional<std::string> ServerName(int Index) override;
    };

    // The settings window, made for each showing; the follow-up it chose.
    TWindowCommand ShowSettings();
    // The conversion window, made once: its files and settings stay.
    TWindowCommand ShowConvert();
    // The rip window, made for each opening and freed when it closes.
    TWindowCommand ShowRip();
    // The burn window, made once: the recordings become its queue, then it
    // shows.
    TWindowCommand ShowBurn();
    // The burn window, made on the first call: then it looks for the writer
    // drives, and the recorder offers it the tracks of the automatic
    // writing mode.
    TFBurn& EnsureBurn();

    TQtDispatcher FDispatcher;
    TQtDialogs FDialogs;
    TQtDesktop FDesktop;
    // The application's one genre list, which the tag writer reads too.
    TGenreList& FGenres = GenreList();
    std::unique_ptr<TFMain> FWindow;
    // Children of the main window: freed with it.
    TFTrackInfo* TrackInfo = nullptr;
    TFTrackList* TrackList = nullptr;
    TFConvert* Convert = nullptr; // made when first shown
    // Made once needed (see EnsureBurn) and freed before the controller
    // whose options it reads.
    TFBurn* Burn = nullptr;
    std::unique_ptr<TMainController> FMain;
    TQtDesktopSession FSession;
    std::unique_ptr<TSessionGuard> FSessionGuard;
    TFreeDBServers FFreeDB;
    // The CD drives and the images named on the command line.
    std::shared_ptr<ICdDriveProvider> FCdDrives;
};

} // namespace kestrune
