#pragma once

#include "common/IDialogs.h"
#include "common/IDispatcher.h"
#include "common/TJob.h"
#include "convert/IConvertView.h"
#include "convert/TConvertController.h"
#include "convert/TResultPlayer.h"

#include "convert/TBatchConversion.h"
#include "convert/TConvertQueue.h"

#include <QDialog>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kestrune {

// "Convert file" (the desktop shows "Convert file — Kestrune"): one audio file into another format, with the
// gauge in the status bar while it runs and the result played on request.
// A thin view: the conversion controller holds the formats, the checks, the
// run and what the window leaves behind; the window forwards the user's
// actions and draws the controller's events.
//
// Several files (chosen together, dropped on the window, or a folder added)
// form a queue shown as a list, one row per file with its own progress,
// converted on every core into one folder.
//
// Made once by the program and shown again and again; the file names, the
// chosen format and the encoder settings stay from one showing to the next.
class TFConvert : public QDialog,
                  public IConvertView,
                  public TJobListenerBase,
                  public IConvertQueueView,
                  public IBatchListener {
    Q_OBJECT
public:
    // The encoder dialog of a format over the settings; true when saved.
    using TEditEncoder = std::function<bool(QWidget* Parent, int FormatIndex, TEncoderSettings& Settings)>;

    // PlaybackDevice: where a result is played ("" the first playback
    // device); Folder: where the file dialog opens when the window is shown;
    // Help and About: the main window's commands of the same names.
    TFConvert(IDialogs& Dialogs, IDispatcher& Dispatcher, std::string PlaybackDevice, std::string Folder,
              std::function<void()> Help, std::function<void()> About, QWidget* Parent = nullptr);
    ~TFConvert() override;

    // Shows the window modally; the window the user asked for next (a picture
    // button or a Tools entry), cfNone when it was just closed.
    TConvertFollowUp Run();

    void SetFolder(const std::string& Value) { Folder = Value; }
    void SetPlaybackDevice(const std::string& Value);
    // Whether showing the window puts the folder into the input and opens
    // the file dialog there at once (it does; tests and the screenshot tour
    // fill the window themselves).
    void SetOpenOnShow(bool Value) { OpenOnShow = Value; }
    // Stands in for the encoder dialogs (tests).
    void SetEditEncoder(TEditEncoder Value) { EditEncoder = std::move(Value); }

    TConvertController& Controller() { return *FController; }
    TConvertQueue& Queue() { return *FQueue; }
    TBatchConversion& Batch() { return *FBatch; }
    // Dropped on the window or added as a folder: to the queue.
    void AddFiles(const QStringList& FilesOrFolders);
    TResultPlayer& Player() { return *FPlayer; }

    // The controller's filter text ("Name|*.ext|...|") in the form of Qt's
    // file dialogs, one entry per pair.
    static QStringList QtFilters(const std::string& Filter);

    // IConvertView
    void SetInFormat(const std::string& Text) override;
    void SetOutFileName(const std::string& Name) override;
    void ShowStatusBar(bool Visible) override;
    void Closed() override;

    // IConvertQueueView
    void ShowQueue(bool Several) override;
    void ShowInFileName(const std::string& Name) override;
    // IBatchListener: the queue's rows.
    void ItemAdded(std::size_t Index) override;
    void ItemChanged(std::size_t Index) override;
    void ItemsCleared() override;

    // The job's events: the gauge follows the conversion.
    void JobStarted(TJobKind Kind, const std::string& Title) override;
    void JobProgress(TJobKind Kind, double Fraction, const std::string& Text) override;
    void JobFinished(TJobKind Kind, TJobOutcome Outcome, const std::string& Reason) override;

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;

private:
    void BuildControls();
    void BuildMenus();
    void BrowseInput();
    void BrowseOutput();
    void EditSettings();
    void CancelClicked();
    void Shortcut(TConvertFollowUp Next);
    void ShownOpen();
    void AddFolder();
    void ConvertClicked();
    bool SeveralQueued() const;
    void DrawRow(std::size_t Index);

    IDialogs& Dialogs;
    IDispatcher& Dispatcher;
    std::string Folder;
    std::function<void()> Help;
    std::function<void()> About;
    TEditEncoder EditEncoder;
    bool OpenOnShow = true;
    // Closed() came: the next close goes through.
    bool CloseAllowed = false;
    // Texts the controller derives are set without echoing back to it.
    bool Filling = false;
    // The input format's description, shown again when the queue goes.
    QString InFormatText = "Choose an input file";

    QLabel* InFormat = nullptr;
    QLineEdit* InFileName = nullptr;
    QComboBox* OutFormat = nullptr;
    QLineEdit* OutfileName = nullptr;
    QPushButton* BtnSettings = nullptr;
    QPushButton* BtnCancel = nullptr;
    QPushButton* BtnConvert = nullptr;
    QLabel* OutLabel = nullptr;
    QTreeWidget* QueueList = nullptr;
    QStatusBar* StatusBar = nullptr;
    QLabel* Stage = nullptr;
    QProgressBar* Gauge = nullptr;

    // The controller first, so the player (which plays the controller's
    // readers) stops before they go.
    std::unique_ptr<TConvertController> FController;
    std::unique_ptr<TResultPlayer> FPlayer;
    std::unique_ptr<TBatchConversion> FBatch;
    std::unique_ptr<TConvertQueue> FQueue;
};

} // namespace kestrune
