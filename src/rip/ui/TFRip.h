#pragma once

#include "cd/ICdDrive.h"
#include "common/IDialogs.h"
#include "common/IDispatcher.h"
#include "common/TJob.h"
#include "rip/IRipView.h"
#include "rip/TRipController.h"
#include "settings/TEncoderSettings.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace kestrune {

class TOptions;
class TStatusGauge;

// What the rip window works with, all owned by the program.
struct TRipWindowContext {
    TOptions& Options;
    IDialogs& Dialogs;
    IDispatcher& Dispatcher;
    std::shared_ptr<ICdDriveProvider> Drives;
    std::function<void()> Help;  // the main window's "Online Help"
    std::function<void()> About; // the main window's "About"
    // The genre list's names, offered in the genre field.
    std::vector<std::string> Genres = {};
    // The rip settings; none: those the options name.
    std::optional<TRipSettings> Settings = std::nullopt;
};

// "Rip CD" (the desktop shows "Rip CD — Kestrune"): the drive, the disc's album fields and entries, the
// track list with its check marks and editable names, the format and sample
// format, and the grab run with its gauge in the status bar. A thin view:
// the rip controller decides what the controls hold and when they work; the
// window forwards the user's actions and draws what the controller pushes.
//
// Made anew for each opening and freed when it closes: nothing of it stays.
class TFRip : public QDialog, public IRipView, private TJobListenerBase {
    Q_OBJECT
public:
    // The encoder dialog of a format (the conversion's format numbers) over
    // the settings; true when saved.
    using TEditEncoder = std::function<bool(QWidget* Parent, int FormatIndex, TEncoderSettings& Settings)>;

    explicit TFRip(TRipWindowContext Context, QWidget* Parent = nullptr);
    ~TFRip() override;

    // Shows the window modally; the window the user asked for next (a
    // picture button or a Tools entry), rfNone when it was just closed.
    TRipFollowUp Run();

    TRipController& Controller() { return *FController; }
    // Stands in for the encoder dialogs (tests).
    void SetEditEncoder(TEditEncoder Value) { EditEncoder = std::move(Value); }
    // The messages of the last grab run (failed tracks, verdicts), in order.
    const std::vector<std::string>& RunMessages() const { return Messages; }

    // IRipView
    void SetDrives(const std::vector<std::string>& Entries, int Chosen) override;
    void SetStatus(const std::string& Text) override;
    void SetDiscIdText(const std::string& Text) override;
    void SetAlbumFields(const std::string& Album, const std::string& Artist, const std::string& Genre) override;
    void SetAlbumEntryRange(int Minimum, int Maximum, int Value) override;
    void SetRows(const std::vector<TRipRow>& Rows) override;
    void RowChanged(int Index, const TRipRow& Row) override;
    void SelectRow(int Index) override;
    void EnableControls(bool Enabled) override;
    void EnableDriveChoice(bool Enabled) override;
    void SetGrabButton(const std::string& Caption, bool Enabled) override;
    void ShowProgress(bool Visible, int Percent) override;
    void SetBusy(bool Busy) override;

public slots:
    // Escape and the close box: closing, unless an album query runs.
    void reject() override;

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

private:
    void BuildControls();
    void BuildMenus();
    void DrawRow(QTreeWidgetItem* Item, const TRipRow& Row);
    void AlbumFieldsEdited();
    void AdvancedSettings();
    void Shortcut(TRipFollowUp Next);
    void UpdateFormatOptions();
    int RowOf(QTreeWidgetItem* Item) const;

    void JobStarted(TJobKind Kind, const std::string& Title) override;
    void JobMessage(TJobKind Kind, TJobMessageKind MessageKind, const std::string& Text) override;

    TRipWindowContext Context;
    std::unique_ptr<TRipController> FController;
    TEditEncoder EditEncoder;
    TRipFollowUp FollowUp = TRipFollowUp::rfNone;
    std::vector<std::string> Messages;
    bool Shown = false;
    // The control set is on: the format options follow the format only then.
    bool ControlsOn = false;
    bool Busy = false;
    // Set while the controller's changes are drawn: the widgets' change
    // signals then are not the user's.
    bool Filling = false;

    QComboBox* DriveCombo = nullptr;
    QSpinBox* txtAlbumNum = nullptr;
    QLineEdit* txtAlbum = nullptr;
    QLineEdit* txtArtist = nullptr;
    QComboBox* txtGenre = nullptr;
    QCheckBox* chkFreedbInfo = nullptr;
    QCheckBox* chkISRCInfo = nullptr;
    QLabel* LCDDB = nullptr;
    QTreeWidget* TrackListView = nullptr;
    QComboBox* txtFormat = nullptr;
    QPushButton* cmdOptions = nullptr;
    QComboBox* CBFreq = nullptr;
    QPushButton* cmdGrab = nullptr;
    QPushButton* cmdSaveToCDGRABBERINI = nullptr;
    QLabel* LStatus = nullptr;
    TStatusGauge* StatusBar = nullptr;

    QAction* GrabTrack1 = nullptr;
    QAction* SaveAlbumInfo1 = nullptr;
    QAction* FormatOptions1 = nullptr;
    QAction* Eject1 = nullptr;
    QAction* Load1 = nullptr;
    QMenu* CD1 = nullptr;
};

} // namespace kestrune
