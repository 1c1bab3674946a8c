#pragma once

#include <QStatusBar>

class QLabel;
class QProgressBar;

namespace kestrune {

// The status line of a tool window: the window's text on the left and, at
// the right, a gauge that shows only while a job runs.
class TStatusGauge final : public QStatusBar {
    Q_OBJECT
public:
    // Text is the window's own label (it may draw itself its own way); the
    // gauge gets GaugeName, the name the window's tests find it by.
    TStatusGauge(QLabel* Text, const char* GaugeName, QWidget* Window);

    // Percent is held to 0..100.
    void ShowProgress(bool Visible, int Percent);

private:
    QProgressBar* Gauge;
};

} // namespace kestrune
