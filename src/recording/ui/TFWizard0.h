#pragma once

#include "recording/IMainWindows.h"

#include <QDialog>

class QRadioButton;

namespace kestrune {

// The wizard's first page: record, burn a CD or convert music.
class TFWizard0 : public QDialog {
    Q_OBJECT
public:
    explicit TFWizard0(QWidget* Parent = nullptr);
    // The choice made (meaningful after "Next").
    IMainWindows::TWizardChoice Choice() const;

private:
    QRadioButton* RBRecord = nullptr;
    QRadioButton* RBCD = nullptr;
    QRadioButton* RBConvert = nullptr;
};

} // namespace kestrune
