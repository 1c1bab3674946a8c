#pragma once

#include <string>
#include <vector>

namespace kestrune {

// What the burn window's shortcut buttons and Tools entries ask the main
// window to open once the burn window has closed; the numbers are the main
// window's.
enum class TBurnFollowUp { bfNone = -1, bfWizard = 0, bfSettings = 1, bfConvert = 3 };

// One row of the queue list.
struct TBurnRow {
    std::string Type;     // ".MP3"
    std::string Name;     // the path
    std::string Duration; // "03:25"
    bool operator==(const TBurnRow&) const = default;
};

// What the burn controller asks of its window (or of the command line, or a
// test). Window thread only.
class IBurnView {
public:
    virtual ~IBurnView() = default;

    virtual void SetDrives(const std::vector<std::string>& Entries, int Chosen) = 0;
    virtual void SetSpeeds(const std::vector<std::string>& Entries, int Chosen) = 0;
    virtual void SetStatus(const std::string& Text) = 0;
    // The media and disc status line ("CD-R | Blank", "No disc").
    virtual void SetDescription(const std::string& Text) = 0;
    // The space line; Overfull draws it in the warning colour.
    virtual void SetSpace(const std::string& Text, bool Overfull) = 0;
    virtual void SetRows(const std::vector<TBurnRow>& Rows) = 0;
    // The control set: erase, load, eject and every menu item.
    virtual void EnableControls(bool Enabled) = 0;
    // "BURN CD!" or "STOP", and whether it works.
    virtual void SetBurnButton(const std::string& Caption, bool Enabled) = 0;
    virtual void ShowProgress(bool Visible, int Percent) = 0;
    virtual void SetBusy(bool Busy) = 0;
    // Whether the window is on screen (the automatic mode burns hidden).
    virtual bool Shown() const = 0;
};

} // namespace kestrune
