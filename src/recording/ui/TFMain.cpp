#include "recording/ui/TFMain.h"

#include "common/ui/TSkin.h"
#include "recording/ITrackChooserView.h"
#include "recording/TMainController.h"
#include "recording/ui/TFAbout.h"
#include "recording/ui/TFWizard0.h"
#include "recording/ui/TFWizard1.h"
#include "recording/ui/TFWizard2.h"
#include "recording/ui/TRecordingsModel.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <filesystem>

namespace kestrune {

namespace {

constexpr const char* LaterText = " comes in a later version of Kestrune.";

// The status line: a sentence longer than its room ends in an ellipsis
// instead of being cut mid-letter, and shows whole as the tooltip.
class TStatusLabel final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRect room = contentsRect();
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, room.width());
        style()->drawItemText(&painter, room, Qt::AlignLeft | Qt::AlignVCenter, palette(), isEnabled(), shown,
                              foregroundRole());
    }
};

} // namespace

TFMain::TFMain(IDialogs& MessageBoxes, IDesktop& DesktopHandlers, QWidget* Parent)
    : QMainWindow(Parent), Dialogs(MessageBoxes), Desktop(DesktopHandlers)
{
    setObjectName("FMain");
    setWindowTitle("Kestrune");
    setWindowIcon(TSkin::Icon("kestrune"));
    BuildControls();
    BuildMenus();
    // Centred on the screen at a size that shows the five columns, but never
    // larger than the screen's free area (at 200 % the wish is larger than
    // many screens, and a window centred past the top hides its title bar).
    QSize wanted = sizeHint().expandedTo(QSize(880, 540));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect free = screen->availableGeometry();
        // Room for the window manager's frame and title bar.
        const QSize frame(2 * fontMetrics().height(), 3 * fontMetrics().height());
        wanted = wanted.boundedTo(free.size() - frame).expandedTo(minimumSizeHint());
        resize(wanted);
        const QPoint centred = free.center() - rect().center();
        move(std::max(centred.x(), free.left()), std::max(centred.y(), free.top()));
    } else {
        resize(wanted);
    }
}

TFMain::~TFMain()
{
    Detach();
}

QToolButton* TFMain::AddBarButton(const char* Name, const char* Icon, const char* Hint)
{
    QToolButton* button = TSkin::PictureButton(Bar, Name, Icon, Hint);
    Bar->layout()->addWidget(button);
    return button;
}

void TFMain::BuildControls()
{
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);

    Bar = new QWidget(central);
    Bar->setObjectName("bsSkinPanel1");
    auto* barLayout = new QHBoxLayout(Bar);
    barLayout->setContentsMargins(0, 0, 0, 0);
    BtnStartRecord = AddBarButton("BtnStartRecord", "start", "Starts Recording Audio");
    BtnStopRec = AddBarButton("BtnStopRec", "stop", "Stops Recording Audio");
    QToolButton* wizard = AddBarButton("bsSkinButton1", "wizard", "Our Automated Wizard!");
    QToolButton* settings = AddBarButton("BtnSettings", "settings", "Click Here For Settings");
    QToolButton* burn = AddBarButton("btnBurnCD", "burn", "Burn a CD!");
    QToolButton* convert = AddBarButton("BtnConvert", "convert", "Convert Music");
    QToolButton* remove = AddBarButton("IRemove", "remove", "Remove File");
    QToolButton* play = AddBarButton("IPlay", "play", "Play File");
    QToolButton* up = AddBarButton("IMoveUp", "moveup", "Move Up");
    QToolButton* down = AddBarButton("IMoveDown", "movedown", "Move Down");
    barLayout->addStretch(1);
    column->addWidget(Bar);

    auto* albumRow = new QHBoxLayout;
    auto* albumLabel = new QLabel("Album", central);
    EAlbumName = new QLineEdit(central);
    EAlbumName->setObjectName("EAlbumName");
    albumLabel->setBuddy(EAlbumName);
    auto* genreLabel = new QLabel("Genre", central);
    CBGenre = new QComboBox(central);
    CBGenre->setObjectName("CBGenre");
    CBGenre->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    CBGenre->setMinimumContentsLength(12);
    genreLabel->setBuddy(CBGenre);
    albumRow->addWidget(albumLabel);
    albumRow->addWidget(EAlbumName, 1);
    albumRow->addWidget(genreLabel);
    albumRow->addWidget(CBGenre);
    column->addLayout(albumRow);

    LevelSlot = new QVBoxLayout;
    LevelSlot->setContentsMargins(0, 0, 0, 0);
    column->addLayout(LevelSlot);

    Model = new TRecordingsModel(this);
    LV = new QTreeView(central);
    LV->setObjectName("LV");
    LV->setModel(Model);
    LV->setRootIsDecorated(false);
    LV->setItemsExpandable(false);
    LV->setUniformRowHeights(true);
    LV->setSortingEnabled(false);
    LV->setSelectionBehavior(QAbstractItemView::SelectRows);
    LV->setSelectionMode(QAbstractItemView::SingleSelection);
    LV->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LV->setAllColumnsShowFocus(true);
    LV->header()->setSectionsClickable(false);
    LV->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    LV->header()->setStretchLastSection(true);
    LV->setContextMenuPolicy(Qt::CustomContextMenu);
    // The selection keeps its colour when the focus leaves the list, so the
    // row a bar button acts on stays visible.
    QPalette palette = LV->palette();
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    LV->setPalette(palette);
    LV->installEventFilter(this);
    column->addWidget(LV, 1);
    setCentralWidget(central);

    LStatus = new TStatusLabel(this);
    LStatus->setObjectName("LStatus");
    LTimeSize = new QLabel("Total Time/Size : 0:00/0 KB", this);
    LTimeSize->setObjectName("LTimeSize");
    statusBar()->addWidget(LStatus, 1);
    statusBar()->addPermanentWidget(LTimeSize);

    // Declared, never shown: ripping is reached from the Tools menu.
    auto* rip = new QPushButton("Rip", central);
    rip->setObjectName("BRip");
    rip->setToolTip("Burn a CD!");
    rip->setIcon(TSkin::Icon("rip"));
    rip->hide();

    Popup = new QMenu(this);
    Popup->setObjectName("PopupMenu");

    connect(BtnStartRecord, &QToolButton::clicked, this, [this] {
        RunGuarded([this] { Main->Recorder().StartRecording(); });
        // The list's keys work at once after Start and Stop.
        if (LV->isEnabled())
            LV->setFocus();
    });
    connect(BtnStopRec, &QToolButton::clicked, this, [this] {
        RunGuarded([this] { Main->Recorder().StopRecording(); });
        if (LV->isEnabled())
            LV->setFocus();
    });
    connect(wizard, &QToolButton::clicked, this, [this] { RunGuarded([this] { FCommands->Wizard(); }); });
    connect(settings, &QToolButton::clicked, this, [this] { RunGuarded([this] { FCommands->Settings(); }); });
    connect(burn, &QToolButton::clicked, this, [this] { RunGuarded([this] { FCommands->Burn(); }); });
    connect(convert, &QToolButton::clicked, this, [this] { RunGuarded([this] { FCommands->Convert(); }); });
    connect(rip, &QPushButton::clicked, this, [this] { RunGuarded([this] { FCommands->Rip(); }); });
    connect(remove, &QToolButton::clicked, this, [this] { DeleteSelected(); });
    connect(play, &QToolButton::clicked, this, [this] { PlaySelected(); });
    connect(up, &QToolButton::clicked, this, [this] { MoveSelectedUp(); });
    connect(down, &QToolButton::clicked, this, [this] { MoveSelectedDown(); });
    connect(LV, &QTreeView::doubleClicked, this, [this] {
        if (ListCommandsAllowed())
            PlaySelected();
    });
    connect(LV, &QTreeView::customContextMenuRequested, this, [this](const QPoint& At) { ShowPopup(At); });
    connect(EAlbumName, &QLineEdit::textChanged, this, [this](const QString& Text) {
        if (Main && !Filling)
            Main->Recorder().SetAlbumName(Text.toStdString());
    });
    connect(CBGenre, &QComboBox::currentIndexChanged, this, [this](int Index) {
        if (Main && !Filling)
            Main->Recorder().SetGenre(Index < 0 ? std::string() : CBGenre->itemText(Index).toStdString());
    });

    MarkUnavailable(TWindowCommand::wcSettings, settings, nullptr, "The settings window");
    MarkUnavailable(TWindowCommand::wcConvert, convert, nullptr, "The conversion window");
}

void TFMain::BuildMenus()
{
    auto add = [this](QMenu* Menu, const char* Name, const char* Text, auto Slot) {
        QAction* action = Menu->addAction(Text);
        action->setObjectName(Name);
        connect(action, &QAction::triggered, this, Slot);
        return action;
    };
    // Every entry has a mnemonic; the keys a desktop user expects are on
    // the entries that run them.
    QMenu* file = menuBar()->addMenu("&File");
    file->setObjectName("File1");
    add(file, "Play1", "&Play", [this] { PlaySelected(); });
    add(file, "Remove1", "&Remove", [this] { DeleteSelected(); });
    add(file, "MoveUp1", "Move &Up", [this] { MoveSelectedUp(); });
    add(file, "MoveDown1", "Move &Down", [this] { MoveSelectedDown(); });
    file->addSeparator();
    // Ctrl+Q is a close request: while recording it stops first, as the
    // close box does.
    add(file, "Exit1", "E&xit", [this] { close(); })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* recording = menuBar()->addMenu("&Recording");
    recording->setObjectName("Recording1");
    add(recording, "Start1", "&Start", [this] {
        BtnStartRecord->click();
    })->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_R), QKeySequence(Qt::Key_MediaRecord)});
    add(recording, "Stop1", "S&top", [this] {
        BtnStopRec->click();
    })->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Period), QKeySequence(Qt::Key_MediaStop)});

    QMenu* tools = menuBar()->addMenu("&Tools");
    tools->setObjectName("Tools1");
    add(tools, "Burn1", "&Burn", [this] { RunGuarded([this] { FCommands->Burn(); }); });
    QAction* convert = add(tools, "Convert1", "&Convert", [this] { RunGuarded([this] { FCommands->Convert(); }); });
    QAction* settings = add(tools, "Settings1", "&Settings", [this] { RunGuarded([this] { FCommands->Settings(); }); });
    QAction* rip = add(tools, "RipCD1", "&Rip CD", [this] { RunGuarded([this] { FCommands->Rip(); }); });

    QMenu* help = menuBar()->addMenu("&Help");
    help->setObjectName("Help1");
    add(help, "OnlineHelp1", "Online &Help", [this] {
        RunGuarded([this] { FCommands->OnlineHelp(); });
    })->setShortcut(QKeySequence(Qt::Key_F1));
    add(help, "About1", "&About", [this] { RunGuarded([this] { FCommands->About(); }); });

    MarkUnavailable(TWindowCommand::wcConvert, nullptr, convert, "The conversion window");
    MarkUnavailable(TWindowCommand::wcSettings, nullptr, settings, "The settings window");
    // Ripping is not one of the follow-up windows; wcNone stands for it.
    MarkUnavailable(TWindowCommand::wcNone, nullptr, rip, "The CD ripping window");
}

void TFMain::MarkUnavailable(TWindowCommand Which, QWidget* Button, QAction* Action, const char* What)
{
    const QString text = QString::fromUtf8(What) + LaterText;
    if (Button) {
        Unavailable.push_back({Which, Button, Button->toolTip()});
        Button->setEnabled(false);
        Button->setToolTip(Button->toolTip() + " - " + text);
    }
    if (Action) {
        Unavailable.push_back({Which, Action, Action->toolTip()});
        Action->setEnabled(false);
        Action->setToolTip(text);
        Action->setStatusTip(text);
    }
}

void TFMain::SetWindow(TWindowCommand Which, std::function<TWindowCommand()> Show)
{
    Windows[Which] = std::move(Show);
    MakeAvailable(Which);
}

void TFMain::SetRipWindow(std::function<TWindowCommand()> Show)
{
    RipWindow = std::move(Show);
    // Ripping is not one of the follow-up windows; wcNone stands for it.
    MakeAvailable(TWindowCommand::wcNone);
}

void TFMain::MakeAvailable(TWindowCommand Which)
{
    const bool on = BtnStartRecord->isEnabled();
    for (auto it = Unavailable.begin(); it != Unavailable.end();) {
        if (it->Which != Which) {
            ++it;
            continue;
        }
        if (auto* widget = qobject_cast<QWidget*>(it->Control)) {
            widget->setToolTip(it->ToolTip);
            widget->setEnabled(on);
        } else if (auto* action = qobject_cast<QAction*>(it->Control)) {
            action->setToolTip(it->ToolTip);
            action->setStatusTip(QString());
            action->setEnabled(on);
        }
        it = Unavailable.erase(it);
    }
}

void TFMain::Attach(TMainController& MainController, QWidget* Panel, ITrackInfoDialog& TrackInfoDialog,
                    ITrackChooserView& ChooserView, const std::string& HelpPage)
{
    Main = &MainController;
    TrackInfo = &TrackInfoDialog;
    Chooser = &ChooserView;
    FCommands = std::make_unique<TMainCommands>(MainController, *this, Dialogs, Desktop, HelpPage);
    Model->SetList(&MainController.List());

    Filling = true;
    CBGenre->clear();
    for (const std::string& name : MainController.Genres().Names())
        CBGenre->addItem(QString::fromStdString(name));
    CBGenre->setCurrentIndex(CBGenre->findText(QString::fromStdString(MainController.Recorder().GetGenre())));
    EAlbumName->setText(QString::fromStdString(MainController.Recorder().GetAlbumName()));
    Filling = false;

    if (Panel) {
        LevelPanel = Panel;
        Panel->setParent(centralWidget());
        LevelSlot->addWidget(Panel);
        Panel->show();
    }
    MainController.Recorder().Job().Subscribe(this);
    // Only its failures reach the status line (JobFinished).
    MainController.Recognition().Job().Subscribe(this);
}

void TFMain::Detach()
{
    if (!Main)
        return;
    Main->Recorder().Job().Unsubscribe(this);
    Main->Recognition().Job().Unsubscribe(this);
    // The panel listens to the recorder, so it goes before the recorder does.
    delete LevelPanel;
    LevelPanel = nullptr;
    FCommands.reset();
    Model->SetList(nullptr);
    Main = nullptr;
}

void TFMain::ShowMain(std::chrono::year_month_day Today)
{
    if (Main) {
        Main->Show(Today);
        EAlbumName->setText(QString::fromStdString(Main->Recorder().GetAlbumName()));
        if (!Main->Recognition().Notice().empty())
            SetStatus(Main->Recognition().Notice());
    }
    show();
}

int TFMain::SelectedRow() const
{
    const QModelIndex current = LV->selectionModel()->currentIndex();
    return LV->selectionModel()->isRowSelected(current.row(), QModelIndex()) ? current.row() : -1;
}

void TFMain::SetStatusText(const std::string& Text)
{
    LStatus->setText(QString::fromStdString(Text));
}

void TFMain::SetStatus(const std::string& Text)
{
    LStatus->setText(QString::fromStdString(Text));
    LStatus->setToolTip(LStatus->text());
}

void TFMain::RunGuarded(const std::function<void()>& Command)
{
    if (!Main)
        return;
    try {
        Command();
    } catch (const std::exception& e) {
        Dialogs.Error(e.what());
    }
}

bool TFMain::ListCommandsAllowed() const
{
    return Main && BtnStartRecord->isEnabled();
}

void TFMain::PlaySelected()
{
    const int row = SelectedRow();
    if (!Main || row < 0 || !Main->List().Row(row).Data)
        return;
    if (!Main->List().Play(row, Desktop))
        Dialogs.Warning("No player could be started for " + Main->List().Row(row).Data->FileName);
}

void TFMain::DeleteSelected()
{
    const int row = SelectedRow();
    if (!Main || row < 0 || !Main->List().Row(row).Data)
        return;
    // The file goes to the desktop's trash, where a key pressed by mistake
    // can be undone; only a file the trash refuses is deleted, and only when
    // the user says so.
    std::string said;
    const auto discard = [&](const std::string& File) {
        if (Desktop.MoveToTrash(File)) {
            said = "Moved to the trash: " + File;
            return true;
        }
        if (!Dialogs.Confirm(File + " cannot be moved to the trash. Delete it for good?", TDialogButtons::dbYesNo))
            return false;
        std::error_code error;
        std::filesystem::remove(File, error);
        said = error ? "Could not delete " + File + ": " + error.message() : "Deleted: " + File;
        return !error;
    };
    RunGuarded([&] { Main->List().Delete(row, Main->Recorder().CaptureBytesPerSecond(), discard); });
    if (!said.empty())
        SetStatus(said);
}

void TFMain::MoveSelectedUp()
{
    const int row = SelectedRow();
    if (Main && row > 0)
        Main->List().MoveUp(row);
}

void TFMain::MoveSelectedDown()
{
    const int row = SelectedRow();
    if (Main && row >= 0 && row < Main->List().Count() - 1)
        Main->List().MoveDown(row);
}

void TFMain::EditSelected()
{
    const int row = SelectedRow();
    if (!Main || row < 0 || !Main->List().Row(row).Data)
        return;
    RunGuarded([&] { Main->List().EditInfo(row, *TrackInfo); });
}

void TFMain::ChooseAlternate()
{
    RunGuarded([&] { Main->Recognition().ChooseAlternateTrack(*Chooser); });
}

void TFMain::ShowPopup(const QPoint& At)
{
    if (!Main || !PopupAttached)
        return;
    // The popup acts on the row under the mouse.
    const QModelIndex under = LV->indexAt(At);
    if (under.isValid())
        LV->setCurrentIndex(under);
    Popup->clear();
    for (const std::string& entry : Main->Recognition().PopupEntries(SelectedRow())) {
        if (entry == "-") {
            Popup->addSeparator();
            continue;
        }
        QAction* action = Popup->addAction(QString::fromStdString(entry));
        if (entry == "Edit Info")
            connect(action, &QAction::triggered, this, [this] { EditSelected(); });
        else if (entry == "Delete")
            connect(action, &QAction::triggered, this, [this] { DeleteSelected(); });
        else if (entry == "Play")
            connect(action, &QAction::triggered, this, [this] { PlaySelected(); });
        else
            connect(action, &QAction::triggered, this, [this] { ChooseAlternate(); });
    }
    Popup->popup(LV->viewport()->mapToGlobal(At));
}

bool TFMain::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == LV && Event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(Event);
        const bool ctrl = key->modifiers().testFlag(Qt::ControlModifier);
        if (key->key() == Qt::Key_Delete) {
            if (ListCommandsAllowed())
                DeleteSelected();
            return true;
        }
        if (ctrl && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
            if (ListCommandsAllowed())
                key->key() == Qt::Key_Up ? MoveSelectedUp() : MoveSelectedDown();
            return true;
        }
    }
    return QMainWindow::eventFilter(Watched, Event);
}

void TFMain::closeEvent(QCloseEvent* Event)
{
    // While recording the first request only stops it; CloseWindow follows
    // when the last track is finished.
    if (Main && !Main->Recorder().CloseQuery()) {
        Event->ignore();
        return;
    }
    Event->accept();
}

// --- IRecorderView

void TFMain::EnableControls(bool Enabled)
{
    for (QWidget* control : Bar->findChildren<QWidget*>())
        if (control != BtnStopRec && !control->isHidden())
            control->setEnabled(Enabled);
    // Entries only: a menu's own title (which the menu bar's overflow menu
    // also lists) stays open, since Stop is inside one of them.
    for (QMenu* menu : menuBar()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        for (QAction* action : menu->actions())
            if (action->objectName() != "Stop1" && action->objectName() != "Exit1" && action->isVisible() &&
                !action->isSeparator() && !action->menu())
                action->setEnabled(Enabled);
    for (const TUnavailable& off : Unavailable) {
        if (auto* widget = qobject_cast<QWidget*>(off.Control))
            widget->setEnabled(false);
        else if (auto* action = qobject_cast<QAction*>(off.Control))
            action->setEnabled(false);
    }
    EAlbumName->setEnabled(Enabled);
    CBGenre->setEnabled(Enabled);
    PopupAttached = Enabled;
    if (!Enabled)
        Popup->close();
}

void TFMain::FocusAlbumName()
{
    EAlbumName->setFocus();
}

void TFMain::TrackFinished(int Row, bool Kept)
{
    if (Kept && Row >= 0)
        LV->scrollTo(Model->index(Row, 0));
}

void TFMain::CloseWindow()
{
    close();
}

// --- IRecordingsView

void TFMain::RowInserted(int Index)
{
    if (!Main)
        return; // the list is no longer shown
    Model->RowInserted(Index);
    // A new row stays in view.
    LV->scrollTo(Model->index(Index, 0));
}

void TFMain::RowRemoved(int Index)
{
    if (!Main)
        return; // the list is no longer shown
    Model->RowRemoved(Index);
}

void TFMain::RowMoved(int From, int To)
{
    if (!Main)
        return; // the list is no longer shown
    Model->RowMoved(From, To);
}

void TFMain::RowChanged(int Index)
{
    if (!Main)
        return; // the list is no longer shown
    Model->RowChanged(Index);
}

void TFMain::SelectRow(int Index)
{
    if (Index < 0 || Index >= Model->rowCount()) {
        LV->clearSelection();
        return;
    }
    LV->setCurrentIndex(Model->index(Index, 0));
}

void TFMain::SetTotals(const std::string& Text)
{
    LTimeSize->setText(QString::fromStdString(Text));
}

// --- IMainWindows

IMainWindows::TWizardChoice TFMain::ShowWizardStart()
{
    TFWizard0 page(this);
    if (page.exec() != QDialog::Accepted)
        return TWizardChoice::wzCancelled;
    return page.Choice();
}

bool TFMain::ShowWizardAlbum(TWizardAlbum& Album)
{
    TFWizard1 page(this);
    page.SetAlbum(Album);
    if (page.exec() != QDialog::Accepted)
        return false;
    page.GetAlbum(Album);
    return true;
}

bool TFMain::ShowWizardRecord()
{
    TFWizard2 page(this);
    return page.exec() == QDialog::Accepted;
}

void TFMain::ShowAlbum(const std::string& AlbumName, int GenreIndex)
{
    EAlbumName->setText(QString::fromStdString(AlbumName));
    CBGenre->setCurrentIndex(GenreIndex < CBGenre->count() ? GenreIndex : -1);
}

bool TFMain::Available(TWindowCommand Window) const
{
    return Windows.count(Window) != 0;
}

TWindowCommand TFMain::ShowWindow(TWindowCommand Which)
{
    const auto found = Windows.find(Which);
    return found == Windows.end() ? TWindowCommand::wcNone : found->second();
}

TWindowCommand TFMain::ShowSettings()
{
    return ShowWindow(TWindowCommand::wcSettings);
}

TWindowCommand TFMain::ShowConvert()
{
    return ShowWindow(TWindowCommand::wcConvert);
}

TWindowCommand TFMain::ShowBurn()
{
    return ShowWindow(TWindowCommand::wcBurn);
}

TWindowCommand TFMain::ShowRip()
{
    return RipWindow ? RipWindow() : TWindowCommand::wcNone;
}

bool TFMain::RipAvailable() const
{
    return static_cast<bool>(RipWindow);
}

void TFMain::ShowAbout()
{
    // Made when first asked for, not at start-up.
    if (!About)
        About = new TFAbout(this);
    About->exec();
}

// --- the recorder's job

void TFMain::JobStarted(TJobKind Kind, const std::string& Title)
{
    if (Kind == TJobKind::jkRecognition)
        return;
    SetStatus(Title);
}

void TFMain::JobMessage(TJobKind, TJobMessageKind MessageKind, const std::string& Text)
{
    if (MessageKind != TJobMessageKind::jmInfo)
        SetStatus(Text);
}

void TFMain::JobFinished(TJobKind Kind, TJobOutcome Outcome, const std::string& Reason)
{
    // A recognition that could not ask the service says why (offline, a
    // refused key); one that ran leaves the status line to the recorder.
    if (Kind == TJobKind::jkRecognition) {
        if (Outcome == TJobOutcome::joFailed)
            SetStatus("Recognition failed: " + Reason);
        return;
    }
    SetStatus(TRecorder::StatusText(Outcome, Reason));
}

} // namespace kestrune
