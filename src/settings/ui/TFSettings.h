#pragma once

#include "common/IDialogs.h"
#include "common/IDispatcher.h"
#include "settings/IBurnDrives.h"
#include "settings/IFreeDBServers.h"
#include "settings/ISettingsHost.h"
#include "settings/ISettingsView.h"
#include "settings/TOptions.h"
#include "settings/TSettingsController.h"

#include <QDialog>

#include <array>
#include <functional>
#include <memory>

class QAbstractButton;
class QButtonGroup;
class QGridLayout;
class QLabel;
class QMenuBar;
class QStackedWidget;
class QTreeWidget;
class QWidget;

namespace kestrune {

// What the settings window works with, all owned by the main window.
struct TSettingsWindowContext {
    TOptions& Options;
    IDialogs& Dialogs;
    ISettingsHost& Host;
    IBurnDrives& Drives;
    IFreeDBServers* FreeDB;      // may be null
    IDispatcher& Dispatcher;     // for the noise capture
    std::function<void()> Help;  // the main window's "Online Help"
    std::function<void()> About; // the main window's "About"
};

// "Settings" (the desktop shows "Settings — Kestrune"): the tree of pages on the left, the pages on the
// right, the shortcut buttons and Cancel / Save Settings below them, over a
// TSettingsController that decides everything. The window forwards what the
// user changes and draws what the controller pushes.
class TFSettings : public QDialog, public ISettingsView {
    Q_OBJECT
public:
    explicit TFSettings(TSettingsWindowContext Context, QWidget* Parent = nullptr);
    ~TFSettings() override;

    // Fills the window, shows it modally; the follow-up a shortcut button chose.
    TSettingsFollowUp Run();

    TSettingsController& Controller() { return *FController; }

    // ISettingsView
    void SetFirstRunMode(bool On) override;
    void SetNotice(const std::string& Text) override;
    std::string ChooseWavFile() override;
    void SetItems(TSettingsControl Control, const std::vector<std::string>& Items) override;
    void SetSelection(TSettingsControl Control, int Index) override;
    void SetText(TSettingsControl Control, const std::string& Text) override;
    void SetChecked(TSettingsControl Control, bool Checked) override;
    void SetBitrateVisible(bool Visible) override;
    void SetProxyVisible(bool Visible) override;
    void ShowPage(TSettingsPage Page) override;
    void Focus(TSettingsControl Control) override;
    bool RunNoiseCapture() override;
    void Close() override;

public slots:
    // Escape, the close box and Cancel: the controller decides (in
    // first-run mode it asks whether to set up later).
    void reject() override;

private:
    QWidget* BuildRecordingPage();
    QWidget* BuildSplitPage();
    QWidget* BuildProxyPage();
    QWidget* BuildBurningPage();
    QWidget* BuildFoldersPage();
    QWidget* BuildRipPage();
    void BuildMenus(QMenuBar* Bar);
    QWidget* NewPage(const char* Name, const char* Heading, QGridLayout*& Grid);
    QWidget* FolderEdit(TSettingsControl Control, const char* Name, const char* Caption);
    // Wires a control's user changes to the controller.
    void Watch(TSettingsControl Control, QWidget* Widget);
    QWidget* Widget(TSettingsControl Control) const { return Controls[static_cast<std::size_t>(Control)]; }
    void Guarded(const std::function<void()>& Run);

    TSettingsWindowContext Context;
    std::unique_ptr<TSettingsController> FController;
    std::array<QWidget*, SettingsControlCount> Controls{};
    QTreeWidget* TV = nullptr;
    QStackedWidget* PGC = nullptr;
    QMenuBar* Menu = nullptr;
    QAbstractButton* BWiz = nullptr;
    QAbstractButton* BtnBurnCD = nullptr;
    QAbstractButton* BtnConvert = nullptr;
    QAbstractButton* BCancel = nullptr;
    QButtonGroup* MethodGroup = nullptr;
    QLabel* LBitrate = nullptr;
    QLabel* LNotice = nullptr;
    std::vector<QWidget*> ProxyControls;
    // Set while the controller's changes are drawn: the widgets' change
    // signals then are not the user's.
    bool Pushing = false;
    // Set when the controller closes the window, so reject() lets it go.
    bool Closing = false;
};

} // namespace kestrune
