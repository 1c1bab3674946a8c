#include "common/ui/TStatusGauge.h"

#include <QLabel>
#include <QProgressBar>

#include <algorithm>

namespace kestrune {

TStatusGauge::TStatusGauge(QLabel* Text, const char* GaugeName, QWidget* Window)
    : QStatusBar(Window), Gauge(new QProgressBar(this))
{
    setObjectName(QStringLiteral("StatusBar"));
    setSizeGripEnabled(false);
    const int character = Window->fontMetrics().averageCharWidth();
    Text->setMinimumWidth(character * 20);
    Gauge->setObjectName(QString::fromLatin1(GaugeName));
    Gauge->setRange(0, 100);
    Gauge->setValue(0);
    Gauge->setMinimumWidth(character * 30);
    addWidget(Text, 1);
    addPermanentWidget(Gauge);
    Gauge->hide();
}

void TStatusGauge::ShowProgress(bool Visible, int Percent)
{
    Gauge->setValue(std::clamp(Percent, 0, 100));
    Gauge->setVisible(Visible);
}

} // namespace kestrune
