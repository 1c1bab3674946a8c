#pragma once

#include "common/TJob.h"
#include "recording/TLevelTrace.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

namespace kestrune {

class TRecorder;

// The live input level meter (peak and a falling hold mark) and under it the
// current track's level strip: the level over the track's time, the noise
// level as a line, the stretches under it shaded, and how far the quiet now
// going on is towards a cut. Reads the level the recorder publishes on a
// display timer while a recording runs; the audio thread does nothing for it.
class TLevelPanel : public QWidget, private TJobListenerBase {
    Q_OBJECT
public:
    explicit TLevelPanel(TRecorder& Recorder, QWidget* Parent = nullptr);
    ~TLevelPanel() override;
    TLevelPanel(const TLevelPanel&) = delete;
    TLevelPanel& operator=(const TLevelPanel&) = delete;

    // What the panel shows now, for the tests.
    const TLevelTrace& Trace() const { return FTrace; }
    double PeakFraction() const { return FTrace.Peak(); }
    bool Active() const { return Timer.isActive(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    void JobStarted(TJobKind Kind, const std::string& Title) override;
    void JobFinished(TJobKind Kind, TJobOutcome Outcome, const std::string& Reason) override;
    void Sample();

    TRecorder& Recorder;
    TLevelTrace FTrace;
    QTimer Timer;
    QElapsedTimer Clock;
};

} // namespace kestrune
