#pragma once

#include "burn/IBurnView.h"
#include "burn/ICdWriter.h"
#include "burn/TBurnController.h"
#include "common/IDialogs.h"
#include "common/IDispatcher.h"

#include <QDialog>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QTreeWidget;

namespace kestrune {

class TOptions;
class TStatusGauge;

// What the burn window works with, all owned by the program.
struct TBurnWindowContext {
    TOptions& Options;
    IDialogs& Dialogs;
    IDispatcher& Dispatcher;
    std::shared_ptr<ICdWriter> Writer;
    std::function<void()> Help;  // the main window's "Online Help"
    std::function<void()> About; // the main window's "About"
    // Whether the drive scan starts by itself once the event loop runs (it
    // does in the program; a test may start it when it likes).
    bool ScanAtStart = true;
};

// "CD Burning" (the desktop shows "CD Burning — Kestrune"): the writer drives and speeds, the queue of files
// with the disc's figures, and the buttons that burn, stop, erase and move
// the tray. A thin view: the burn controller holds the state, the checks and
// the texts; the window forwards the user's actions and draws what the
// controller pushes.
//
// Made once, hidden, when the program starts (the drive scan begins then),
// and shown modally by the main window's Burn command; it lives until the
// program ends. A write goes on while the window is hidden.
class TFBurn : public QDialog, public IBurnView {
    Q_OBJECT
public:
    explicit TFBurn(TBurnWindowContext Context, QWidget* Parent = nullptr);
    ~TFBurn() override;

    // Shows the window modally; the window the user asked for next (a picture
    // button or a Tools entry), bfNone when it was just closed.
    TBurnFollowUp Run();
    // The same on Queue, the files to write, which replace the queue first.
    TBurnFollowUp Run(const std::vector<std::string>& Queue);

    TBurnController& Controller() { return *FController; }

    // The open dialog's filters in the form of Qt's file dialogs: the types
    // the program reads, all of them first.
    static QStringList FileFilters();

    // IBurnView
    void SetDrives(const std::vector<std::string>& Entries, int Chosen) override;
    void SetSpeeds(const std::vector<std::string>& Entries, int Chosen) override;
    void SetStatus(const std::string& Text) override;
    void SetDescription(const std::string& Text) override;
    void SetSpace(const std::string& Text, bool Overfull) override;
    void SetRows(const std::vector<TBurnRow>& Rows) override;
    void EnableControls(bool Enabled) override;
    void SetBurnButton(const std::string& Caption, bool Enabled) override;
    void ShowProgress(bool Visible, int Percent) override;
    void SetBusy(bool Busy) override;
    bool Shown() const override;

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void changeEvent(QEvent* Event) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;

private:
    void BuildControls();
    void BuildMenus();
    void AddFiles();
    void DeleteSelected();
    void Shortcut(TBurnFollowUp Next);
    void DrawSpaceColour();
    void KeepCaptionsWhole();

    TBurnWindowContext Context;
    std::unique_ptr<TBurnController> FController;
    TBurnFollowUp FollowUp = TBurnFollowUp::bfNone;
    bool Busy = false;
    bool Overfull = false;
    // Off while a new queue shows: loading it has just read the disc.
    bool ReadDiscOnShow = true;
    // Set while the controller's lists are drawn: the lists' change signals
    // then are not the user's.
    bool Filling = false;

    QComboBox* lbDrives = nullptr;
    QComboBox* lbSpeed = nullptr;
    QPushButton* bsSkinButton1 = nullptr;
    QTreeWidget* clBox = nullptr;
    QLabel* LDescription = nullptr;
    QLabel* LSpace = nullptr;
    QPushButton* BErase = nullptr;
    QPushButton* BLoad = nullptr;
    QPushButton* BEject = nullptr;
    QPushButton* BBurn = nullptr;
    QLabel* status = nullptr;
    TStatusGauge* StatusBar = nullptr;
    // The menu items the control set switches.
    std::vector<QAction*> MenuItems;
};

} // namespace kestrune
