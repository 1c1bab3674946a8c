#include "settings/ui/TLevelMeter.h"

#include "common/TMeterScale.h"

#include <QPainter>
#include <QPalette>

#include <algorithm>

namespace kestrune {

TLevelMeter::TLevelMeter(double QuietLimit_, QWidget* Parent) : QWidget(Parent), QuietLimit(QuietLimit_)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TLevelMeter::SetLevel(double Fraction)
{
    if (Fraction == FLevel)
        return;
    FLevel = Fraction;
    update();
}

QSize TLevelMeter::sizeHint() const
{
    return {fontMetrics().averageCharWidth() * 30, fontMetrics().height()};
}

QSize TLevelMeter::minimumSizeHint() const
{
    return {fontMetrics().averageCharWidth() * 12, fontMetrics().height()};
}

void TLevelMeter::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QPalette& colours = palette();
    painter.fillRect(frame, colours.color(QPalette::Base));
    const double width = frame.width();
    const double limit = TMeterScale::Position(QuietLimit) * width;
    if (FLevel >= 0) {
        const double level = TMeterScale::Position(FLevel) * width;
        const QColor quiet(0x3c, 0xa0, 0x5a);
        const QColor loud(0xd0, 0x4a, 0x3a);
        painter.fillRect(QRectF(frame.left(), frame.top(), std::min(level, limit), frame.height()), quiet);
        if (level > limit)
            painter.fillRect(QRectF(frame.left() + limit, frame.top(), level - limit, frame.height()), loud);
    }
    QPen mark(colours.color(QPalette::WindowText));
    mark.setWidthF(2);
    painter.setPen(mark);
    painter.drawLine(QPointF(frame.left() + limit, frame.top()), QPointF(frame.left() + limit, frame.bottom()));
    painter.setPen(colours.color(QPalette::Mid));
    painter.drawRect(frame);
}

} // namespace kestrune
