#pragma once

#include <QDialog>

namespace kestrune {

// The wizard's last page: everything is set, "Record" starts.
class TFWizard2 : public QDialog {
    Q_OBJECT
public:
    explicit TFWizard2(QWidget* Parent = nullptr);
};

} // namespace kestrune
