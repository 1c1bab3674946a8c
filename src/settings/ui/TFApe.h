#pragma once

#include "settings/TEncoderSettings.h"

#include <QDialog>

class QComboBox;

namespace kestrune {

// "Output Settings" of the Monkey's Audio writer: its compression level,
// "Fast" to "Insane".
class TFApe : public QDialog {
    Q_OBJECT
public:
    explicit TFApe(QWidget* Parent = nullptr);

    void Load(const TApeSettings& Value);
    // What was loaded, or after "Save" the level chosen.
    TApeSettings Settings() const { return Current; }

    void accept() override;

private:
    QComboBox* CBLevel;
    TApeSettings Current;
};

} // namespace kestrune
