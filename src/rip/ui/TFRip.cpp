#include "rip/ui/TFRip.h"

#include "common/ui/TSkin.h"
#include "common/ui/TStatusGauge.h"
#include "common/ui/TWindowMenu.h"
#include "convert/TConvertController.h"
#include "settings/TOptions.h"
#include "settings/ui/TEncoderDialogs.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kestrune {

namespace {

// The columns of the track list; Tag finds the track again and stays hidden.
enum TColumn { colName, colType, colIsrc, colDuration, colPercent, colTag, ColumnCount };

QString Q(const std::string& Text)
{
    return QString::fromStdString(Text);
}

// Only a track's name is edited in place; the other columns are the disc's.
class TNameOnlyDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* Parent, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override
    {
        if (Index.column() != colName)
            return nullptr;
        return QStyledItemDelegate::createEditor(Parent, Option, Index);
    }
};

// The encoder dialogs go by the conversion's format numbers.
int EncoderFormat(int RipFormat)
{
    switch (RipFormat) {
    case TRipController::rfMp3:
        return TConvertController::fiMp3;
    case TRipController::rfFlac:
        return TConvertController::fiFlac;
    case TRipController::rfOgg:
        return TConvertController::fiOgg;
    case TRipController::rfApe:
        return TConvertController::fiApe;
    default:
        return TConvertController::fiWav;
    }
}

QComboBox* NewList(QWidget* Parent, const char* Name, const std::vector<std::string>& Items)
{
    auto* list = new QComboBox(Parent);
    list->setObjectName(QString::fromLatin1(Name));
    for (const std::string& item : Items)
        list->addItem(Q(item));
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return list;
}

} // namespace

TFRip::TFRip(TRipWindowContext Context_, QWidget* Parent) : QDialog(Parent), Context(std::move(Context_))
{
    setObjectName(QStringLiteral("FRip"));
    setWindowTitle(QStringLiteral("Rip CD")); // the desktop adds the program's name
    setWindowIcon(TSkin::Icon("rip"));
    EditEncoder = [](QWidget* Owner, int Index, TEncoderSettings& Settings) {
        return EditEncoderSettings(Owner, Index, Settings);
    };
    // First, so no widget's signal can find it missing; it draws nothing
    // until the window is shown.
    FController = std::make_unique<TRipController>(*this, Context.Dialogs, Context.Dispatcher, Context.Drives,
                                                   Context.Settings ? *Context.Settings
                                                                    : RipSettingsFrom(Context.Options));
    FController->Events().Subscribe(this);
    BuildControls();
    BuildMenus();
    EnableControls(false);
}

TFRip::~TFRip()
{
    FController->Events().Unsubscribe(this);
    // The widgets outlive the controller by a moment; nothing they say then
    // reaches it.
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
    FController.reset();
    if (Busy)
        QApplication::restoreOverrideCursor();
}

void TFRip::BuildControls()
{
    auto* column = new QVBoxLayout(this);

    auto* drive = new QHBoxLayout;
    auto* driveLabel = new QLabel(QStringLiteral("Select Drive"), this);
    DriveCombo = new QComboBox(this);
    DriveCombo->setObjectName(QStringLiteral("DriveCombo"));
    DriveCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    DriveCombo->setMinimumContentsLength(40);
    driveLabel->setBuddy(DriveCombo);
    drive->addWidget(driveLabel);
    drive->addWidget(DriveCombo, 1);
    column->addLayout(drive);

    auto* album = new QGridLayout;
    auto* albumLabel = new QLabel(QStringLiteral("Album"), this);
    txtAlbum = new QLineEdit(this);
    txtAlbum->setObjectName(QStringLiteral("txtAlbum"));
    albumLabel->setBuddy(txtAlbum);
    auto* entryLabel = new QLabel(QStringLiteral("Entry"), this);
    txtAlbumNum = new QSpinBox(this);
    txtAlbumNum->setObjectName(QStringLiteral("txtAlbumNum"));
    txtAlbumNum->setRange(0, 0);
    txtAlbumNum->setToolTip(QStringLiteral("The album entry shown, when the servers know several"));
    // Arrows and typing both choose; only a finished choice counts.
    txtAlbumNum->setKeyboardTracking(false);
    entryLabel->setBuddy(txtAlbumNum);
    auto* artistLabel = new QLabel(QStringLiteral("Artist"), this);
    txtArtist = new QLineEdit(this);
    txtArtist->setObjectName(QStringLiteral("txtArtist"));
    artistLabel->setBuddy(txtArtist);
    auto* genreLabel = new QLabel(QStringLiteral("Genre"), this);
    // Any text is a genre; the list only offers the known ones.
    txtGenre = NewList(this, "txtGenre", Context.Genres);
    txtGenre->setEditable(true);
    txtGenre->setInsertPolicy(QComboBox::NoInsert);
    txtGenre->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    txtGenre->setMinimumContentsLength(16);
    txtGenre->completer()->setCaseSensitivity(Qt::CaseInsensitive);
    txtGenre->setCurrentIndex(-1);
    txtGenre->setEditText(QString());
    genreLabel->setBuddy(txtGenre);
    LCDDB = new QLabel(this);
    LCDDB->setObjectName(QStringLiteral("LCDDB"));
    LCDDB->setTextInteractionFlags(Qt::TextSelectableByMouse);
    album->addWidget(albumLabel, 0, 0);
    album->addWidget(txtAlbum, 0, 1);
    album->addWidget(entryLabel, 0, 2);
    album->addWidget(txtAlbumNum, 0, 3);
    album->addWidget(artistLabel, 1, 0);
    album->addWidget(txtArtist, 1, 1);
    album->addWidget(LCDDB, 1, 2, 1, 2, Qt::AlignRight);
    album->addWidget(genreLabel, 2, 0);
    album->addWidget(txtGenre, 2, 1, Qt::AlignLeft);
    album->setColumnStretch(1, 1);
    column->addLayout(album);

    auto* checks = new QHBoxLayout;
    chkFreedbInfo = new QCheckBox(QStringLiteral("Load CD Album Information"), this);
    chkFreedbInfo->setObjectName(QStringLiteral("chkFreedbInfo"));
    chkISRCInfo = new QCheckBox(QStringLiteral("Read track ISRC"), this);
    chkISRCInfo->setObjectName(QStringLiteral("chkISRCInfo"));
    checks->addWidget(chkFreedbInfo);
    checks->addWidget(chkISRCInfo);
    checks->addStretch(1);
    column->addLayout(checks);

    TrackListView = new QTreeWidget(this);
    TrackListView->setObjectName(QStringLiteral("TrackListView"));
    TrackListView->setColumnCount(ColumnCount);
    TrackListView->setHeaderLabels({QStringLiteral("Track Name"), QStringLiteral("Type"), QStringLiteral("ISRC"),
                                    QStringLiteral("Duration"), QStringLiteral("Percent"), QStringLiteral("Tag")});
    TrackListView->setRootIsDecorated(false);
    TrackListView->setUniformRowHeights(true);
    TrackListView->setSortingEnabled(false);
    TrackListView->setAllColumnsShowFocus(true);
    TrackListView->setItemDelegate(new TNameOnlyDelegate(TrackListView));
    TrackListView->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                   QAbstractItemView::SelectedClicked);
    TrackListView->setColumnHidden(colTag, true);
    QHeaderView* header = TrackListView->header();
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(colName, QHeaderView::Stretch);
    for (int c : {colType, colIsrc, colDuration, colPercent})
        header->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    const QFontMetrics metrics = TrackListView->fontMetrics();
    header->setMinimumSectionSize(metrics.averageCharWidth() * 8);
    TrackListView->setMinimumWidth(metrics.averageCharWidth() * 90);
    TrackListView->setMinimumHeight(metrics.height() * 12);
    column->addWidget(TrackListView, 1);

    auto* format = new QHBoxLayout;
    auto* formatLabel = new QLabel(QStringLiteral("Format"), this);
    txtFormat = NewList(this, "txtFormat", TRipController::FormatTexts());
    txtFormat->setCurrentIndex(FController->Format());
    formatLabel->setBuddy(txtFormat);
    cmdOptions = new QPushButton(QStringLiteral("Advanced Settings"), this);
    cmdOptions->setObjectName(QStringLiteral("cmdOptions"));
    auto* freqLabel = new QLabel(QStringLiteral("Frequency"), this);
    CBFreq = NewList(this, "CBFreq", TRipController::SampleFormatTexts());
    CBFreq->setCurrentIndex(TRipController::DefaultSampleFormat);
    freqLabel->setBuddy(CBFreq);
    format->addWidget(formatLabel);
    format->addWidget(txtFormat);
    format->addWidget(cmdOptions);
    format->addSpacing(metrics.averageCharWidth() * 3);
    format->addWidget(freqLabel);
    format->addWidget(CBFreq);
    format->addStretch(1);
    column->addLayout(format);

    auto* buttons = new QHBoxLayout;
    QToolButton* wizard = TSkin::PictureButton(this, "BWiz", "wizard", "Our Automated Wizard!");
    QToolButton* settings = TSkin::PictureButton(this, "BtnSettings", "settings", "Click Here For Settings");
    QToolButton* convert = TSkin::PictureButton(this, "BtnConvert", "convert", "Convert Music");
    buttons->addWidget(wizard);
    buttons->addWidget(settings);
    buttons->addWidget(convert);
    buttons->addStretch(1);
    cmdSaveToCDGRABBERINI = new QPushButton(QStringLiteral("Save Album Info"), this);
    cmdSaveToCDGRABBERINI->setObjectName(QStringLiteral("cmdSaveToCDGRABBERINI"));
    cmdGrab = new QPushButton(QStringLiteral("Grab Track"), this);
    cmdGrab->setObjectName(QStringLiteral("cmdGrab"));
    cmdGrab->setIcon(TSkin::Icon("rip"));
    cmdGrab->setDefault(true);
    // Wide enough for both of its captions, so it does not jump.
    cmdGrab->setMinimumWidth(cmdGrab->sizeHint().width() +
                             cmdGrab->fontMetrics().horizontalAdvance(QStringLiteral("Stop grabing")) -
                             cmdGrab->fontMetrics().horizontalAdvance(QStringLiteral("Grab Track")));
    buttons->addWidget(cmdSaveToCDGRABBERINI);
    buttons->addWidget(cmdGrab);
    column->addLayout(buttons);

    LStatus = new QLabel(QStringLiteral("No disc"), this);
    LStatus->setObjectName(QStringLiteral("LStatus"));
    StatusBar = new TStatusGauge(LStatus, "progressBar", this);
    column->addWidget(StatusBar);

    // A change of drive by the user; choosing the drive already chosen reads nothing again.
    connect(DriveCombo, &QComboBox::currentIndexChanged, this, [this](int Index) {
        if (!Filling && Index >= 0)
            FController->ChooseDrive(Index);
    });
    connect(txtAlbumNum, &QSpinBox::valueChanged, this, [this](int Value) {
        if (!Filling)
            FController->ChooseAlbumEntry(Value);
    });
    connect(txtAlbum, &QLineEdit::textChanged, this, [this] { AlbumFieldsEdited(); });
    connect(txtArtist, &QLineEdit::textChanged, this, [this] { AlbumFieldsEdited(); });
    connect(txtGenre, &QComboBox::editTextChanged, this, [this] { AlbumFieldsEdited(); });
    // clicked: the user's click only, never a check the window sets itself.
    connect(chkFreedbInfo, &QCheckBox::clicked, this, [this](bool Checked) {
        FController->ClickLoadAlbumInfo(Checked);
    });
    connect(chkISRCInfo, &QCheckBox::clicked, this, [this](bool Checked) { FController->ClickReadIsrc(Checked); });
    connect(TrackListView, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* Item, int Column) {
        if (Filling)
            return;
        const int index = RowOf(Item);
        if (index < 0 || index >= static_cast<int>(FController->Rows().size()))
            return;
        const TRipRow& row = FController->Rows()[static_cast<std::size_t>(index)];
        const bool checked = Item->checkState(colName) == Qt::Checked;
        if (checked != row.Checked)
            FController->SetRowChecked(index, checked);
        if (Column == colName && Item->text(colName).toStdString() != row.Caption)
            FController->SetRowCaption(index, Item->text(colName).toStdString());
    });
    connect(TrackListView, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* Item) {
        if (!FController->Grabbing())
            FController->ClickRow(RowOf(Item));
    });
    // A double click anywhere on a row renames it.
    connect(TrackListView, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* Item, int Column) {
        if (Column != colName && (Item->flags() & Qt::ItemIsEditable))
            TrackListView->editItem(Item, colName);
    });
    connect(txtFormat, &QComboBox::currentIndexChanged, this, [this](int Index) {
        if (Filling || Index < 0)
            return;
        FController->SetFormat(Index);
        UpdateFormatOptions();
    });
    connect(CBFreq, &QComboBox::currentIndexChanged, this, [this](int Index) {
        if (Filling || Index < 0)
            return;
        FController->SetSampleFormat(Index);
        UpdateFormatOptions();
    });
    connect(cmdOptions, &QPushButton::clicked, this, [this] { AdvancedSettings(); });
    connect(cmdGrab, &QPushButton::clicked, this, [this] { FController->Grab(); });
    connect(cmdSaveToCDGRABBERINI, &QPushButton::clicked, this, [this] { FController->SaveAlbumInfo(); });
    connect(wizard, &QToolButton::clicked, this, [this] { Shortcut(TRipFollowUp::rfWizard); });
    connect(settings, &QToolButton::clicked, this, [this] { Shortcut(TRipFollowUp::rfSettings); });
    connect(convert, &QToolButton::clicked, this, [this] { Shortcut(TRipFollowUp::rfConvert); });
}

void TFRip::BuildMenus()
{
    TWindowMenu menu(*this);
    QMenu* file = menu.Menu("File1", "&File");
    GrabTrack1 = menu.Add(file, "GrabTrack1", "Grab Track", [this] { FController->Grab(); });
    SaveAlbumInfo1 = menu.Add(file, "SaveAlbumInfo1", "Save Album Info", [this] { FController->SaveAlbumInfo(); });
    FormatOptions1 = menu.Add(file, "FormatOptions1", "Format Options", [this] { AdvancedSettings(); });
    file->addSeparator();
    menu.Add(file, "Exit1", "Exit", [this] { close(); });
    QMenu* tools = menu.Menu("Tools1", "&Tools");
    menu.Add(tools, "Wizard1", "Wizard", [this] { Shortcut(TRipFollowUp::rfWizard); });
    menu.Add(tools, "Convert1", "Convert", [this] { Shortcut(TRipFollowUp::rfConvert); });
    menu.Add(tools, "Settings1", "Settings", [this] { Shortcut(TRipFollowUp::rfSettings); });
    menu.Add(tools, "Burn1", "Burn", [this] { Shortcut(TRipFollowUp::rfBurn); });
    CD1 = menu.Menu("CD1", "&CD");
    Eject1 = menu.Add(CD1, "Eject1", "Eject", [this] { FController->Eject(); });
    Load1 = menu.Add(CD1, "Load1", "Load", [this] { FController->LoadTray(); });
    menu.AddHelp(Context.Help, Context.About);
}

TRipFollowUp TFRip::Run()
{
    exec();
    return FollowUp;
}

void TFRip::showEvent(QShowEvent* Event)
{
    QDialog::showEvent(Event);
    if (Shown)
        return;
    Shown = true;
    // Makes the rip folder and scans the drives once the window is up.
    FController->Show();
}

void TFRip::Shortcut(TRipFollowUp Next)
{
    // Refused while an album query runs, and not kept for later.
    if (!FController->CanClose())
        return;
    FollowUp = Next;
    close();
}

void TFRip::reject()
{
    close();
}

void TFRip::closeEvent(QCloseEvent* Event)
{
    if (!FController->CanClose()) {
        Event->ignore();
        return;
    }
    // A grab still running stops, its unfinished file goes, the drive is let go.
    FController->Close();
    Event->accept();
    done(QDialog::Rejected);
}

void TFRip::AlbumFieldsEdited()
{
    if (Filling)
        return;
    FController->SetAlbumFields(txtAlbum->text().toStdString(), txtArtist->text().toStdString(),
                                txtGenre->currentText().toStdString());
}

void TFRip::AdvancedSettings()
{
    if (!FController->AskAdvancedSettings() || !EditEncoder)
        return;
    TEncoderSettings settings = FController->EncoderSettings();
    if (EditEncoder(this, EncoderFormat(FController->Format()), settings))
        FController->SetEncoderSettings(settings);
}

void TFRip::UpdateFormatOptions()
{
    const bool on = ControlsOn && FController->OptionsEnabled();
    cmdOptions->setEnabled(on);
    FormatOptions1->setEnabled(on);
}

int TFRip::RowOf(QTreeWidgetItem* Item) const
{
    return Item ? TrackListView->indexOfTopLevelItem(Item) : -1;
}

// --- IRipView

void TFRip::SetDrives(const std::vector<std::string>& Entries, int Chosen)
{
    Filling = true;
    DriveCombo->clear();
    for (const std::string& entry : Entries)
        DriveCombo->addItem(Q(entry));
    DriveCombo->setCurrentIndex(Chosen);
    Filling = false;
}

void TFRip::SetStatus(const std::string& Text)
{
    LStatus->setText(Q(Text));
    // The status line names no cause of a failed refresh; its tooltip does.
    if (Text == "Error: " && !FController->ErrorDetail().empty())
        LStatus->setToolTip(Q(FController->ErrorDetail()));
}

void TFRip::SetDiscIdText(const std::string& Text)
{
    LCDDB->setText(Q(Text));
}

void TFRip::SetAlbumFields(const std::string& Album, const std::string& Artist, const std::string& Genre)
{
    Filling = true;
    txtAlbum->setText(Q(Album));
    txtArtist->setText(Q(Artist));
    const int known = txtGenre->findText(Q(Genre), Qt::MatchFixedString);
    txtGenre->setCurrentIndex(Genre.empty() ? -1 : known);
    txtGenre->setEditText(Q(Genre));
    Filling = false;
}

void TFRip::SetAlbumEntryRange(int Minimum, int Maximum, int Value)
{
    Filling = true;
    txtAlbumNum->setRange(Minimum, Maximum);
    txtAlbumNum->setValue(Value);
    Filling = false;
}

void TFRip::DrawRow(QTreeWidgetItem* Item, const TRipRow& Row)
{
    Item->setText(colName, Q(Row.Caption));
    Item->setCheckState(colName, Row.Checked ? Qt::Checked : Qt::Unchecked);
    Item->setText(colType, Q(Row.Type));
    Item->setText(colIsrc, Q(Row.Isrc));
    Item->setText(colDuration, Q(Row.Duration));
    Item->setText(colPercent, Q(Row.Percent));
    Item->setText(colTag, Q(Row.Tag));
    for (int c : {colDuration, colPercent})
        Item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
}

void TFRip::SetRows(const std::vector<TRipRow>& Rows)
{
    Filling = true;
    TrackListView->clear();
    for (const TRipRow& row : Rows) {
        auto* item = new QTreeWidgetItem(TrackListView);
        item->setFlags(item->flags() | Qt::ItemIsEditable | Qt::ItemIsUserCheckable);
        DrawRow(item, row);
    }
    Filling = false;
}

void TFRip::RowChanged(int Index, const TRipRow& Row)
{
    QTreeWidgetItem* item = TrackListView->topLevelItem(Index);
    if (!item)
        return;
    Filling = true;
    DrawRow(item, Row);
    Filling = false;
}

void TFRip::SelectRow(int Index)
{
    QTreeWidgetItem* item = TrackListView->topLevelItem(Index);
    Filling = true;
    TrackListView->setCurrentItem(item);
    if (item)
        TrackListView->scrollToItem(item);
    Filling = false;
}

void TFRip::EnableControls(bool Enabled)
{
    ControlsOn = Enabled;
    for (QWidget* control : std::initializer_list<QWidget*>{DriveCombo, chkFreedbInfo, cmdGrab, txtFormat, chkISRCInfo,
                                                            txtAlbumNum, cmdSaveToCDGRABBERINI})
        control->setEnabled(Enabled);
    for (QAction* action : {GrabTrack1, SaveAlbumInfo1, Eject1, Load1})
        action->setEnabled(Enabled);
    UpdateFormatOptions();
    CD1->menuAction()->setVisible(Enabled);
}

void TFRip::EnableDriveChoice(bool Enabled)
{
    DriveCombo->setEnabled(Enabled);
    CD1->menuAction()->setVisible(true);
    // Without a disc the tray is what the user reaches for: CD > Load (and
    // Eject) stay with the drive choice.
    Eject1->setEnabled(Enabled);
    Load1->setEnabled(Enabled);
}

void TFRip::SetGrabButton(const std::string& Caption, bool Enabled)
{
    cmdGrab->setText(Q(Caption));
    cmdGrab->setEnabled(Enabled);
    // The menu entry starts and stops the run as the button does.
    GrabTrack1->setText(Q(Caption));
    GrabTrack1->setEnabled(Enabled);
}

void TFRip::ShowProgress(bool Visible, int Percent)
{
    StatusBar->ShowProgress(Visible, Percent);
}

void TFRip::SetBusy(bool Value)
{
    if (Value == Busy)
        return;
    Busy = Value;
    if (Busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

// --- the grab run's job

void TFRip::JobStarted(TJobKind, const std::string&)
{
    Messages.clear();
    LStatus->setToolTip(QString());
}

void TFRip::JobMessage(TJobKind, TJobMessageKind, const std::string& Text)
{
    // Each failed track and each verdict: kept with the status line's
    // tooltip, so the whole run can be read back after it.
    Messages.push_back(Text);
    QStringList lines;
    for (const std::string& message : Messages)
        lines << Q(message);
    LStatus->setToolTip(lines.join(QLatin1Char('\n')));
}

} // namespace kestrune
