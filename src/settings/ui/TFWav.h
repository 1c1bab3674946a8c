#pragma once

#include "settings/TEncoderSettings.h"

#include <QDialog>

class QComboBox;
class QSpinBox;

namespace kestrune {

// "Output Settings" of the WAV writer: the ADPCM block size and the wave
// type. "Save" keeps what the writer takes: a type it cannot write (MS ADPCM,
// ACM) or a block size it cannot fill leaves the value it had.
class TFWav : public QDialog {
    Q_OBJECT
public:
    explicit TFWav(QWidget* Parent = nullptr);

    // Shows Value in the controls.
    void Load(const TWavSettings& Value);
    // What was loaded, or after "Save" what the writer keeps of the controls.
    TWavSettings Settings() const { return Current; }

    void accept() override;

private:
    QSpinBox* EBlockSize;
    QComboBox* CBWavType;
    TWavSettings Current;
};

} // namespace kestrune
