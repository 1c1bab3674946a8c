#include "convert/ui/TFConvert.h"

#include "common/ui/TSkin.h"
#include "settings/ui/TEncoderDialogs.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

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
    setWindowTitle("Kestrune - Convert file");
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
    BuildControls();
    BuildMenus();
    StatusBar->hide();
}

TFConvert::~TFConvert()
{
    FController->Events().Unsubscribe(this);
    FPlayer.reset();
    FController.reset();
}

QToolButton* TFConvert::AddPictureButton(const char* Name, const char* Icon, const char* Hint)
{
    auto* button = new QToolButton(this);
    button->setObjectName(Name);
    button->setIcon(TSkin::Icon(Icon));
    button->setIconSize(QSize(32, 32));
    button->setToolTip(Hint);
    button->setAutoRaise(true);
    return button;
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
    auto* outLabel = new QLabel("Output File", output);
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
    QToolButton* wizard = AddPictureButton("BtnWizard", "wizard", "Our Automated Wizard!");
    QToolButton* settings = AddPictureButton("BtnSettingsWindow", "settings", "Click Here For Settings");
    QToolButton* burn = AddPictureButton("BtnBurn", "burn", "Burn a CD!");
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
        if (!Filling)
            FController->SetOutFileName(Text.toStdString());
    });
    connect(OutFormat, &QComboBox::currentIndexChanged, this, [this](int Index) { FController->ChooseOutFormat(Index); });
    connect(BtnSettings, &QPushButton::clicked, this, [this] { EditSettings(); });
    connect(BtnCancel, &QPushButton::clicked, this, [this] { CancelClicked(); });
    connect(BtnConvert, &QPushButton::clicked, this, [this] { FController->Convert(); });
    connect(wizard, &QToolButton::clicked, this, [this] { Shortcut(TConvertFollowUp::cfWizard); });
    connect(settings, &QToolButton::clicked, this, [this] { Shortcut(TConvertFollowUp::cfSettings); });
    connect(burn, &QToolButton::clicked, this, [this] { Shortcut(TConvertFollowUp::cfBurn); });
}

void TFConvert::BuildMenus()
{
    auto* bar = new QMenuBar(this);
    bar->setObjectName("MainMenu");
    layout()->setMenuBar(bar);
    auto add = [this](QMenu* Menu, const char* Name, const char* Text, auto Slot) {
        QAction* action = Menu->addAction(Text);
        action->setObjectName(Name);
        connect(action, &QAction::triggered, this, Slot);
        return action;
    };
    QMenu* file = bar->addMenu("&File");
    file->setObjectName("File1");
    add(file, "Convert1", "Convert", [this] { BtnConvert->click(); });
    add(file, "Exit1", "Exit", [this] { close(); });
    QMenu* tools = bar->addMenu("&Tools");
    tools->setObjectName("Tools1");
    add(tools, "Burn1", "Burn", [this] { Shortcut(TConvertFollowUp::cfBurn); });
    add(tools, "Settings1", "Settings", [this] { Shortcut(TConvertFollowUp::cfSettings); });
    QMenu* help = bar->addMenu("&Help");
    help->setObjectName("Help1");
    add(help, "OnlineHelp1", "Online Help", [this] {
        if (Help)
            Help();
    });
    add(help, "About1", "About", [this] {
        if (About)
            About();
    });
}

QStringList TFConvert::QtFilters(const std::string& Filter)
{
    // Pairs of a name and its patterns; the names already show the patterns
    // where they should, so the dialog hides Qt's own copy of them.
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
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(QtFilters(FController->FileFilter()));
    const QFileInfo current(InFileName->text());
    if (current.isDir())
        dialog.setDirectory(current.filePath());
    else if (!InFileName->text().isEmpty())
        dialog.setDirectory(current.absolutePath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    InFileName->setText(dialog.selectedFiles().front());
}

void TFConvert::BrowseOutput()
{
    QFileDialog dialog(this, "Save As");
    dialog.setObjectName("SaveDialog");
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
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
    if (FController->Cancel())
        close();
}

void TFConvert::reject()
{
    // Escape is the Cancel button.
    CancelClicked();
}

void TFConvert::Shortcut(TConvertFollowUp Next)
{
    FController->Shortcut(Next);
}

void TFConvert::closeEvent(QCloseEvent* Event)
{
    if (CloseAllowed) {
        QDialog::closeEvent(Event);
        return;
    }
    // The controller stops what runs and says Closed, which closes for real.
    Event->ignore();
    FController->Close();
}

// --- IConvertView

void TFConvert::SetInFormat(const std::string& Text)
{
    InFormat->setText(FromStd(Text));
}

void TFConvert::SetOutFileName(const std::string& Name)
{
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
