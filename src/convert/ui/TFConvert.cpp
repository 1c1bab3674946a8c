#include "convert/ui/TFConvert.h"

#include "common/ui/TSkin.h"
#include "common/ui/TWindowMenu.h"
#include "settings/ui/TEncoderDialogs.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace kestrune {

namespace {

constexpr int GaugeSteps = 1000;

QString FromStd(const std::string& Text)
{
    return QString::fromStdString(Text);
}

} // namespace

TFConvert::TFConvert(IDialogs& D, IDispatcher& Disp, std::string PlaybackDevice, std::string StartFolder,
                     std::function<void()> HelpCommand, std::function<void()> AboutCommand, QWidget* Parent)
    : QDialog(Parent), Dialogs(D), Dispatcher(Disp), Folder(std::move(StartFolder)), Help(std::move(HelpCommand)),
      About(std::move(AboutCommand))
{
    setObjectName("FConvert");
    setWindowTitle("Convert file"); // the desktop adds the program's name
    setWindowIcon(TSkin::Icon("convert"));
    EditEncoder = [](QWidget* Owner, int Index, TEncoderSettings& Settings) {
        return EditEncoderSettings(Owner, Index, Settings);
    };
    FController = std::make_unique<TConvertController>(*this, Dialogs, Dispatcher);
    FPlayer = std::make_unique<TResultPlayer>(Dialogs, Dispatcher);
    FPlayer->SetDevice(PlaybackDevice);
    FController->SetPlayer([this](TACSFileIn& Result) { FPlayer->Play(Result); });
    FController->SetPlayback([this] { return FPlayer->Playing(); }, [this] { FPlayer->Stop(); });
    FController->Events().Subscribe(this);
    FBatch = std::make_unique<TBatchConversion>(Dispatcher);
    FQueue = std::make_unique<TConvertQueue>(*FController, *FBatch, *this, Dialogs, Dispatcher);
    FBatch->Events().Subscribe(this);
    FBatch->AddListener(this);
    BuildControls();
    BuildMenus();
    StatusBar->hide();
    QueueList->hide();
    setAcceptDrops(true);
}

TFConvert::~TFConvert()
{
    FController->Events().Unsubscribe(this);
    FBatch->RemoveListener(this);
    FBatch->Events().Unsubscribe(this);
    FQueue.reset();
    FBatch.reset();
    FPlayer.reset();
    FController.reset();
}

void TFConvert::BuildControls()
{
    auto* column = new QVBoxLayout(this);

    auto* files = new QGridLayout;
    InFormat = new QLabel("Choose an input file", this);
    InFormat->setObjectName("InFormat");
    files->addWidget(InFormat, 0, 1, 1, 2);
    auto* inLabel = new QLabel("Input File", this);
    InFileName = new QLineEdit(this);
    InFileName->setObjectName("InFileName");
    InFileName->setMinimumWidth(fontMetrics().averageCharWidth() * 64);
    inLabel->setBuddy(InFileName);
    auto* inBrowse = new QToolButton(this);
    inBrowse->setObjectName("InFileNameBrowse");
    inBrowse->setText("...");
    inBrowse->setToolTip("Choose the file to convert");
    files->addWidget(inLabel, 1, 0);
    files->addWidget(InFileName, 1, 1);
    files->addWidget(inBrowse, 1, 2);
    files->setColumnStretch(1, 1);
    column->addLayout(files);

    // The queue: one row per file, with its state and its own progress.
    QueueList = new QTreeWidget(this);
    QueueList->setObjectName("Queue");
    QueueList->setColumnCount(3);
    QueueList->setHeaderLabels({"File", "State", "Progress"});
    QueueList->setRootIsDecorated(false);
    QueueList->setSelectionMode(QAbstractItemView::NoSelection);
    QueueList->setFocusPolicy(Qt::NoFocus);
    QueueList->header()->setStretchLastSection(false);
    QueueList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    QueueList->header()->setSectionResizeMode(1, QHeaderView::Interactive);
    QueueList->header()->setSectionResizeMode(2, QHeaderView::Fixed);
    QueueList->header()->resizeSection(1, fontMetrics().averageCharWidth() * 24);
    QueueList->header()->resizeSection(2, fontMetrics().averageCharWidth() * 16);
    QueueList->setMinimumHeight(fontMetrics().height() * 8);
    column->addWidget(QueueList, 1);

    auto* output = new QGroupBox("Output Settings", this);
    output->setObjectName("GroupOutput");
    auto* grid = new QGridLayout(output);
    auto* formatLabel = new QLabel("Output Format", output);
    OutFormat = new QComboBox(output);
    OutFormat->setObjectName("OutFormat");
    for (const TFormat& format : FController->Formats())
        OutFormat->addItem(FromStd(format.Description));
    OutFormat->setCurrentIndex(-1);
    OutFormat->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    formatLabel->setBuddy(OutFormat);
    BtnSettings = new QPushButton("SETTINGS", output);
    BtnSettings->setObjectName("BtnSettings");
    auto* outLabel = OutLabel = new QLabel("Output File", output);
    OutfileName = new QLineEdit(output);
    OutfileName->setObjectName("OutfileName");
    outLabel->setBuddy(OutfileName);
    auto* outBrowse = new QToolButton(output);
    outBrowse->setObjectName("OutfileNameBrowse");
    outBrowse->setText("...");
    outBrowse->setToolTip("Choose where the converted file goes");
    grid->addWidget(formatLabel, 0, 0);
    grid->addWidget(OutFormat, 0, 1, Qt::AlignLeft);
    grid->addWidget(BtnSettings, 0, 2, 1, 2, Qt::AlignRight);
    grid->addWidget(outLabel, 1, 0);
    grid->addWidget(OutfileName, 1, 1, 1, 2);
    grid->addWidget(outBrowse, 1, 3);
    grid->setColumnStretch(1, 1);
    column->addWidget(output);

    auto* buttons = new QHBoxLayout;
    QToolButton* wizard = TSkin::PictureButton(this, "BtnWizard", "wizard", "Our Automated Wizard!");
    QToolButton* settings = TSkin::PictureButton(this, "BtnSettingsWindow", "settings", "Click Here For Settings");
    QToolButton* burn = TSkin::PictureButton(this, "BtnBurn", "burn", "Burn a CD!");
    buttons->addWidget(wizard);
    buttons->addWidget(settings);
    buttons->addWidget(burn);
    buttons->addStretch(1);
    BtnCancel = new QPushButton("Cancel", this);
    BtnCancel->setObjectName("BtnCancel");
    BtnConvert = new QPushButton("CONVERT!", this);
    BtnConvert->setObjectName("BtnConvert");
    BtnConvert->setDefault(true);
    buttons->addWidget(BtnCancel);
    buttons->addWidget(BtnConvert);
    column->addLayout(buttons);

    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName("StatusBar");
    StatusBar->setSizeGripEnabled(false);
    Stage = new QLabel(StatusBar);
    Stage->setObjectName("Stage");
    Gauge = new QProgressBar(StatusBar);
    Gauge->setObjectName("Gauge");
    Gauge->setRange(0, GaugeSteps);
    Gauge->setValue(0);
    StatusBar->addWidget(Stage);
    StatusBar->addWidget(Gauge, 1);
    column->addWidget(StatusBar);

    connect(inBrowse, &QToolButton::clicked, this, [this] { BrowseInput(); });
    connect(outBrowse, &QToolButton::clicked, this, [this] { BrowseOutput(); });
    connect(InFileName, &QLineEdit::textChanged, this, [this](const QString& Text) {
        if (!Filling)
            FController->SetInFileName(Text.toStdString());
    });
    connect(OutfileName, &QLineEdit::textChanged, this, [this](const QString& Text) {
        if (Filling)
            return;
        if (SeveralQueued()) {
            FQueue->SetOutDir(Text.toStdString());
            return;
        }
        FController->SetOutFileName(Text.toStdString());
    });
    connect(OutFormat, &QComboBox::currentIndexChanged, this,
            [this](int Index) { FController->ChooseOutFormat(Index); });
    connect(BtnSettings, &QPushButton::clicked, this, [this] { EditSettings(); });
    connect(BtnCancel, &QPushButton::clicked, this, [this] { CancelClicked(); });
    connect(BtnConvert, &QPushButton::clicked, this, [this] { ConvertClicked(); });
    connect(wizard, &QToolButton::clicked, this, [this] { Shortcut(TConvertFollowUp::cfWizard); });
    connect(settings, &QToolButton::clicked, this, [this] { Shortcut(TConvertFollowUp::cfSettings); });
    connect(burn, &QToolButton::clicked, this, [this] { Shortcut(TConvertFollowUp::cfBurn); });
}

void TFConvert::BuildMenus()
{
    TWindowMenu menu(*this);
    QMenu* file = menu.Menu("File1", "&File");
    menu.Add(file, "Convert1", "Convert", [this] { BtnConvert->click(); });
    menu.Add(file, "AddFolder1", "Add folder...", [this] { AddFolder(); });
    menu.Add(file, "ClearList1", "Clear list", [this] { FQueue->Clear(); });
    menu.Add(file, "Exit1", "Exit", [this] { close(); });
    QMenu* tools = menu.Menu("Tools1", "&Tools");
    menu.Add(tools, "Burn1", "Burn", [this] { Shortcut(TConvertFollowUp::cfBurn); });
    menu.Add(tools, "Settings1", "Settings", [this] { Shortcut(TConvertFollowUp::cfSettings); });
    menu.AddHelp(Help, About);
}

QStringList TFConvert::QtFilters(const std::string& Filter)
{
    // Pairs of a name and its patterns, shown as "MP3 Audio File (*.mp3)".
    const QStringList parts = FromStd(Filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        filters << parts[i] + " (" + patterns + ")";
    }
    return filters;
}

TConvertFollowUp TFConvert::Run()
{
    FController->ClearFollowUp();
    CloseAllowed = false;
    exec();
    return FController->FollowUp();
}

void TFConvert::SetPlaybackDevice(const std::string& Value)
{
    FPlayer->SetDevice(Value);
}

void TFConvert::showEvent(QShowEvent* Event)
{
    QDialog::showEvent(Event);
    CloseAllowed = false;
    // The file dialog opens once the window is up, over it.
    QTimer::singleShot(0, this, [this] { ShownOpen(); });
}

void TFConvert::ShownOpen()
{
    if (!isVisible() || !OpenOnShow)
        return;
    InFileName->setText(FromStd(Folder));
    BrowseInput();
}

void TFConvert::BrowseInput()
{
    QFileDialog dialog(this, "Open", FromStd(Folder));
    dialog.setObjectName("OpenDialog");
    // Several files chosen together are a queue.
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(QtFilters(FController->FileFilter()));
    const QFileInfo current(InFileName->text());
    if (current.isDir())
        dialog.setDirectory(current.filePath());
    else if (!InFileName->text().isEmpty())
        dialog.setDirectory(current.absolutePath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    std::vector<std::string> files;
    for (const QString& file : dialog.selectedFiles())
        files.push_back(file.toStdString());
    FQueue->Choose(files);
}

void TFConvert::AddFolder()
{
    QFileDialog dialog(this, "Add folder", FromStd(Folder));
    dialog.setObjectName("FolderDialog");
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    AddFiles(dialog.selectedFiles());
}

void TFConvert::AddFiles(const QStringList& FilesOrFolders)
{
    std::vector<std::string> names;
    for (const QString& name : FilesOrFolders)
        names.push_back(name.toStdString());
    FQueue->Add(names);
}

bool TFConvert::SeveralQueued() const
{
    return FQueue->Several();
}

void TFConvert::ConvertClicked()
{
    FQueue->Convert();
}

void TFConvert::dragEnterEvent(QDragEnterEvent* Event)
{
    const QList<QUrl> urls = Event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& U) { return U.isLocalFile(); }))
        Event->acceptProposedAction();
}

void TFConvert::dropEvent(QDropEvent* Event)
{
    QStringList names;
    for (const QUrl& url : Event->mimeData()->urls())
        if (url.isLocalFile())
            names << url.toLocalFile();
    if (names.isEmpty())
        return;
    Event->acceptProposedAction();
    AddFiles(names);
}

void TFConvert::BrowseOutput()
{
    if (SeveralQueued()) {
        QFileDialog folder(this, "Output folder", OutfileName->text());
        folder.setObjectName("OutFolderDialog");
        folder.setFileMode(QFileDialog::Directory);
        folder.setOption(QFileDialog::ShowDirsOnly);
        if (folder.exec() == QDialog::Accepted && !folder.selectedFiles().isEmpty())
            OutfileName->setText(folder.selectedFiles().front());
        return;
    }
    QFileDialog dialog(this, "Save As");
    dialog.setObjectName("SaveDialog");
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(QtFilters(FController->FileFilter()));
    const QString current = OutfileName->text().isEmpty() ? InFileName->text() : OutfileName->text();
    if (!current.isEmpty()) {
        const QFileInfo info(current);
        dialog.setDirectory(info.isDir() ? info.filePath() : info.absolutePath());
        if (!info.isDir())
            dialog.selectFile(info.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    OutfileName->setText(dialog.selectedFiles().front());
}

void TFConvert::EditSettings()
{
    const int index = FController->OutputIndex();
    if (index < 0 || !EditEncoder)
        return;
    TEncoderSettings settings = FController->EncoderSettings();
    if (EditEncoder(this, index, settings))
        FController->SetEncoderSettings(settings);
}

void TFConvert::CancelClicked()
{
    const bool close = FQueue->Cancel();
    if (close)
        this->close();
}

void TFConvert::reject()
{
    // Escape is the Cancel button.
    CancelClicked();
}

void TFConvert::Shortcut(TConvertFollowUp Next)
{
    FQueue->Shortcut(Next);
}

void TFConvert::closeEvent(QCloseEvent* Event)
{
    if (CloseAllowed) {
        QDialog::closeEvent(Event);
        return;
    }
    // The controller stops what runs and says Closed, which closes for real.
    Event->ignore();
    FQueue->Close();
}

// --- IConvertView

void TFConvert::SetInFormat(const std::string& Text)
{
    InFormatText = FromStd(Text);
    if (!SeveralQueued())
        InFormat->setText(InFormatText);
}

void TFConvert::SetOutFileName(const std::string& Name)
{
    // While several files are queued the edit holds their folder; the single
    // conversion's name shows again when the queue goes.
    if (SeveralQueued())
        return;
    Filling = true;
    OutfileName->setText(FromStd(Name));
    Filling = false;
}

void TFConvert::ShowStatusBar(bool Visible)
{
    if (StatusBar->isHidden() != Visible)
        return;
    // The window grows by the bar while it shows and shrinks back after.
    const int room = StatusBar->sizeHint().height() + layout()->spacing();
    StatusBar->setVisible(Visible);
    if (isVisible())
        resize(width(), std::max(minimumSizeHint().height(), height() + (Visible ? room : -room)));
}

void TFConvert::Closed()
{
    CloseAllowed = true;
    done(QDialog::Rejected);
}

// --- the queue

void TFConvert::ShowQueue(bool Several)
{
    Filling = true;
    QueueList->setVisible(Several);
    InFileName->setEnabled(!Several);
    // The queue's files are in the list; the edit names where the first is.
    InFileName->setText(Several ? QFileInfo(FromStd(FBatch->Items().front().InFile)).absolutePath()
                                : FromStd(FController->InFileName()));
    OutLabel->setText(Several ? "Output Folder" : "Output File");
    OutfileName->setPlaceholderText(Several ? "Beside each input file" : "");
    OutfileName->setText(FromStd(Several ? FQueue->OutDir() : FController->OutFileName()));
    InFormat->setText(Several ? FromStd(FQueue->QueuedText()) : InFormatText);
    Filling = false;
    // The list takes room while it shows and gives it back when it goes.
    if (!isVisible())
        return;
    layout()->activate();
    resize(width(), Several ? std::max(height(), sizeHint().height()) : sizeHint().height());
}

void TFConvert::ShowInFileName(const std::string& Name)
{
    InFileName->setText(FromStd(Name));
}

void TFConvert::ItemAdded(std::size_t Index)
{
    auto* row = new QTreeWidgetItem(QueueList);
    auto* bar = new QProgressBar(QueueList);
    bar->setObjectName("RowProgress");
    bar->setRange(0, GaugeSteps);
    bar->setTextVisible(false);
    bar->setMaximumHeight(fontMetrics().height());
    QueueList->setItemWidget(row, 2, bar);
    DrawRow(Index);
    if (SeveralQueued())
        InFormat->setText(FromStd(FQueue->QueuedText()));
}

void TFConvert::ItemChanged(std::size_t Index)
{
    DrawRow(Index);
}

void TFConvert::ItemsCleared()
{
    QueueList->clear();
}

void TFConvert::DrawRow(std::size_t Index)
{
    QTreeWidgetItem* row = QueueList->topLevelItem(static_cast<int>(Index));
    if (!row)
        return;
    const TBatchItem& item = FBatch->Items()[Index];
    const QString state = FromStd(TConvertQueue::StateText(item));
    row->setText(0, QFileInfo(FromStd(item.InFile)).fileName());
    row->setToolTip(0, FromStd(item.InFile));
    row->setText(1, state);
    row->setToolTip(1, state);
    if (auto* bar = qobject_cast<QProgressBar*>(QueueList->itemWidget(row, 2)))
        bar->setValue(static_cast<int>(item.Progress * GaugeSteps + 0.5));
}

// --- the conversion's job

void TFConvert::JobStarted(TJobKind, const std::string& Title)
{
    Stage->setText(FromStd(Title));
    Gauge->setRange(0, GaugeSteps);
    Gauge->setValue(0);
}

void TFConvert::JobProgress(TJobKind, double Fraction, const std::string& Text)
{
    Stage->setText(FromStd(Text));
    if (Fraction < 0) {
        // An input of unknown length: the gauge only says that work goes on.
        Gauge->setRange(0, 0);
        return;
    }
    Gauge->setRange(0, GaugeSteps);
    Gauge->setValue(static_cast<int>(Fraction * GaugeSteps + 0.5));
}

void TFConvert::JobFinished(TJobKind, TJobOutcome, const std::string&)
{
    Gauge->setValue(0);
}

} // namespace kestrune
