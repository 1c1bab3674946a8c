#include "burn/ui/TFBurn.h"

#include "common/ui/TSkin.h"
#include "common/ui/TStatusGauge.h"
#include "common/ui/TWindowMenu.h"
#include "settings/TOptions.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace kestrune {

namespace {

enum TColumn { colType, colName, colDuration, ColumnCount };

QString Q(const std::string& Text)
{
    return QString::fromStdString(Text);
}

// The status line names the file being read or written, which may be a long
// path: it is shortened in the middle to the room there is, never widening
// the window. text() keeps it whole.
class TElidingLabel final : public QLabel {
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override
    {
        return {fontMetrics().averageCharWidth() * 12, QLabel::minimumSizeHint().height()};
    }
    QSize sizeHint() const override
    {
        return {std::min(QLabel::sizeHint().width(), fontMetrics().averageCharWidth() * 40),
                QLabel::sizeHint().height()};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRect room = contentsRect().marginsRemoved(QMargins(margin(), 0, margin(), 0));
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
        painter.drawText(room, static_cast<int>(alignment()),
                         fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width()));
    }
};

// The drive list: an image drive is named by its path, which may be longer
// than the room; the shown entry is shortened in the middle so that both
// the kind of drive and the file's name stay in sight.
class TElidingCombo final : public QComboBox {
public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        painter.setPen(palette().color(QPalette::Text));
        QStyleOptionComboBox option;
        initStyleOption(&option);
        const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
        option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideMiddle, field.width() - 2);
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }
};

} // namespace

TFBurn::TFBurn(TBurnWindowContext Context_, QWidget* Parent) : QDialog(Parent), Context(std::move(Context_))
{
    setObjectName(QStringLiteral("FCDBurn"));
    setWindowTitle(QStringLiteral("CD Burning")); // the desktop adds the program's name
    setWindowIcon(TSkin::Icon("burn"));
    // First, so no widget's signal can find it missing.
    FController = std::make_unique<TBurnController>(*this, Context.Dialogs, Context.Dispatcher, Context.Writer,
                                                    Context.Options);
    BuildControls();
    BuildMenus();
    KeepCaptionsWhole();
    setAcceptDrops(true);
    if (Context.ScanAtStart) {
        // The drives are looked for as soon as the program's event loop runs,
        // so the main window comes up without waiting for the drives.
        QTimer::singleShot(1, this, [this] { FController->StartScan(); });
    }
}

TFBurn::~TFBurn()
{
    // The widgets outlive the controller by a moment; nothing they say then
    // reaches it.
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
    // A write still running stops and the drives are let go.
    FController->Shutdown();
    FController.reset();
}

void TFBurn::BuildControls()
{
    auto* column = new QVBoxLayout(this);
    const QFontMetrics metrics = fontMetrics();

    auto* drives = new QGridLayout;
    auto* driveLabel = new QLabel(QStringLiteral("Select Drive"), this);
    lbDrives = new TElidingCombo(this);
    lbDrives->setObjectName(QStringLiteral("lbDrives"));
    lbDrives->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    lbDrives->setMinimumContentsLength(36);
    driveLabel->setBuddy(lbDrives);
    auto* speedLabel = new QLabel(QStringLiteral("Speed"), this);
    lbSpeed = new QComboBox(this);
    lbSpeed->setObjectName(QStringLiteral("lbSpeed"));
    lbSpeed->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    lbSpeed->setMinimumContentsLength(4);
    speedLabel->setBuddy(lbSpeed);
    drives->addWidget(driveLabel, 0, 0);
    drives->addWidget(lbDrives, 0, 1);
    drives->addWidget(speedLabel, 0, 2);
    drives->addWidget(lbSpeed, 0, 3);
    drives->setColumnStretch(1, 1);
    column->addLayout(drives);

    auto* queueBar = new QHBoxLayout;
    bsSkinButton1 = new QPushButton(QStringLiteral("Add Files"), this);
    bsSkinButton1->setObjectName(QStringLiteral("bsSkinButton1"));
    bsSkinButton1->setToolTip(QStringLiteral("Add audio files to the CD"));
    queueBar->addWidget(bsSkinButton1);
    queueBar->addStretch(1);
    column->addLayout(queueBar);

    clBox = new QTreeWidget(this);
    clBox->setObjectName(QStringLiteral("clBox"));
    clBox->setColumnCount(ColumnCount);
    clBox->setHeaderLabels({QStringLiteral("Type"), QStringLiteral("Name"), QStringLiteral("Duration")});
    clBox->setRootIsDecorated(false);
    clBox->setUniformRowHeights(true);
    clBox->setSortingEnabled(false);
    clBox->setAllColumnsShowFocus(true);
    clBox->setSelectionBehavior(QAbstractItemView::SelectRows);
    clBox->setSelectionMode(QAbstractItemView::SingleSelection);
    clBox->setContextMenuPolicy(Qt::CustomContextMenu);
    // Paths share their folders: the file's own name is what must show.
    clBox->setTextElideMode(Qt::ElideMiddle);
    QHeaderView* header = clBox->header();
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    // The type is a short extension and the duration a few digits: the name
    // takes the rest.
    header->setSectionResizeMode(colType, QHeaderView::Fixed);
    header->setSectionResizeMode(colName, QHeaderView::Stretch);
    header->setSectionResizeMode(colDuration, QHeaderView::Fixed);
    header->resizeSection(colType, metrics.horizontalAdvance(QStringLiteral(".FLAC")) + metrics.averageCharWidth() * 4);
    header->resizeSection(colDuration,
                          metrics.horizontalAdvance(QStringLiteral("Duration")) + metrics.averageCharWidth() * 4);
    clBox->setMinimumWidth(metrics.averageCharWidth() * 90);
    clBox->setMinimumHeight(metrics.height() * 12);
    column->addWidget(clBox, 1);

    auto* disc = new QVBoxLayout;
    LDescription = new QLabel(QStringLiteral("No disc"), this);
    LDescription->setObjectName(QStringLiteral("LDescription"));
    LSpace = new QLabel(QStringLiteral("No disc"), this);
    LSpace->setObjectName(QStringLiteral("LSpace"));
    LSpace->setTextInteractionFlags(Qt::TextSelectableByMouse);
    disc->addWidget(LDescription);
    disc->addWidget(LSpace);
    column->addLayout(disc);

    auto* buttons = new QHBoxLayout;
    QToolButton* wizard = TSkin::PictureButton(this, "BWiz", "wizard", "Our Automated Wizard!");
    QToolButton* settings = TSkin::PictureButton(this, "BtnSettings", "settings", "Click Here For Settings");
    QToolButton* convert = TSkin::PictureButton(this, "BtnConvert", "convert", "Convert Music");
    buttons->addWidget(wizard);
    buttons->addWidget(settings);
    buttons->addWidget(convert);
    buttons->addStretch(1);
    const auto button = [this](const char* Name, const char* Text) {
        auto* b = new QPushButton(QString::fromLatin1(Text), this);
        b->setObjectName(QString::fromLatin1(Name));
        return b;
    };
    BErase = button("BErase", "Quick Erase");
    BLoad = button("BLoad", "Load");
    BEject = button("BEject", "Eject");
    BBurn = button("BBurn", "BURN CD!");
    BBurn->setIcon(TSkin::Icon("burn"));
    // Not the default button: Enter in the list must not start a burn.
    for (QPushButton* b : {BErase, BLoad, BEject, BBurn})
        b->setAutoDefault(false);
    for (QPushButton* b : {BErase, BLoad, BEject, BBurn})
        buttons->addWidget(b);
    column->addLayout(buttons);

    status = new TElidingLabel(QStringLiteral("IDLE"), this);
    status->setObjectName(QStringLiteral("status"));
    status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    StatusBar = new TStatusGauge(status, "PB", this);
    column->addWidget(StatusBar);

    // The list's own commands, with their keys while the list has the focus.
    const auto listAction = [this](const char* Name, const char* Text, QKeySequence Key, auto Slot) {
        auto* action = new QAction(QString::fromLatin1(Text), clBox);
        action->setObjectName(QString::fromLatin1(Name));
        action->setShortcut(Key);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, Slot);
        clBox->addAction(action);
        return action;
    };
    QAction* add = listAction("Add1", "Add ...", QKeySequence(Qt::Key_Insert), [this] { AddFiles(); });
    QAction* remove = listAction("Delete1", "Delete", QKeySequence(Qt::Key_Delete), [this] { DeleteSelected(); });
    QAction* clear = listAction("ClearAll1", "Clear All", QKeySequence(Qt::CTRL | Qt::Key_Delete),
                                [this] { FController->ClearAll(); });
    connect(clBox, &QTreeWidget::customContextMenuRequested, this, [this, add, remove, clear](const QPoint& At) {
        QMenu menu(this);
        menu.setObjectName(QStringLiteral("PopupMenu1"));
        remove->setEnabled(clBox->currentItem() != nullptr);
        clear->setEnabled(clBox->topLevelItemCount() > 0);
        menu.addAction(add);
        menu.addAction(remove);
        menu.addAction(clear);
        menu.exec(clBox->viewport()->mapToGlobal(At));
        remove->setEnabled(true);
        clear->setEnabled(true);
    });

    connect(lbDrives, &QComboBox::activated, this, [this](int Index) {
        lbDrives->setToolTip(lbDrives->currentText());
        if (!Filling && Index >= 0)
            FController->ChangeDrive(Index);
    });
    connect(lbSpeed, &QComboBox::activated, this, [this](int Index) {
        if (!Filling && Index >= 0)
            FController->ChangeSpeed(Index);
    });
    connect(bsSkinButton1, &QPushButton::clicked, this, [this] { AddFiles(); });
    connect(BErase, &QPushButton::clicked, this, [this] { FController->QuickErase(); });
    connect(BLoad, &QPushButton::clicked, this, [this] { FController->LoadTray(); });
    connect(BEject, &QPushButton::clicked, this, [this] { FController->Eject(); });
    connect(BBurn, &QPushButton::clicked, this, [this] { FController->StartBurn(); });
    connect(wizard, &QToolButton::clicked, this, [this] { Shortcut(TBurnFollowUp::bfWizard); });
    connect(settings, &QToolButton::clicked, this, [this] { Shortcut(TBurnFollowUp::bfSettings); });
    connect(convert, &QToolButton::clicked, this, [this] { Shortcut(TBurnFollowUp::bfConvert); });
}

void TFBurn::BuildMenus()
{
    TWindowMenu menu(*this);
    QMenu* file = menu.Menu("File1", "&File");
    menu.Add(file, "AddFiles1", "Add File(s)", [this] { AddFiles(); });
    menu.Add(file, "Exit1", "Exit", [this] { close(); });
    QMenu* tools = menu.Menu("Tools1", "&Tools");
    menu.Add(tools, "Convert1", "Convert", [this] { Shortcut(TBurnFollowUp::bfConvert); });
    menu.Add(tools, "Settings1", "Settings", [this] { Shortcut(TBurnFollowUp::bfSettings); });
    QMenu* cd = menu.Menu("CD1", "&CD");
    menu.Add(cd, "QuickErase1", "Quick Erase", [this] { FController->QuickErase(); });
    menu.Add(cd, "Eject1", "Eject", [this] { FController->Eject(); });
    menu.Add(cd, "Load1", "Load", [this] { FController->LoadTray(); });
    menu.Add(cd, "Burn1", "Burn", [this] { FController->StartBurn(); });
    menu.AddHelp(Context.Help, Context.About);
    MenuItems = menu.Actions();
}

QStringList TFBurn::FileFilters()
{
    // Only what the program's own readers take: anything else would be
    // refused when it is queued.
    return {QStringLiteral("All files (*.wav *.mp3 *.ogg *.flac *.ape)"), QStringLiteral("Wav files (*.wav)"),
            QStringLiteral("MPEG files (*.mp3)"), QStringLiteral("Ogg Vorbis files (*.ogg)"),
            QStringLiteral("FLAC files (*.flac)"), QStringLiteral("Monkey's Audio files (*.ape)")};
}

TBurnFollowUp TFBurn::Run()
{
    FollowUp = TBurnFollowUp::bfNone;
    exec();
    return FollowUp;
}

TBurnFollowUp TFBurn::Run(const std::vector<std::string>& Queue)
{
    FController->LoadQueue(Queue);
    ReadDiscOnShow = false;
    const TBurnFollowUp next = Run();
    ReadDiscOnShow = true;
    return next;
}

void TFBurn::AddFiles()
{
    if (!FController->CanAddFiles())
        return;
    QFileDialog dialog(this, QStringLiteral("Open file"));
    dialog.setObjectName(QStringLiteral("od"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(FileFilters());
    dialog.selectNameFilter(FileFilters().front());
    const QString folder = Q(Context.Options.Folder);
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        dialog.setDirectory(folder);
    if (dialog.exec() != QDialog::Accepted)
        return;
    std::vector<std::string> files;
    for (const QString& file : dialog.selectedFiles())
        files.push_back(file.toStdString());
    if (!files.empty())
        FController->AddFiles(files);
}

void TFBurn::DeleteSelected()
{
    QTreeWidgetItem* item = clBox->currentItem();
    if (!item || !item->isSelected())
        return;
    FController->DeleteRow(clBox->indexOfTopLevelItem(item));
}

void TFBurn::Shortcut(TBurnFollowUp Next)
{
    FollowUp = Next;
    close();
}

void TFBurn::showEvent(QShowEvent* Event)
{
    QDialog::showEvent(Event);
    // The disc may have changed while the window was hidden. Not while the
    // drives are being looked for: the controller refreshes when that ends.
    if (ReadDiscOnShow && FController->WriterAvailable() && !FController->WriterBusy())
        FController->RefreshDiscInfo();
}

void TFBurn::reject()
{
    close();
}

void TFBurn::closeEvent(QCloseEvent* Event)
{
    // Closing only hides the window: it lives as long as the program, and a
    // write that runs goes on.
    Event->accept();
    done(QDialog::Rejected);
}

void TFBurn::changeEvent(QEvent* Event)
{
    QDialog::changeEvent(Event);
    // A dark desktop gets a red that reads on it.
    if (Event->type() == QEvent::PaletteChange)
        DrawSpaceColour();
    if (Event->type() == QEvent::StyleChange || Event->type() == QEvent::FontChange)
        KeepCaptionsWhole();
}

void TFBurn::KeepCaptionsWhole()
{
    // The skin gives buttons a small least width of their own, which would
    // let the row squeeze a caption; each keeps room for its whole caption
    // instead, the burn button for both of its.
    for (QPushButton* b : {bsSkinButton1, BErase, BLoad, BEject, BBurn}) {
        b->ensurePolished();
        b->setMinimumWidth(0);
        int width = b->sizeHint().width();
        if (b == BBurn)
            for (const QString& caption : {QStringLiteral("BURN CD!"), QStringLiteral("STOP")})
                width = std::max(width, b->sizeHint().width() + b->fontMetrics().horizontalAdvance(caption) -
                                            b->fontMetrics().horizontalAdvance(b->text()));
        b->setMinimumWidth(width);
    }
}

void TFBurn::dragEnterEvent(QDragEnterEvent* Event)
{
    const QList<QUrl> urls = Event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& U) { return U.isLocalFile(); }))
        Event->acceptProposedAction();
}

void TFBurn::dropEvent(QDropEvent* Event)
{
    std::vector<std::string> files;
    for (const QUrl& url : Event->mimeData()->urls())
        if (url.isLocalFile())
            files.push_back(url.toLocalFile().toStdString());
    if (files.empty())
        return;
    Event->acceptProposedAction();
    // Dropped files go the way of chosen ones, with the same checks.
    if (FController->CanAddFiles())
        FController->AddFiles(files);
}

void TFBurn::DrawSpaceColour()
{
    if (!Overfull) {
        LSpace->setStyleSheet(QString());
        return;
    }
    const bool dark = palette().color(QPalette::Window).lightness() < 128;
    LSpace->setStyleSheet(dark ? QStringLiteral("color: #ff6b6b;") : QStringLiteral("color: #c62828;"));
}

// --- IBurnView

void TFBurn::SetDrives(const std::vector<std::string>& Entries, int Chosen)
{
    Filling = true;
    lbDrives->clear();
    for (const std::string& entry : Entries)
        lbDrives->addItem(Q(entry));
    lbDrives->setCurrentIndex(Chosen);
    lbDrives->setToolTip(lbDrives->currentText());
    Filling = false;
}

void TFBurn::SetSpeeds(const std::vector<std::string>& Entries, int Chosen)
{
    Filling = true;
    lbSpeed->clear();
    for (const std::string& entry : Entries)
        lbSpeed->addItem(Q(entry));
    lbSpeed->setCurrentIndex(Chosen);
    Filling = false;
}

void TFBurn::SetStatus(const std::string& Text)
{
    status->setText(Q(Text));
    // A long item name must not widen the window: the whole text is in the tooltip.
    status->setToolTip(Q(Text));
}

void TFBurn::SetDescription(const std::string& Text)
{
    LDescription->setText(Q(Text));
}

void TFBurn::SetSpace(const std::string& Text, bool Value)
{
    LSpace->setText(Q(Text));
    if (Value == Overfull)
        return;
    Overfull = Value;
    DrawSpaceColour();
}

void TFBurn::SetRows(const std::vector<TBurnRow>& Rows)
{
    Filling = true;
    const int current = clBox->indexOfTopLevelItem(clBox->currentItem());
    clBox->clear();
    for (const TBurnRow& row : Rows) {
        auto* item = new QTreeWidgetItem(clBox);
        item->setText(colType, Q(row.Type));
        item->setText(colName, Q(row.Name));
        item->setToolTip(colName, Q(row.Name));
        item->setText(colDuration, Q(row.Duration));
        item->setTextAlignment(colDuration, Qt::AlignRight | Qt::AlignVCenter);
    }
    // After a delete the row that took the deleted one's place is the current
    // one, so Delete can be pressed again.
    if (current >= 0 && clBox->topLevelItemCount() > 0) {
        QTreeWidgetItem* item = clBox->topLevelItem(std::min(current, clBox->topLevelItemCount() - 1));
        clBox->setCurrentItem(item);
    }
    Filling = false;
}

void TFBurn::EnableControls(bool Enabled)
{
    for (QPushButton* b : {BErase, BLoad, BEject})
        b->setEnabled(Enabled);
    for (QAction* action : MenuItems)
        action->setEnabled(Enabled);
}

void TFBurn::SetBurnButton(const std::string& Caption, bool Enabled)
{
    BBurn->setText(Q(Caption));
    BBurn->setEnabled(Enabled);
}

void TFBurn::ShowProgress(bool Visible, int Percent)
{
    StatusBar->ShowProgress(Visible, Percent);
}

void TFBurn::SetBusy(bool Value)
{
    if (Value == Busy)
        return;
    Busy = Value;
    // This window's own cursor: the window may be hidden while its drives
    // are looked for, and the rest of the program stays usable meanwhile.
    if (Busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

bool TFBurn::Shown() const
{
    return isVisible();
}

} // namespace kestrune
