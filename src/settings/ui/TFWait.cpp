#include "settings/ui/TFWait.h"

#include "settings/TOptions.h"
#include "settings/ui/TLevelMeter.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace kestrune {

namespace {

constexpr int TickMilliseconds = 1000;
constexpr int DisplayMilliseconds = 100;
constexpr double Full8 = 128.0;
constexpr double Full16 = 32768.0;

QString LevelText(int Level, double Full)
{
    return QStringLiteral("%1 (%2)").arg(Level).arg(
        QString::fromStdString(TNoiseLevelCapture::DecibelText(Level / Full)));
}

} // namespace

TFWait::TFWait(TOptions& Options_, IDispatcher& Dispatcher, IDialogs& Dialogs_, QWidget* Parent)
    : QDialog(Parent), Options(Options_), Dialogs(Dialogs_), FCapture(Options_, Dispatcher)
{
    setObjectName(QStringLiteral("FWait"));
    setWindowTitle(QStringLiteral("Please Wait..."));

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::StyledPanel);
    auto* caption = new QLabel(QStringLiteral("Please wait..."), panel);
    caption->setObjectName(QStringLiteral("LCaption"));
    QFont big = caption->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    caption->setFont(big);
    caption->setAlignment(Qt::AlignCenter);
    LTime = new QLabel(QStringLiteral("20 seconds remaining"), panel);
    LTime->setObjectName(QStringLiteral("LTime"));
    LTime->setAlignment(Qt::AlignCenter);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->addWidget(caption);
    panelLayout->addWidget(LTime);

    // What the capture hears: the input now against the levels measured,
    // on one scale, each with the mark of the loudest silence can be.
    auto* levels = new QGroupBox(QStringLiteral("Levels"), this);
    levels->setObjectName(QStringLiteral("GBLevels"));
    auto* grid = new QGridLayout(levels);
    const double limit8 = TNoiseLevelCapture::QuietLimit8 / Full8;
    const double limit16 = TNoiseLevelCapture::QuietLimit16 / Full16;
    const auto row = [&](const char* Caption, const char* Name, double Limit, TLevelMeter*& Meter, QLabel*& Value,
                         int Row) {
        Meter = new TLevelMeter(Limit, levels);
        Meter->setObjectName(QString::fromLatin1(Name));
        Value = new QLabel(levels);
        Value->setObjectName(QString::fromLatin1(Name) + QStringLiteral("Value"));
        // Room for the longest value, so the meters do not move as it changes.
        Value->setMinimumWidth(Value->fontMetrics().horizontalAdvance(QStringLiteral("32768 (-90 dBFS)")) +
                               Value->fontMetrics().averageCharWidth());
        grid->addWidget(new QLabel(QString::fromLatin1(Caption), levels), Row, 0);
        grid->addWidget(Meter, Row, 1);
        grid->addWidget(Value, Row, 2);
    };
    row("Input now", "MInput", limit16, InputMeter, LInput, 0);
    row("Noise level, 8-bit", "MLevel8", limit8, Meter8, L8, 1);
    row("Noise level, 16-bit", "MLevel16", limit16, Meter16, L16, 2);
    grid->setColumnStretch(1, 1);
    auto* legend = new QLabel(QStringLiteral("The mark on each meter is the loudest that silence can be. "
                                             "A level beyond it is music or another sound, not noise."),
                              levels);
    legend->setObjectName(QStringLiteral("LLegend"));
    legend->setWordWrap(true);
    grid->addWidget(legend, 3, 0, 1, 3);

    LNote = new QLabel(this);
    LNote->setObjectName(QStringLiteral("LNote"));
    LNote->setWordWrap(true);
    LNote->setVisible(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addWidget(levels);
    layout->addWidget(LNote);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    legend->setMinimumWidth(fontMetrics().averageCharWidth() * 56);
    LNote->setMinimumWidth(legend->minimumWidth());

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(TickMilliseconds);
    connect(Timer1, &QTimer::timeout, this, [this] { FCapture.Tick(); });
    Display = new QTimer(this);
    Display->setInterval(DisplayMilliseconds);
    connect(Display, &QTimer::timeout, this, [this] { ShowLevels(); });

    FCapture.Events().Subscribe(this);
    ShowLevels();
}

TFWait::~TFWait()
{
    FCapture.Events().Unsubscribe(this);
}

bool TFWait::Run()
{
    Kept = false;
    // The capture starts once the window is up, so its first second is seen.
    QTimer::singleShot(0, this, [this] { Start(); });
    exec();
    return Kept;
}

void TFWait::Start()
{
    FCapture.Start();
    if (!FCapture.Running())
        return; // refused; JobFinished closes the window
    // A real-time device is timed by the clock, like the countdown it shows;
    // a device read as fast as it delivers counts its own seconds of audio.
    if (FCapture.AudioIn1().RealTime())
        Timer1->start();
    Display->start();
}

void TFWait::reject()
{
    if (FCapture.Running())
        FCapture.Abort(); // JobFinished closes the window
    else
        QDialog::reject();
}

void TFWait::ShowLevels()
{
    const bool running = FCapture.Running();
    const double input = running ? FCapture.InputLevel() : -1;
    InputMeter->SetLevel(input);
    LInput->setText(running ? QString::fromStdString(TNoiseLevelCapture::DecibelText(input)) : QStringLiteral("-"));
    // Each level counts from its own phase on: the 16-bit one is not measured
    // until the second half.
    const bool measuring8 = running;
    const bool measuring16 = running && FCapture.PhaseBits() == 16;
    const int level8 = Options.Level8.load();
    const int level16 = Options.Level16.load();
    Meter8->SetLevel(measuring8 ? level8 / Full8 : -1);
    L8->setText(measuring8 ? LevelText(level8, Full8) : QStringLiteral("-"));
    Meter16->SetLevel(measuring16 ? level16 / Full16 : -1);
    L16->setText(measuring16 ? LevelText(level16, Full16) : QStringLiteral("-"));
    InputMeter->setToolTip(FCapture.PhaseBits() == 8 ? QStringLiteral("Measuring 8-bit capture")
                                                     : QStringLiteral("Measuring 16-bit capture"));
}

void TFWait::JobProgress(TJobKind, double, const std::string& Text)
{
    LTime->setText(QString::fromStdString(Text));
    ShowLevels();
}

void TFWait::JobMessage(TJobKind, TJobMessageKind MessageKind, const std::string& Text)
{
    // A warning while the capture runs is about the input's level: it is
    // shown beside the meters, without stopping the countdown for a box.
    if (FCapture.Running() && MessageKind == TJobMessageKind::jmWarning) {
        LNote->setText(QString::fromStdString(Text));
        LNote->setVisible(true);
        return;
    }
    LastMessage = Text;
    if (MessageKind == TJobMessageKind::jmError)
        Dialogs.Error(Text);
    else if (MessageKind == TJobMessageKind::jmWarning)
        Dialogs.Warning(Text);
    else
        Dialogs.Information(Text);
}

void TFWait::JobFinished(TJobKind, TJobOutcome Outcome, const std::string& Reason)
{
    Timer1->stop();
    Display->stop();
    // The last levels stay on the meters while the messages are up.
    const int level8 = Options.Level8.load();
    const int level16 = Options.Level16.load();
    Meter8->SetLevel(level8 / Full8);
    L8->setText(LevelText(level8, Full8));
    Meter16->SetLevel(level16 / Full16);
    L16->setText(LevelText(level16, Full16));
    InputMeter->SetLevel(-1);
    LInput->setText(QStringLiteral("-"));
    // Out of the capture's own call before any box opens.
    QTimer::singleShot(0, this, [this, Outcome, Reason] {
        if (Outcome == TJobOutcome::joSucceeded) {
            Kept = FCapture.Conclude(Dialogs);
            done(Kept ? QDialog::Accepted : QDialog::Rejected);
            return;
        }
        if (Outcome == TJobOutcome::joFailed && Reason != LastMessage)
            Dialogs.Warning("The noise level could not be measured: " + Reason);
        done(QDialog::Rejected);
    });
}

} // namespace kestrune
