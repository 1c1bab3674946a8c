#pragma once

#include "common/IDesktop.h"
#include "common/IDialogs.h"
#include "common/TJob.h"
#include "recording/IMainWindows.h"
#include "recording/IRecorderView.h"
#include "recording/IRecordingsView.h"
#include "recording/TMainCommands.h"

#include <QMainWindow>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QToolButton;
class QTreeView;
class QVBoxLayout;
class QWidget;

namespace kestrune {

class ITrackChooserView;
class TFAbout;
class TMainController;
class TRecordingsModel;

// The main window: the button bar, the album name and genre, the level
// meter, the recordings list and the status bar, over the main controller.
// The window is built first (the controller reports to it while it starts),
// then Attach joins it to the controller; Detach lets go again before the
// controller ends.
class TFMain : public QMainWindow,
               public IRecorderView,
               public IRecordingsView,
               public IMainWindows,
               private TJobListenerBase {
    Q_OBJECT
public:
    TFMain(IDialogs& Dialogs, IDesktop& Desktop, QWidget* Parent = nullptr);
    ~TFMain() override;

    // LevelPanel (reparented into the window, between the album and the
    // list) shows the recorder's level; TrackInfo and Chooser are the track
    // windows the list's commands open. They outlive the window's use of them.
    void Attach(TMainController& Main, QWidget* LevelPanel, ITrackInfoDialog& TrackInfo, ITrackChooserView& Chooser,
                const std::string& HelpPage);
    // Stops listening to the controller and removes the level panel (which
    // listens to the recorder); the window stays, showing what it showed.
    void Detach();
    // The settings, conversion or burn window now exists: its buttons and
    // menu entries come on, and the command runs Show (modal; the follow-up
    // it returns goes on through the main window's chain).
    void SetWindow(TWindowCommand Which, std::function<TWindowCommand()> Show);
    // The rip window can be made: Tools > "Rip CD" comes on, and the command
    // runs Show, which makes the window, shows it modally and frees it.
    void SetRipWindow(std::function<TWindowCommand()> Show);
    // Showing the window: the default album name for Today when the field is
    // empty, and the notice of song recognition, if any.
    void ShowMain(std::chrono::year_month_day Today);

    TMainCommands* Commands() { return FCommands.get(); }
    // The row selected in the list, -1 none.
    int SelectedRow() const;

    // IRecorderView
    void EnableControls(bool Enabled) override;
    void FocusAlbumName() override;
    void TrackFinished(int Row, bool Kept) override;
    void CloseWindow() override;

    // IRecordingsView
    void RowInserted(int Index) override;
    void RowRemoved(int Index) override;
    void RowMoved(int From, int To) override;
    void RowChanged(int Index) override;
    void SelectRow(int Index) override;
    void SetTotals(const std::string& Text) override;

    // IMainWindows
    TWizardChoice ShowWizardStart() override;
    bool ShowWizardAlbum(TWizardAlbum& Album) override;
    bool ShowWizardRecord() override;
    void ShowAlbum(const std::string& AlbumName, int GenreIndex) override;
    bool Available(TWindowCommand Window) const override;
    TWindowCommand ShowSettings() override;
    TWindowCommand ShowConvert() override;
    TWindowCommand ShowBurn() override;
    TWindowCommand ShowRip() override;
    bool RipAvailable() const override;
    void ShowAbout() override;

    // The status line's text alone, for what other windows tell there (the
    // burn window while it looks for its drives).
    void SetStatusText(const std::string& Text);

protected:
    void closeEvent(QCloseEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void BuildControls();
    void BuildMenus();
    QToolButton* AddBarButton(const char* Name, const char* Icon, const char* Hint);
    void SetStatus(const std::string& Text);
    // The list's commands; each acts only when its row allows it.
    void PlaySelected();
    void DeleteSelected();
    void MoveSelectedUp();
    void MoveSelectedDown();
    void EditSelected();
    void ChooseAlternate();
    void ShowPopup(const QPoint& At);
    // Keys and the double click are ignored while recording.
    bool ListCommandsAllowed() const;
    // A window that does not exist yet stays off, whatever EnableControls says.
    void MarkUnavailable(TWindowCommand Which, QWidget* Button, QAction* Action, const char* What);
    void RunGuarded(const std::function<void()>& Command);
    TWindowCommand ShowWindow(TWindowCommand Which);
    // The controls of a window that now exists come on.
    void MakeAvailable(TWindowCommand Which);

    void JobStarted(TJobKind Kind, const std::string& Title) override;
    // A warning about the recording (an input near silence or clipping)
    // stays in the status line while the recording runs.
    void JobMessage(TJobKind Kind, TJobMessageKind MessageKind, const std::string& Text) override;
    void JobFinished(TJobKind Kind, TJobOutcome Outcome, const std::string& Reason) override;

    IDialogs& Dialogs;
    IDesktop& Desktop;
    TMainController* Main = nullptr;
    ITrackInfoDialog* TrackInfo = nullptr;
    ITrackChooserView* Chooser = nullptr;
    std::unique_ptr<TMainCommands> FCommands;
    TFAbout* About = nullptr;

    QWidget* Bar = nullptr;
    QToolButton* BtnStartRecord = nullptr;
    QToolButton* BtnStopRec = nullptr;
    QLineEdit* EAlbumName = nullptr;
    QComboBox* CBGenre = nullptr;
    QVBoxLayout* LevelSlot = nullptr;
    QWidget* LevelPanel = nullptr;
    QTreeView* LV = nullptr;
    TRecordingsModel* Model = nullptr;
    QLabel* LStatus = nullptr;
    QLabel* LTimeSize = nullptr;
    QMenu* Popup = nullptr;
    bool PopupAttached = true;
    // Controls that stay off because their window comes later, with the
    // window they open and the tooltip they had before.
    struct TUnavailable {
        TWindowCommand Which;
        QObject* Control;
        QString ToolTip;
    };
    std::vector<TUnavailable> Unavailable;
    // The windows the desktop program gave: the Show of each.
    std::map<TWindowCommand, std::function<TWindowCommand()>> Windows;
    std::function<TWindowCommand()> RipWindow;
    // Set while ShowAlbum fills the controls, so they do not echo back.
    bool Filling = false;
};

} // namespace kestrune
