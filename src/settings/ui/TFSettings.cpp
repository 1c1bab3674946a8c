#include "settings/ui/TFSettings.h"

#include "common/ui/TSkin.h"
#include "settings/ui/TFWait.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

namespace kestrune {

namespace {

using C = TSettingsControl;

QString Q(const std::string& Text)
{
    return QString::fromStdString(Text);
}

QLabel* Heading(const char* Text, QWidget* Parent)
{
    auto* label = new QLabel(QString::fromLatin1(Text), Parent);
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.15);
    label->setFont(font);
    return label;
}

QComboBox* NewList(const char* Name, QWidget* Parent)
{
    auto* list = new QComboBox(Parent);
    list->setObjectName(QString::fromLatin1(Name));
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    list->setMinimumContentsLength(8);
    return list;
}

QSpinBox* NewIntegerEdit(TSettingsControl Control, const char* Name, QWidget* Parent)
{
    auto* edit = new QSpinBox(Parent);
    edit->setObjectName(QString::fromLatin1(Name));
    int min = 0;
    int max = 0;
    TSettingsController::IntegerRange(Control, min, max);
    edit->setRange(min, max);
    return edit;
}

} // namespace

TFSettings::TFSettings(TSettingsWindowContext Context_, QWidget* Parent) : QDialog(Parent), Context(std::move(Context_))
{
    // First, so no widget's signal can find it missing; it draws nothing until Fill.
    FController = std::make_unique<TSettingsController>(Context.Options, *this, Context.Dialogs, Context.Host,
                                                        Context.Drives, Context.FreeDB);
    setObjectName(QStringLiteral("FSettings"));
    setWindowTitle(QStringLiteral("Settings")); // the desktop adds the program's name
    setWindowIcon(TSkin::Icon("settings"));

    TV = new QTreeWidget(this);
    TV->setObjectName(QStringLiteral("TV"));
    TV->setHeaderHidden(true);
    TV->setRootIsDecorated(false);
    TV->setItemsExpandable(false);
    TV->setColumnCount(1);
    // Entries with room between them, easy to hit.
    const int entryHeight = TV->fontMetrics().height() * 8 / 5;
    for (const char* entry : {"Recording", "Split Tracks", "Proxy Settings", "CD Burning", "Folders", "CD Rip"})
        (new QTreeWidgetItem(TV, {QString::fromLatin1(entry)}))->setSizeHint(0, QSize(0, entryHeight));
    // As wide as its longest entry and no wider; the pages take the rest.
    TV->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    int widest = 0;
    for (int i = 0; i < TV->topLevelItemCount(); ++i)
        widest = std::max(widest, TV->fontMetrics().horizontalAdvance(TV->topLevelItem(i)->text(0)));
    TV->setFixedWidth(widest + 2 * TV->frameWidth() + TV->fontMetrics().averageCharWidth() * 4);

    PGC = new QStackedWidget(this);
    PGC->setObjectName(QStringLiteral("PGC"));
    PGC->addWidget(BuildRecordingPage());
    PGC->addWidget(BuildSplitPage());
    PGC->addWidget(BuildProxyPage());
    PGC->addWidget(BuildBurningPage());
    PGC->addWidget(BuildFoldersPage());
    PGC->addWidget(BuildRipPage());

    BWiz = TSkin::PictureButton(this, "BWiz", "wizard", "Our Automated Wizard!");
    BtnBurnCD = TSkin::PictureButton(this, "btnBurnCD", "burn", "Burn a CD!");
    BtnConvert = TSkin::PictureButton(this, "BtnConvert", "convert", "Convert Music");

    BCancel = new QPushButton(QStringLiteral("Cancel"), this);
    BCancel->setObjectName(QStringLiteral("bcancel"));
    auto* save = new QPushButton(QStringLiteral("Save Settings"), this);
    save->setObjectName(QStringLiteral("BSave"));
    save->setDefault(true);

    Menu = new QMenuBar(this);
    Menu->setObjectName(QStringLiteral("MainMenu"));
    BuildMenus(Menu);

    auto* body = new QHBoxLayout;
    body->addWidget(TV);
    body->addWidget(PGC, 1);
    auto* pictures = new QHBoxLayout;
    pictures->addWidget(BWiz);
    pictures->addWidget(BtnBurnCD);
    pictures->addWidget(BtnConvert);
    pictures->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BCancel);
    buttons->addWidget(save);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(Menu);
    layout->addLayout(body, 1);
    layout->addLayout(pictures);
    layout->addLayout(buttons);

    connect(TV, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* Current) {
        if (Pushing || !Current)
            return;
        const int entry = TV->indexOfTopLevelItem(Current);
        Guarded([this, entry] { FController->ChooseTreeEntry(entry); });
    });
    connect(BWiz, &QAbstractButton::clicked, this, [this] { FController->Shortcut(TSettingsFollowUp::sfWizard); });
    connect(BtnBurnCD, &QAbstractButton::clicked, this, [this] { FController->Shortcut(TSettingsFollowUp::sfBurn); });
    connect(BtnConvert, &QAbstractButton::clicked, this,
            [this] { FController->Shortcut(TSettingsFollowUp::sfConvert); });
    connect(BCancel, &QAbstractButton::clicked, this, [this] { FController->Cancel(); });
    connect(save, &QAbstractButton::clicked, this, [this] { Guarded([this] { FController->Save(); }); });
}

TFSettings::~TFSettings() = default;

void TFSettings::BuildMenus(QMenuBar* Bar)
{
    QMenu* file = Bar->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("MFile"));
    QAction* save = file->addAction(QStringLiteral("Save Settings"));
    save->setObjectName(QStringLiteral("MSave"));
    QAction* exit = file->addAction(QStringLiteral("Exit"));
    exit->setObjectName(QStringLiteral("MExit"));
    QMenu* tools = Bar->addMenu(QStringLiteral("Tools"));
    tools->setObjectName(QStringLiteral("MTools"));
    QAction* burn = tools->addAction(TSkin::Icon("burn"), QStringLiteral("Burn"));
    burn->setObjectName(QStringLiteral("MBurn"));
    QAction* convert = tools->addAction(TSkin::Icon("convert"), QStringLiteral("Convert"));
    convert->setObjectName(QStringLiteral("MConvert"));
    QMenu* help = Bar->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("MHelp"));
    QAction* online = help->addAction(QStringLiteral("Online Help"));
    online->setObjectName(QStringLiteral("MOnlineHelp"));
    QAction* about = help->addAction(QStringLiteral("About"));
    about->setObjectName(QStringLiteral("MAbout"));

    connect(save, &QAction::triggered, this, [this] { Guarded([this] { FController->Save(); }); });
    connect(exit, &QAction::triggered, this, [this] { FController->Cancel(); });
    connect(burn, &QAction::triggered, this, [this] { FController->Shortcut(TSettingsFollowUp::sfBurn); });
    connect(convert, &QAction::triggered, this, [this] { FController->Shortcut(TSettingsFollowUp::sfConvert); });
    connect(online, &QAction::triggered, this, [this] {
        if (Context.Help)
            Guarded(Context.Help);
    });
    connect(about, &QAction::triggered, this, [this] {
        if (Context.About)
            Guarded(Context.About);
    });
}

QWidget* TFSettings::NewPage(const char* Name, const char* HeadingText, QGridLayout*& Grid)
{
    auto* page = new QWidget;
    page->setObjectName(QString::fromLatin1(Name));
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    if (HeadingText)
        column->addWidget(Heading(HeadingText, page));
    Grid = new QGridLayout;
    Grid->setColumnStretch(1, 1);
    column->addLayout(Grid);
    column->addStretch(1);
    return page;
}

void TFSettings::Watch(TSettingsControl Control, QWidget* W)
{
    Controls[static_cast<std::size_t>(Control)] = W;
    if (auto* list = qobject_cast<QComboBox*>(W)) {
        connect(list, &QComboBox::currentIndexChanged, this, [this, Control](int Index) {
            if (!Pushing)
                Guarded([this, Control, Index] { FController->Select(Control, Index); });
        });
    } else if (auto* spin = qobject_cast<QSpinBox*>(W)) {
        connect(spin, &QSpinBox::valueChanged, this, [this, Control](int Value) {
            if (!Pushing)
                FController->Edit(Control, std::to_string(Value));
        });
    } else if (auto* edit = qobject_cast<QLineEdit*>(W)) {
        connect(edit, &QLineEdit::textChanged, this, [this, Control](const QString& Text) {
            if (!Pushing)
                FController->Edit(Control, Text.toStdString());
        });
    } else if (auto* check = qobject_cast<QCheckBox*>(W)) {
        connect(check, &QCheckBox::toggled, this, [this, Control](bool On) {
            if (!Pushing)
                FController->Check(Control, On);
        });
    }
}

QWidget* TFSettings::BuildRecordingPage()
{
    QGridLayout* grid = nullptr;
    QWidget* page = NewPage("TSRecording", "RECORDING SETTINGS", grid);
    const auto row = [&](const char* Caption, QWidget* Control, int Row, Qt::Alignment Align = {}) {
        auto* label = new QLabel(QString::fromLatin1(Caption), page);
        label->setBuddy(Control);
        grid->addWidget(label, Row, 0);
        grid->addWidget(Control, Row, 1, Align);
        return label;
    };
    QComboBox* driver = NewList("CBDriver", page);
    QComboBox* quality = NewList("FormatBox", page);
    QComboBox* format = NewList("CBFormat", page);
    QComboBox* bitrate = NewList("CBBitrate", page);
    QComboBox* lines = NewList("CBLines", page);
    auto* recognise = new QCheckBox(QStringLiteral("Automatic song recognition"), page);
    recognise->setObjectName(QStringLiteral("CBRecogn"));
    row("Driver", driver, 0);
    row("Quality", quality, 1);
    // The short lists need not be as wide as the device names.
    row("Output Format", format, 2, Qt::AlignLeft);
    LBitrate = row("Bitrate", bitrate, 3, Qt::AlignLeft);
    LBitrate->setObjectName(QStringLiteral("LBitrate"));
    row("Input line", lines, 4);
    grid->addWidget(recognise, 5, 0, 1, 2);
    LNotice = new QLabel(page);
    LNotice->setObjectName(QStringLiteral("LNotice"));
    LNotice->setWordWrap(true);
    LNotice->setVisible(false);
    grid->addWidget(LNotice, 6, 0, 1, 2);
    Watch(C::scDriver, driver);
    Watch(C::scQuality, quality);
    Watch(C::scFormat, format);
    Watch(C::scBitrate, bitrate);
    Watch(C::scLines, lines);
    Watch(C::scRecognize, recognise);
    return page;
}

QWidget* TFSettings::BuildSplitPage()
{
    QGridLayout* grid = nullptr;
    QWidget* page = NewPage("TSSplit", "SPLIT TRACKS", grid);
    // Each edit sits inside its sentence.
    const auto sentence = [&](const char* Before, const char* Name, const char* After, int Row) {
        auto* edit = new QLineEdit(page);
        edit->setObjectName(QString::fromLatin1(Name));
        edit->setMaxLength(11);
        edit->setAlignment(Qt::AlignRight);
        edit->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + fontMetrics().height());
        auto* before = new QLabel(QString::fromLatin1(Before), page);
        before->setBuddy(edit);
        grid->addWidget(before, Row, 0);
        grid->addWidget(edit, Row, 1);
        grid->addWidget(new QLabel(QString::fromLatin1(After), page), Row, 2);
        return edit;
    };
    grid->setColumnStretch(1, 0);
    grid->setColumnStretch(3, 1);
    QLineEdit* silence = sentence("If the silence is more than", "ESilenceLG", "milliseconds", 0);
    QLineEdit* minimum = sentence("Do not record tracks shorter than", "EMinLength", "seconds", 1);
    auto* capture = new QPushButton(QStringLiteral("Capture noise level"), page);
    capture->setObjectName(QStringLiteral("BCaptureNoise"));
    grid->addWidget(capture, 2, 0, Qt::AlignLeft);
    connect(capture, &QPushButton::clicked, this, [this] { Guarded([this] { FController->CaptureNoiseLevel(); }); });
    Watch(C::scSilence, silence);
    Watch(C::scMinLength, minimum);
    return page;
}

QWidget* TFSettings::BuildProxyPage()
{
    QGridLayout* grid = nullptr;
    QWidget* page = NewPage("TSProxy", "PROXY SETTINGS", grid);
    auto* use = new QCheckBox(QStringLiteral("Use Proxy Server"), page);
    use->setObjectName(QStringLiteral("RBUseProxy"));
    auto* server = new QLineEdit(page);
    server->setObjectName(QStringLiteral("EProxyServer"));
    server->setMinimumWidth(fontMetrics().averageCharWidth() * 28);
    auto* portLabel = new QLabel(QStringLiteral("Port"), page);
    portLabel->setObjectName(QStringLiteral("LProxy"));
    QSpinBox* port = NewIntegerEdit(C::scProxyPort, "EProxyPort", page);
    port->setValue(80);
    portLabel->setBuddy(port);
    auto* example = new QLabel(QStringLiteral("proxy.example.com   Port 80"), page);
    example->setObjectName(QStringLiteral("LEx"));
    example->setEnabled(false);
    grid->addWidget(use, 0, 0, 1, 3);
    grid->addWidget(server, 1, 0, 1, 1);
    grid->addWidget(portLabel, 1, 1);
    grid->addWidget(port, 1, 2);
    grid->addWidget(example, 2, 0, 1, 3);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 0);
    ProxyControls = {server, portLabel, port, example};

    // The recognition service: where fingerprints are looked up, and the
    // application key it asks for.
    auto* service = new QGroupBox(QStringLiteral("Song recognition service"), page);
    service->setObjectName(QStringLiteral("GBRecognition"));
    auto* serviceGrid = new QGridLayout(service);
    auto* address = new QLineEdit(service);
    address->setObjectName(QStringLiteral("ERecognitionServer"));
    address->setPlaceholderText(QString::fromLatin1(TOptions::DefaultRecognitionServer));
    auto* key = new QLineEdit(service);
    key->setObjectName(QStringLiteral("ERecognitionKey"));
    auto* addressLabel = new QLabel(QStringLiteral("Server"), service);
    addressLabel->setBuddy(address);
    auto* keyLabel = new QLabel(QStringLiteral("Application key"), service);
    keyLabel->setBuddy(key);
    const QString hint = QString::fromLatin1(TSettingsController::RecognitionKeyHint);
    const qsizetype at = hint.indexOf(QStringLiteral("https://"));
    auto* link = new QLabel(service);
    link->setObjectName(QStringLiteral("LRecognitionKey"));
    link->setTextFormat(Qt::RichText);
    link->setText(at < 0 ? hint.toHtmlEscaped()
                         : hint.left(at).toHtmlEscaped() + QStringLiteral("<a href=\"%1\">%1</a>").arg(hint.mid(at)));
    link->setOpenExternalLinks(true);
    link->setTextInteractionFlags(Qt::TextBrowserInteraction);
    serviceGrid->addWidget(addressLabel, 0, 0);
    serviceGrid->addWidget(address, 0, 1);
    serviceGrid->addWidget(keyLabel, 1, 0);
    serviceGrid->addWidget(key, 1, 1);
    serviceGrid->addWidget(link, 2, 0, 1, 2);
    serviceGrid->setColumnStretch(1, 1);
    grid->setRowMinimumHeight(3, fontMetrics().height());
    grid->addWidget(service, 4, 0, 1, 3);

    Watch(C::scUseProxy, use);
    Watch(C::scProxyServer, server);
    Watch(C::scProxyPort, port);
    Watch(C::scRecognitionServer, address);
    Watch(C::scRecognitionKey, key);
    return page;
}

QWidget* TFSettings::BuildBurningPage()
{
    QGridLayout* grid = nullptr;
    QWidget* page = NewPage("TSBurning", "CD BURNING OPTIONS", grid);
    const auto row = [&](const char* Caption, QWidget* Control, int Row) {
        auto* label = new QLabel(QString::fromLatin1(Caption), page);
        label->setBuddy(Control);
        grid->addWidget(label, Row, 0);
        grid->addWidget(Control, Row, 1, Qt::AlignLeft);
    };
    QComboBox* mode = NewList("CBWriteToCD", page);
    QComboBox* drives = NewList("lbDrives", page);
    QComboBox* speed = NewList("lbSpeed", page);
    row("Write CDs", mode, 0);
    row("Select Drive", drives, 1);
    row("Speed", speed, 2);

    auto* method = new QGroupBox(QStringLiteral("Write Method"), page);
    method->setObjectName(QStringLiteral("RGMethod"));
    auto* columns = new QHBoxLayout(method);
    MethodGroup = new QButtonGroup(method);
    const std::vector<std::string>& texts = TSettingsController::WriteMethodTexts();
    for (std::size_t i = 0; i < texts.size(); ++i) {
        auto* choice = new QRadioButton(Q(texts[i]), method);
        MethodGroup->addButton(choice, static_cast<int>(i));
        columns->addWidget(choice);
    }
    columns->addStretch(1);
    grid->addWidget(method, 3, 0, 1, 2);
    auto* close = new QCheckBox(QStringLiteral("Close CD after writing"), page);
    close->setObjectName(QStringLiteral("CBClose"));
    grid->addWidget(close, 4, 0, 1, 2);

    Controls[static_cast<std::size_t>(C::scMethod)] = method;
    connect(MethodGroup, &QButtonGroup::idToggled, this, [this](int Id, bool Checked) {
        if (!Pushing && Checked)
            Guarded([this, Id] { FController->Select(C::scMethod, Id); });
    });
    Watch(C::scWriteToCD, mode);
    Watch(C::scDrives, drives);
    Watch(C::scSpeed, speed);
    Watch(C::scCloseCD, close);
    return page;
}

QWidget* TFSettings::FolderEdit(TSettingsControl Control, const char* Name, const char* Caption)
{
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    auto* edit = new QLineEdit(box);
    edit->setObjectName(QString::fromLatin1(Name));
    edit->setMinimumWidth(fontMetrics().averageCharWidth() * 40);
    auto* label = new QLabel(QString::fromLatin1(Caption), box);
    label->setBuddy(edit);
    auto* browse = new QPushButton(QStringLiteral("Browse..."), box);
    browse->setObjectName(QString::fromLatin1(Name) + QStringLiteral("Browse"));
    browse->setToolTip(QStringLiteral("Choose a folder"));
    auto* line = new QHBoxLayout;
    line->addWidget(edit, 1);
    line->addWidget(browse);
    column->addWidget(label);
    column->addLayout(line);
    connect(browse, &QPushButton::clicked, this, [this, edit, Caption] {
        const QString chosen = QFileDialog::getExistingDirectory(this, QString::fromLatin1(Caption), edit->text());
        if (!chosen.isEmpty())
            edit->setText(chosen);
    });
    Watch(Control, edit);
    return box;
}

QWidget* TFSettings::BuildFoldersPage()
{
    QGridLayout* grid = nullptr;
    QWidget* page = NewPage("TSFolders", "FOLDER OPTIONS", grid);
    grid->addWidget(FolderEdit(C::scFolder, "EFolder", "Recording Root Folder"), 0, 0, 1, 2);
    grid->setRowMinimumHeight(1, fontMetrics().height() / 2);
    grid->addWidget(FolderEdit(C::scRipFolder, "ERipFolder", "Rip Root Folder"), 2, 0, 1, 2);
    return page;
}

QWidget* TFSettings::BuildRipPage()
{
    QGridLayout* grid = nullptr;
    QWidget* page = NewPage("TSRip", "CD RIP OPTIONS", grid);
    const auto row = [&](const char* Caption, QWidget* Control, int Row) {
        auto* label = new QLabel(QString::fromLatin1(Caption), page);
        label->setBuddy(Control);
        grid->addWidget(label, Row, 0);
        grid->addWidget(Control, Row, 1, Qt::AlignLeft);
    };
    QComboBox* mode = NewList("CBReadMode", page);
    QSpinBox* reads = NewIntegerEdit(C::scNumReads, "SENumReads", page);
    QComboBox* action = NewList("CBAction", page);
    QComboBox* server = NewList("CBFreeDBServer", page);
    QSpinBox* port = NewIntegerEdit(C::scFreeDBPort, "EFreeDBPort", page);
    row("Read sector options", mode, 0);
    row("Read attempts on read or synchronization errors", reads, 1);
    row("Action on unrecoverable read errors", action, 2);
    row("Free DBServer", server, 3);
    row("Port", port, 4);
    Watch(C::scReadMode, mode);
    Watch(C::scNumReads, reads);
    Watch(C::scReadAction, action);
    Watch(C::scFreeDBServer, server);
    Watch(C::scFreeDBPort, port);
    return page;
}

void TFSettings::Guarded(const std::function<void()>& Run)
{
    try {
        Run();
    } catch (const std::exception& Error) {
        Context.Dialogs.Error(Error.what());
    }
}

TSettingsFollowUp TFSettings::Run()
{
    Closing = false;
    FController->Fill();
    adjustSize();
    exec();
    return FController->FollowUp();
}

void TFSettings::reject()
{
    if (Closing) {
        QDialog::reject();
        return;
    }
    FController->Cancel();
}

void TFSettings::SetFirstRunMode(bool On)
{
    for (QAbstractButton* button : {BWiz, BtnBurnCD, BtnConvert})
        button->setEnabled(!On);
    Menu->setVisible(!On);
}

void TFSettings::SetNotice(const std::string& Text)
{
    LNotice->setText(Q(Text));
    LNotice->setVisible(!Text.empty());
    // The pages' stack does not ask a wrapped label for its height at the
    // page's width: room for three lines is kept, which the notices need.
    LNotice->setMinimumHeight(Text.empty() ? 0 : LNotice->fontMetrics().lineSpacing() * 3);
}

std::string TFSettings::ChooseWavFile()
{
    return QFileDialog::getOpenFileName(this, QStringLiteral("A WAV file as a card"),
                                        QStandardPaths::writableLocation(QStandardPaths::MusicLocation),
                                        QStringLiteral("WAV files (*.wav *.WAV)"))
        .toStdString();
}

void TFSettings::SetItems(TSettingsControl Control, const std::vector<std::string>& Items)
{
    const bool pushing = Pushing;
    Pushing = true;
    if (Control == C::scMethod) {
        const QList<QAbstractButton*> choices = MethodGroup->buttons();
        for (std::size_t i = 0; i < Items.size() && i < static_cast<std::size_t>(choices.size()); ++i)
            MethodGroup->button(static_cast<int>(i))->setText(Q(Items[i]));
    } else if (auto* list = qobject_cast<QComboBox*>(Widget(Control))) {
        list->clear();
        for (const std::string& item : Items)
            list->addItem(Q(item));
        // Never narrower than its longest entry, whatever the window's size.
        list->setMinimumWidth(list->sizeHint().width());
    }
    Pushing = pushing;
}

void TFSettings::SetSelection(TSettingsControl Control, int Index)
{
    const bool pushing = Pushing;
    Pushing = true;
    if (Control == C::scMethod) {
        if (QAbstractButton* choice = MethodGroup->button(Index)) {
            choice->setChecked(true);
        } else {
            MethodGroup->setExclusive(false);
            for (QAbstractButton* button : MethodGroup->buttons())
                button->setChecked(false);
            MethodGroup->setExclusive(true);
        }
    } else if (auto* list = qobject_cast<QComboBox*>(Widget(Control))) {
        list->setCurrentIndex(Index);
    }
    Pushing = pushing;
}

void TFSettings::SetText(TSettingsControl Control, const std::string& Text)
{
    const bool pushing = Pushing;
    Pushing = true;
    if (auto* spin = qobject_cast<QSpinBox*>(Widget(Control))) {
        bool ok = false;
        const int value = QString::fromStdString(Text).trimmed().toInt(&ok);
        if (ok)
            spin->setValue(value);
    } else if (auto* line = qobject_cast<QLineEdit*>(Widget(Control))) {
        line->setText(Q(Text));
    }
    Pushing = pushing;
}

void TFSettings::SetChecked(TSettingsControl Control, bool Checked)
{
    const bool pushing = Pushing;
    Pushing = true;
    if (auto* check = qobject_cast<QCheckBox*>(Widget(Control)))
        check->setChecked(Checked);
    Pushing = pushing;
}

void TFSettings::SetBitrateVisible(bool Visible)
{
    LBitrate->setVisible(Visible);
    Widget(C::scBitrate)->setVisible(Visible);
}

void TFSettings::SetProxyVisible(bool Visible)
{
    for (QWidget* control : ProxyControls)
        control->setVisible(Visible);
}

void TFSettings::ShowPage(TSettingsPage Page)
{
    const bool pushing = Pushing;
    Pushing = true;
    const int index = static_cast<int>(Page);
    PGC->setCurrentIndex(index);
    if (QTreeWidgetItem* entry = TV->topLevelItem(index)) {
        TV->setCurrentItem(entry);
    } else {
        TV->setCurrentItem(nullptr);
        TV->clearSelection();
    }
    Pushing = pushing;
}

void TFSettings::Focus(TSettingsControl Control)
{
    if (QWidget* control = Widget(Control))
        control->setFocus(Qt::OtherFocusReason);
}

bool TFSettings::RunNoiseCapture()
{
    TFWait wait(Context.Options, Context.Dispatcher, Context.Dialogs, this);
    return wait.Run();
}

void TFSettings::Close()
{
    Closing = true;
    QDialog::reject();
}

} // namespace kestrune
