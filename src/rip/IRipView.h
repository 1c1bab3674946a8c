#pragma once

#include <string>
#include <vector>

namespace kestrune {

// What the rip window's shortcut buttons and Tools entries ask the main
// window to open once the rip window has closed; the numbers are the main
// window's.
enum class TRipFollowUp { rfNone = -1, rfWizard = 0, rfSettings = 1, rfBurn = 2, rfConvert = 3 };

// One row of the track list: what each column shows. Tag is the hidden
// column that finds the track again (session * 100 + track, both from 0).
struct TRipRow {
    std::string Caption; // the track name; the user may edit it
    bool Checked = false;
    std::string Type;
    std::string Isrc;
    std::string Duration;
    std::string Percent;
    std::string Tag;

    bool operator==(const TRipRow&) const = default;
};

// What the rip controller asks of its window (or of the command line, or of
// a test) besides the job events: the controls it fills and switches.
// Called on the window thread only.
class IRipView {
public:
    virtual ~IRipView() = default;

    // The drive list and the entry chosen (-1: none). Filling the list never
    // counts as the user's choice.
    virtual void SetDrives(const std::vector<std::string>& Entries, int Chosen) = 0;
    virtual void SetStatus(const std::string& Text) = 0;
    // "CDDB ID: " and the disc identifier.
    virtual void SetDiscIdText(const std::string& Text) = 0;
    virtual void SetAlbumFields(const std::string& Album, const std::string& Artist, const std::string& Genre) = 0;
    // The album entry chooser: its range and the entry shown (1-based).
    // Setting it never counts as the user's choice.
    virtual void SetAlbumEntryRange(int Minimum, int Maximum, int Value) = 0;
    // The whole list anew, and a change of one row (its percent, its check).
    virtual void SetRows(const std::vector<TRipRow>& Rows) = 0;
    virtual void RowChanged(int Index, const TRipRow& Row) = 0;
    virtual void SelectRow(int Index) = 0;
    // The control set, on or off as one: the drive list, the two check
    // boxes, the grab and save buttons, the format list, the entry chooser,
    // the Grab/Save/Eject/Load menu items, and the format options (only
    // while a format with options is chosen: OptionsEnabled). Off also hides
    // the CD menu.
    virtual void EnableControls(bool Enabled) = 0;
    // The drive list alone (and the CD menu shown again, its items still
    // off), after a refresh found no usable disc.
    virtual void EnableDriveChoice(bool Enabled) = 0;
    // The grab button: "Grab Track" or "Stop grabing", and whether it works.
    virtual void SetGrabButton(const std::string& Caption, bool Enabled) = 0;
    // The gauge in the status bar, 0 to 100.
    virtual void ShowProgress(bool Visible, int Percent) = 0;
    // The hourglass while the drives or the track list are read.
    virtual void SetBusy(bool Busy) = 0;
};

} // namespace kestrune
