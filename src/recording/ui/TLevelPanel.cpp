#include "recording/ui/TLevelPanel.h"

#include "recording/TRecorder.h"

#include <QPainter>
#include <QPalette>

#include <algorithm>

namespace kestrune {

namespace {

constexpr int DisplayIntervalMs = 33; // about 30 pictures a second

} // namespace

TLevelPanel::TLevelPanel(TRecorder& R, QWidget* Parent) : QWidget(Parent), Recorder(R)
{
    setObjectName(QStringLiteral("LevelPanel"));
    setToolTip(tr("Input level, and the level of the track being recorded: the line is the noise level, "
                  "shaded stretches are quiet, and the bar at the right end fills as the quiet nears a cut. "
                  "The meter's right end turns red when the input clips."));
    Timer.setInterval(DisplayIntervalMs);
    connect(&Timer, &QTimer::timeout, this, &TLevelPanel::Sample);
    Clock.start();
    Recorder.Job().Subscribe(this);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

TLevelPanel::~TLevelPanel()
{
    Recorder.Job().Unsubscribe(this);
}

QSize TLevelPanel::sizeHint() const
{
    const int line = fontMetrics().height();
    return {line * 30, line * 4};
}

QSize TLevelPanel::minimumSizeHint() const
{
    const int line = fontMetrics().height();
    return {line * 10, line * 4};
}

void TLevelPanel::JobStarted(TJobKind, const std::string&)
{
    FTrace.Reset();
    Timer.start();
    update();
}

void TLevelPanel::JobFinished(TJobKind, TJobOutcome, const std::string&)
{
    Timer.stop();
    FTrace.Idle();
    update();
}

void TLevelPanel::Sample()
{
    FTrace.Feed(Recorder.CurrentLevel(), Recorder.CaptureBytesPerSecond(),
                static_cast<double>(Clock.nsecsElapsed()) / 1e9);
    update();
}

void TLevelPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QPalette& pal = palette();
    const QRect all = rect().adjusted(1, 1, -1, -1);
    const int gap = std::max(2, fontMetrics().height() / 4);
    const int meterHeight = std::max(4, all.height() / 4);
    const QRect meter(all.left(), all.top(), all.width(), meterHeight);
    const QRect strip(all.left(), meter.bottom() + gap, all.width(), all.bottom() - meter.bottom() - gap);

    const QColor back = pal.color(QPalette::Base);
    const QColor frame = pal.color(QPalette::Mid);
    const QColor level = pal.color(QPalette::Highlight);
    QColor quiet = pal.color(QPalette::Text);
    quiet.setAlpha(40);
    QColor noise = QColor(0xd0, 0x40, 0x30);

    // The meter: the peak as a bar, the hold mark as a line.
    painter.fillRect(meter, back);
    const int peakWidth = static_cast<int>(FTrace.Peak() * meter.width());
    painter.fillRect(QRect(meter.left(), meter.top(), peakWidth, meter.height()), level);
    const int holdX = meter.left() + static_cast<int>(FTrace.Hold() * (meter.width() - 1));
    if (FTrace.Hold() > 0)
        painter.fillRect(QRect(holdX - 1, meter.top(), 3, meter.height()), pal.color(QPalette::Text));
    painter.setPen(frame);
    painter.drawRect(meter.adjusted(0, 0, -1, -1));
    // Clipping: the meter's full-scale end lights up for a while.
    if (FTrace.Clipping()) {
        const int clipWidth = std::max(6, meter.width() / 25);
        painter.fillRect(QRect(meter.right() - clipWidth + 1, meter.top(), clipWidth, meter.height()), noise);
    }

    // The strip: newest stretch at the right; as many columns as fit.
    painter.fillRect(strip, back);
    const auto& columns = FTrace.Columns();
    const int progressWidth = std::max(4, strip.height() / 4);
    const QRect plot = strip.adjusted(0, 0, -progressWidth - gap, 0);
    const int columnWidth = 2;
    const int fit = std::max(1, plot.width() / columnWidth);
    const size_t first = columns.size() > static_cast<size_t>(fit) ? columns.size() - static_cast<size_t>(fit) : 0;
    for (size_t i = first; i < columns.size(); ++i) {
        const int x = plot.left() + static_cast<int>(i - first) * columnWidth;
        if (columns[i].Quiet)
            painter.fillRect(QRect(x, plot.top(), columnWidth, plot.height()), quiet);
        const int h = static_cast<int>(columns[i].Level * plot.height());
        painter.fillRect(QRect(x, plot.bottom() - h + 1, columnWidth - 0, h), level);
    }
    const int noiseY = plot.bottom() - static_cast<int>(FTrace.NoiseLevel() * plot.height());
    painter.setPen(QPen(noise, 1));
    painter.drawLine(plot.left(), noiseY, plot.right(), noiseY);
    painter.setPen(frame);
    painter.drawRect(plot.adjusted(0, 0, -1, -1));

    // How far the quiet now going on is towards a cut.
    const QRect progress(plot.right() + gap, strip.top(), progressWidth, strip.height());
    painter.fillRect(progress, back);
    const int filled = static_cast<int>(FTrace.QuietProgress() * progress.height());
    painter.fillRect(QRect(progress.left(), progress.bottom() - filled + 1, progress.width(), filled), noise);
    painter.drawRect(progress.adjusted(0, 0, -1, -1));
}

} // namespace kestrune
