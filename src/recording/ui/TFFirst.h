#pragma once

#include <QDialog>

namespace kestrune {

// The welcome window of the first start: says that the settings come next.
// Closes with OK.
class TFFirst : public QDialog {
    Q_OBJECT
public:
    explicit TFFirst(QWidget* Parent = nullptr);

protected:
    void showEvent(QShowEvent* Event) override;
};

} // namespace kestrune
