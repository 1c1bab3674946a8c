#include "recording/TMainCommands.h"

#include "recording/TMainController.h"

#include <algorithm>
#include <exception>
#include <filesystem>

namespace kestrune {

TMainCommands::TMainCommands(TMainController& MainController, IMainWindows& MainWindows, IDialogs& MessageBoxes,
                             IDesktop& DesktopHandlers, std::string HelpPageFile)
    : Main(MainController), Windows(MainWindows), Dialogs(MessageBoxes), Desktop(DesktopHandlers),
      HelpPage(std::move(HelpPageFile))
{
}

void TMainCommands::Run(TWindowCommand Command)
{
    switch (Command) {
    case TWindowCommand::wcWizard:
        Wizard();
        break;
    case TWindowCommand::wcSettings:
        Settings();
        break;
    case TWindowCommand::wcBurn:
        Burn();
        break;
    case TWindowCommand::wcConvert:
        Convert();
        break;
    case TWindowCommand::wcNone:
        break;
    }
}

void TMainCommands::FollowUp(TWindowCommand Next)
{
    // A window reached this way may leave a command of its own, which runs in
    // turn: the chain goes on as long as the user keeps choosing.
    Run(Next);
}

void TMainCommands::Open(bool Available, const std::function<TWindowCommand()>& Show)
{
    FNextWindow = TWindowCommand::wcNone;
    if (!Available)
        return;
    FNextWindow = Show();
    FollowUp(FNextWindow);
}

void TMainCommands::Settings()
{
    Open(Windows.Available(TWindowCommand::wcSettings), [this] { return Windows.ShowSettings(); });
}

void TMainCommands::Convert()
{
    Open(Windows.Available(TWindowCommand::wcConvert), [this] { return Windows.ShowConvert(); });
}

void TMainCommands::Burn()
{
    if (!WriterAvailable || !WriterAvailable()) {
        Dialogs.Warning(NoWriterText);
        return;
    }
    Open(Windows.Available(TWindowCommand::wcBurn), [this] { return Windows.ShowBurn(); });
}

void TMainCommands::Rip()
{
    Open(Windows.RipAvailable(), [this] { return Windows.ShowRip(); });
}

void TMainCommands::About()
{
    Windows.ShowAbout();
}

bool TMainCommands::OnlineHelp()
{
    std::error_code error;
    if (HelpPage.empty() || !std::filesystem::is_regular_file(HelpPage, error) || !Desktop.Open(HelpPage)) {
        Dialogs.Error("The help page could not be opened: " + (HelpPage.empty() ? "it is not installed" : HelpPage));
        return false;
    }
    return true;
}

void TMainCommands::Wizard()
{
    switch (Windows.ShowWizardStart()) {
    case IMainWindows::TWizardChoice::wzCancelled:
        return;
    case IMainWindows::TWizardChoice::wzBurn:
        Burn();
        return;
    case IMainWindows::TWizardChoice::wzConvert:
        Convert();
        return;
    case IMainWindows::TWizardChoice::wzRecord:
        break;
    }

    TRecorder& recorder = Main.Recorder();
    IMainWindows::TWizardAlbum album;
    album.AlbumName = recorder.GetAlbumName();
    album.Genres = Main.Genres().Names();
    const auto current = std::find(album.Genres.begin(), album.Genres.end(), recorder.GetGenre());
    album.GenreIndex =
        recorder.GetGenre().empty() || current == album.Genres.end() ? -1 : static_cast<int>(current - album.Genres.begin());
    album.Folder = Main.Options().Folder;
    // Cancel here leaves the album, the genre and the folder as they were and
    // saves nothing.
    if (!Windows.ShowWizardAlbum(album))
        return;

    const bool genreChosen = album.GenreIndex >= 0 && album.GenreIndex < static_cast<int>(album.Genres.size());
    recorder.SetAlbumName(album.AlbumName);
    recorder.SetGenre(genreChosen ? album.Genres[static_cast<size_t>(album.GenreIndex)] : std::string());
    Windows.ShowAlbum(album.AlbumName, genreChosen ? album.GenreIndex : -1);
    std::string folder = album.Folder;
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    Main.Options().Folder = folder;
    try {
        Main.Options().Save();
    } catch (const std::exception& e) {
        // A recording into a folder the settings could not keep would surprise
        // the user at the next start; say so and record nothing.
        Dialogs.Error(e.what());
        return;
    }
    if (Windows.ShowWizardRecord())
        recorder.StartRecording();
}

} // namespace kestrune
