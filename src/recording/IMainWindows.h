#pragma once

#include <string>
#include <vector>

namespace kestrune {

// The follow-up command a window opened from the main window may leave
// behind (`NextWindow`); the values are those the windows store.
enum class TWindowCommand { wcNone = -1, wcWizard = 0, wcSettings = 1, wcBurn = 2, wcConvert = 3 };

// The windows that the main window's commands open, as the desktop program
// (or a test) provides them. Every Show call is modal: it returns when the
// window has closed. Window thread only.
class IMainWindows {
public:
    virtual ~IMainWindows() = default;

    // The wizard's first page (`TFWizard0`): what the user wants to do.
    enum class TWizardChoice { wzRecord, wzBurn, wzConvert, wzCancelled };
    virtual TWizardChoice ShowWizardStart() = 0;

    // The wizard's second page (`TFWizard1`), filled from the main window.
    struct TWizardAlbum {
        std::string AlbumName;
        std::vector<std::string> Genres; // the genre chooser's entries
        int GenreIndex = -1;             // the selected one, -1 none
        std::string Folder;              // the root of the recordings
    };
    // True when left with "Next"; Album then holds the user's choices.
    virtual bool ShowWizardAlbum(TWizardAlbum& Album) = 0;
    // The last page (`TFWizard2`): true when left with "Record".
    virtual bool ShowWizardRecord() = 0;

    // The main window's album name field and genre chooser show these now.
    virtual void ShowAlbum(const std::string& AlbumName, int GenreIndex) = 0;

    // The windows of the other tools. Each returns the follow-up command it
    // left behind. Only called while Available says the window exists.
    virtual bool Available(TWindowCommand Window) const = 0;
    virtual TWindowCommand ShowSettings() = 0;
    virtual TWindowCommand ShowConvert() = 0;
    virtual TWindowCommand ShowBurn() = 0;
    virtual TWindowCommand ShowRip() = 0;
    virtual bool RipAvailable() const = 0;

    virtual void ShowAbout() = 0;
};

} // namespace kestrune
