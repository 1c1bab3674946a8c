#pragma once

#include <QWidget>

namespace kestrune {

// A level as a bar on the meters' decibel scale (TMeterScale), with a mark at the
// loudest that silence can be; the part of the bar beyond the mark is drawn
// in the warning colour.
class TLevelMeter : public QWidget {
    Q_OBJECT
public:
    explicit TLevelMeter(double QuietLimit, QWidget* Parent = nullptr);

    // A fraction of full scale, 0 to 1; below 0 shows no bar (nothing measured yet).
    void SetLevel(double Fraction);
    double Level() const { return FLevel; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    double FLevel = -1;
    double QuietLimit;
};

} // namespace kestrune
