#pragma once

#include "common/IDesktop.h"
#include "common/IDialogs.h"
#include "recording/IMainWindows.h"

#include <functional>
#include <string>

namespace kestrune {

class TMainController;

// The main window's commands that open other windows: Settings, Convert,
// Burn, Rip, Wizard, Online Help and About, and the follow-up chain
// (`NextWindow`): a window may leave a command behind, which runs when it
// has closed, and is itself followed up the same way. Window thread only.
class TMainCommands {
public:
    static constexpr const char* NoWriterText = "No CD-RW drives available";

    TMainCommands(TMainController& Main, IMainWindows& Windows, IDialogs& Dialogs, IDesktop& Desktop,
                  std::string HelpPage);

    void Settings();
    void Convert();
    // Without a CD writer only the warning; otherwise the burn window opens
    // on the recordings list's files.
    void Burn();
    void Rip();
    // The wizard: record (album, genre and folder, saved; then the recording
    // starts on "Record"), burn or convert. Cancel on any page ends it; on
    // the second page nothing is saved.
    void Wizard();
    // Opens the help page shipped with the program in the desktop's browser;
    // false when it could not be opened.
    bool OnlineHelp();
    void About();

    // Runs the command a window left behind, and what that one leaves.
    void FollowUp(TWindowCommand Next);
    TWindowCommand NextWindow() const { return FNextWindow; }

    // Whether a CD writer was found; none until the burn window's drive scan
    // says so.
    std::function<bool()> WriterAvailable;

private:
    void Run(TWindowCommand Command);
    // Shows a window that exists, then runs what it left behind.
    void Open(bool Available, const std::function<TWindowCommand()>& Show);

    TMainController& Main;
    IMainWindows& Windows;
    IDialogs& Dialogs;
    IDesktop& Desktop;
    std::string HelpPage;
    TWindowCommand FNextWindow = TWindowCommand::wcNone;
};

} // namespace kestrune
