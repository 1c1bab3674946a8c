#pragma once

#include "common/IDialogs.h"
#include "settings/IBurnDrives.h"
#include "settings/IFreeDBServers.h"
#include "settings/ISettingsHost.h"
#include "settings/ISettingsView.h"
#include "settings/TEncoderSettings.h"
#include "settings/TOptions.h"

#include <array>
#include <string>
#include <vector>

namespace kestrune {

// Where the settings window leaves the main window when one of its shortcut
// buttons closes it; the values are those of the main window's follow-up
// commands.
enum class TSettingsFollowUp { sfNone = -1, sfWizard = 0, sfBurn = 2, sfConvert = 3 };

// Everything the settings window does besides drawing: filling every page
// from the options, the reactions to the user's choices, the checks of Save
// in their order with their texts, the noise capture it asks for, and the
// shortcut buttons. The window (or a test) is its view; it forwards the
// user's changes through Select, Edit and Check.
//
// The controller keeps each control's state (items, selection, text, tick)
// as the view shows it, so Save reads the controls from here.
//
// Threads: window thread only.
class TSettingsController {
public:
    struct TControlState {
        std::vector<std::string> Items;
        int Selection = -1;
        std::string Text; // edits; lists read their selected item instead
        bool Checked = false;
    };

    // The public album-information host, listed when the component has none.
    static constexpr const char* FallbackFreeDBServer = "gnudb.gnudb.org";
    // Where an application key for the recognition service is obtained.
    static constexpr const char* RecognitionKeyHint =
        "An application key for the recognition service is free at https://acoustid.org/new-application";
    static constexpr const char* NoiseCaptureQuestion =
        "In order to capture correctly the noise level of your driver, \r\n"
        "please close all the applications that can generate sounds!";

    // The Driver list's last entry, which asks for a WAV file to record from.
    static constexpr const char* WavFileEntry = "A WAV file as a card...";
    // The Recording page's notices, said there once instead of in boxes.
    static constexpr const char* NoDeviceNotice =
        "No input driver available! No sound card for recording was found. Converting, ripping and "
        "burning still work; to try recording, choose the built-in demo card or a WAV file as a card above.";
    static constexpr const char* NoMixerNotice =
        "Cannot access volume control! This device has no input lines to choose from; it records what it "
        "delivers.";
    static constexpr const char* StandInNotice =
        "A stand-in card: it plays its signal into the recorder, with no input line to choose and no noise "
        "to measure.";
    // Asked when the first-time setup is closed without saving.
    static constexpr const char* SetUpLaterQuestion =
        "Leave the first-time setup and set up later?\n\nKestrune keeps its usual settings; you can change "
        "them at any time under Tools > Settings.";

    static const std::vector<std::string>& WriteModeTexts();
    static const std::vector<std::string>& WriteMethodTexts();
    static const std::vector<std::string>& ReadModeTexts();
    static const std::vector<std::string>& ReadActionTexts();
    // The lowest and highest value of an integer edit.
    static void IntegerRange(TSettingsControl Control, int& Min, int& Max);

    // FreeDB may be null: then only the fallback host is listed.
    TSettingsController(TOptions& Options, ISettingsView& View, IDialogs& Dialogs, ISettingsHost& Host,
                        IBurnDrives& Drives, IFreeDBServers* FreeDB);

    // Fills every page from the options, with the messages about missing
    // devices and lines on the way, and shows the CD Rip page. The view then
    // shows itself modally.
    void Fill();

    // The user's changes.
    void Select(TSettingsControl Control, int Index);
    void Edit(TSettingsControl Control, const std::string& Text);
    void Check(TSettingsControl Control, bool Checked);
    // The user chose tree entry Index (a page); false when it was refused
    // and the current page stays.
    bool ChooseTreeEntry(int Index);

    // "Save Settings": true when the options were written and the window closed.
    bool Save();
    // "Capture noise level"; true when the capture reached "Test finished"
    // and its levels were kept.
    bool CaptureNoiseLevel();
    // "Cancel" and File > "Exit". In first-run mode it asks whether to set
    // up later; a yes saves the settings as they are and ends first-run mode.
    void Cancel();
    // The wizard, burn and convert buttons: close without saving.
    void Shortcut(TSettingsFollowUp Next);
    TSettingsFollowUp FollowUp() const { return FFollowUp; }

    const TControlState& Control(TSettingsControl C) const { return Controls[Index(C)]; }
    // The selected item of a list, or "" when none is selected.
    std::string SelectedText(TSettingsControl C) const;
    bool FirstRunMode() const { return FFirstRunMode; }
    bool BitrateVisible() const { return FBitrateVisible; }
    bool ProxyVisible() const { return FProxyVisible; }
    TSettingsPage Page() const { return FPage; }

private:
    static std::size_t Index(TSettingsControl C) { return static_cast<std::size_t>(C); }
    TControlState& State(TSettingsControl C) { return Controls[Index(C)]; }
    // Pushes to the state and the view.
    void PutItems(TSettingsControl C, std::vector<std::string> Items, int Selection);
    void PutSelection(TSettingsControl C, int Selection);
    void PutText(TSettingsControl C, const std::string& Text);
    void PutChecked(TSettingsControl C, bool Checked);
    void ShowBitrate(bool Visible);
    void ShowProxy(bool Visible);
    void FillQualities();
    void FillLines(bool Tell);
    void FillSpeeds();
    std::string ChosenDevice() const;
    // The Driver list's texts: each device's description first, its name
    // after it, then the WAV file entry.
    std::vector<std::string> DriverTexts() const;
    // The user picked the WAV file entry: a file chosen becomes a device of
    // the list and is selected; otherwise the selection goes back to Before.
    void ChooseWavFile(int Before);
    void Fail(const std::string& Text, TSettingsPage Page, TSettingsControl Focus);
    // The integer in an integer edit, floored into its range; Current when
    // the text holds no number.
    int IntegerValue(TSettingsControl C, int Current) const;

    TOptions& Options;
    ISettingsView& View;
    IDialogs& Dialogs;
    ISettingsHost& Host;
    IBurnDrives& Drives;
    IFreeDBServers* FreeDB;

    std::array<TControlState, SettingsControlCount> Controls;
    // The devices behind the Driver list's entries (the WAV file entry
    // follows them), with their descriptions.
    std::vector<std::string> DriverNames;
    std::vector<std::string> DriverDescriptions;
    bool FFirstRunMode = false;
    bool FBitrateVisible = false;
    bool FProxyVisible = false;
    TSettingsPage FPage = TSettingsPage::spRip;
    TSettingsFollowUp FFollowUp = TSettingsFollowUp::sfNone;
    // Set while the controller itself changes controls: a view that echoes
    // those changes back starts no reaction.
    bool Filling = false;
};

} // namespace kestrune
