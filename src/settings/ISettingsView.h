#pragma once

#include <string>
#include <vector>

namespace kestrune {

// The pages of the settings window, in page order. The tree lists the first
// five; the CD Rip page has no tree entry and is the one shown on opening.
enum class TSettingsPage { spRecording = 0, spSplitTracks, spProxy, spBurning, spFolders, spRip };

// The controls whose values the settings controller fills and reads.
enum class TSettingsControl {
    scDriver,            // list: capture devices
    scQuality,           // list: the device's quality strings
    scFormat,            // list: "WAV", "MP3"
    scBitrate,           // list: MP3 bit rates
    scLines,             // list: the mixer's recording lines
    scRecognize,         // check: automatic song recognition
    scSilence,           // edit: silence length, ms
    scMinLength,         // edit: minimum track length, s
    scUseProxy,          // check
    scProxyServer,       // edit
    scProxyPort,         // integer edit
    scRecognitionServer, // edit: the fingerprint lookup service
    scRecognitionKey,    // edit: its application key
    scWriteToCD,         // list: writing mode
    scDrives,            // list: the burn window's drives
    scSpeed,             // list: the burn window's speeds ("4x")
    scMethod,            // radio group: write method
    scCloseCD,           // check: close the CD after writing
    scFolder,            // folder edit: root of the recordings
    scRipFolder,         // folder edit: root of the rips
    scReadMode,          // list: read sector options
    scNumReads,          // integer spin edit, 1 to 10
    scReadAction,        // list: action on unrecoverable read errors
    scFreeDBServer,      // list: album-information servers
    scFreeDBPort,        // integer edit
};
constexpr int SettingsControlCount = static_cast<int>(TSettingsControl::scFreeDBPort) + 1;

// The settings window as its controller sees it. The controller pushes
// lists, selections, texts and ticks; the window forwards what the user
// changes to the controller (Select, Edit, Check) and leaves every decision
// to it. Window thread only.
class ISettingsView {
public:
    virtual ~ISettingsView() = default;

    // First-run mode: the wizard, burn and convert buttons are off and the
    // menu bar is hidden, so the user saves or chooses to set up later.
    virtual void SetFirstRunMode(bool On) = 0;
    // A line on the Recording page about the capture device (none found, no
    // volume control); "" hides it.
    virtual void SetNotice(const std::string& Text) = 0;
    // Asks for a WAV file to use as a capture card; "" when the user
    // chose none.
    virtual std::string ChooseWavFile() = 0;
    virtual void SetItems(TSettingsControl Control, const std::vector<std::string>& Items) = 0;
    // -1 selects nothing.
    virtual void SetSelection(TSettingsControl Control, int Index) = 0;
    virtual void SetText(TSettingsControl Control, const std::string& Text) = 0;
    virtual void SetChecked(TSettingsControl Control, bool Checked) = 0;
    // The Bitrate label and list.
    virtual void SetBitrateVisible(bool Visible) = 0;
    // The proxy server edit, the port label and edit, and the example label.
    virtual void SetProxyVisible(bool Visible) = 0;
    // Shows a page and selects its tree entry (none for the CD Rip page).
    virtual void ShowPage(TSettingsPage Page) = 0;
    virtual void Focus(TSettingsControl Control) = 0;
    // Runs the noise-level capture window modally on the chosen device;
    // true when it reached "Test finished" with the levels it measured kept
    // (TNoiseLevelCapture::Conclude), which ends first-run mode.
    virtual bool RunNoiseCapture() = 0;
    virtual void Close() = 0;
};

} // namespace kestrune
